; SPDX-License-Identifier: GPL-3.0-or-later
; The Windows installer of Quillon. scripts/windows/installer.sh stages the files and writes
; files.nsh (what to install) and unfiles.nsh (what to remove again), then runs makensis with
;   -DVERSION=1.2.0 -DSTAGE=<staged files> -DLICENSE=<licence text> -DOUTFILE=<setup.exe>
Target amd64-unicode ; the program is 64-bit; so is the installer (and Wine without its 32-bit part runs it)
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!define APP "Quillon"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
!define SID_CLASS "Quillon.SidSetup"
!define AVM_CLASS "Quillon.AvmSetup"

Name "${APP} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${APP}"
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${APP} ${VERSION}"
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "GPL-3.0-or-later"

!include "MUI2.nsh"
!include "x64.nsh"
!define MUI_ICON "${STAGE}\quillon.ico"
!define MUI_UNICON "${STAGE}\quillon.ico"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\quillon.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${APP} needs a 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetRegView 64
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

; A set-up file kind: its extension opens in Quillon.
!macro Associate EXT CLASS DESCRIPTION
  WriteRegStr HKCR ".${EXT}" "" "${CLASS}"
  WriteRegStr HKCR "${CLASS}" "" "${DESCRIPTION}"
  WriteRegStr HKCR "${CLASS}\DefaultIcon" "" "$INSTDIR\quillon.exe,0"
  WriteRegStr HKCR "${CLASS}\shell\open\command" "" '"$INSTDIR\quillon.exe" "%1"'
!macroend

; Undone only where the extension still names Quillon's class: another program may have
; taken it over since.
!macro Unassociate EXT CLASS
  ReadRegStr $0 HKCR ".${EXT}" ""
  StrCmp $0 "${CLASS}" 0 +2
    DeleteRegKey HKCR ".${EXT}"
  DeleteRegKey HKCR "${CLASS}"
!macroend

Section "Quillon"
  SetShellVarContext all
  !include "files.nsh"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\quillon.exe"

  !insertmacro Associate "kxd" "${SID_CLASS}" "KX40 SID card set-up"
  !insertmacro Associate "kxm" "${AVM_CLASS}" "KX40 AVM card set-up"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)' ; SHCNE_ASSOCCHANGED

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${APP}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Quillon developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\quillon.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

; Removes what the installer put there, file by file: a folder chosen for the program may
; hold other files, which stay. The operator's set-up backups (%LOCALAPPDATA%\Quillon\backups)
; stay too; the program's settings of this user go.
Section "Uninstall"
  SetShellVarContext all
  Delete "$SMPROGRAMS\${APP}.lnk"
  !insertmacro Unassociate "kxd" "${SID_CLASS}"
  !insertmacro Unassociate "kxm" "${AVM_CLASS}"
  System::Call 'shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)'
  !include "unfiles.nsh"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKCU "Software\Quillon"
SectionEnd
