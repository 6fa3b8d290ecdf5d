#!/usr/bin/env bash
# Builds the WebAssembly front ends with Emscripten and writes them to OUTDIR:
#   OUTDIR/ondrel-export.js   run as: node --no-experimental-fetch ondrel-export.js ARGS
# Installs Emscripten (and Node.js when there is none) if missing; the build
# itself lies in build-web/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 1 ]; then
  echo "usage: bash scripts/build-web.sh OUTDIR" >&2
  exit 2
fi
out=$1

packages=(emscripten cmake)
command -v node > /dev/null || packages+=(nodejs)
missing=()
for p in "${packages[@]}"; do
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

# Debian's Emscripten runs its JavaScript tools with the Node.js on PATH,
# which need not be Debian's: it is told where Debian's modules lie.
export NODE_PATH=/usr/share/nodejs
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release "${launcher[@]}"
cmake --build build-web -j"$(nproc)" --target ondrel-export ondrel_browser_file

mkdir -p "$out"
cp build-web/tools/export/ondrel-export.js "$out/ondrel-export.js"
echo "Wrote $out/ondrel-export.js"
