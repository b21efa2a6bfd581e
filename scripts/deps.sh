#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages (Debian 12 or 13) the build, the program and the tests need, when
# missing. --packaging adds what making and checking the Debian packages needs (debhelper,
# lintian; scripts/package.sh); any other arguments name further packages. poppler-utils:
# pdftotext, with which the tests read the PDF reports. Clang is not needed here: the fuzz and
# sanitizer scripts install the one the system has. ser2net: the serial
# server the network port tests put in front of the simulated card.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-serialport-dev
          qt6-svg-dev qt6-qpa-plugins libgl-dev libgtest-dev xvfb xauth xdg-utils procps ccache
          dpkg-dev file librsvg2-bin desktop-file-utils appstream shared-mime-info poppler-utils
          git ser2net)
for arg in "$@"; do
  if [ "$arg" = --packaging ]; then packages+=(debhelper lintian); else packages+=("$arg"); fi
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
# Qt's SVG plugins (the program's icons) came with libqt6svg6 until Qt 6.7 (Debian 12); since,
# they are a package of their own (Debian 13).
plugins=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/qt6/plugins
if [ ! -f "$plugins/iconengines/libqsvgicon.so" ]; then
  echo "Installing: qt6-svg-plugins"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends qt6-svg-plugins
fi
