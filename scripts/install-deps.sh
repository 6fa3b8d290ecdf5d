#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt-get only installs what is missing.
set -euo pipefail

PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev googletest
  fonts-liberation
  xvfb xauth xdotool x11-apps xclip python3-xlib
  cups printer-driver-cups-pdf poppler-utils
  libbenchmark-dev sqlite3 libsqlite3-dev
  clang-14 libclang-rt-14-dev
  strace python3
  dpkg-dev desktop-file-utils man-db groff-base gzip lintian
)

source "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh"
install_missing "${PACKAGES[@]}"
