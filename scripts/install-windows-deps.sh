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

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "These packages are missing; run this script as root: ${missing[*]}" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get -o DPkg::Lock::Timeout=900 update -qq
  apt-get -o DPkg::Lock::Timeout=900 install -y -qq --no-install-recommends "${missing[@]}"
fi
