#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the program and the tests need, when missing.
# --packaging adds lintian, for checking the .deb (scripts/package.sh --check); any other
# arguments name further packages. poppler-utils: pdftotext, with which the tests read the PDF
# reports. ser2net: the serial server the network port tests put in front of the simulated card.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
          qt6-svg-dev qt6-qpa-plugins libgl-dev libgtest-dev xvfb xauth xdg-utils procps ccache
          dpkg-dev file librsvg2-bin desktop-file-utils appstream shared-mime-info poppler-utils
          clang-14 libclang-rt-14-dev ser2net)
for arg in "$@"; do
  if [ "$arg" = --packaging ]; then packages+=(lintian); else packages+=("$arg"); fi
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
