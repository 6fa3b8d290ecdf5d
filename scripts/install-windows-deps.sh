#!/usr/bin/env bash
# Installs the Debian packages the Windows build and its tests need: the
# MinGW-w64 cross compiler, Wine to run what it builds, zip for the archive,
# and what turns SQLite's source package into its amalgamation.
# Safe to run again: apt-get only installs what is missing.
set -euo pipefail

PACKAGES=(
  g++-mingw-w64-x86-64 wine wine64 zip
  cmake make dpkg-dev tcl googletest
)

source "$(dirname "${BASH_SOURCE[0]}")/install-packages.sh"
install_missing "${PACKAGES[@]}"
