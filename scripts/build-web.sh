#!/usr/bin/env bash
# Builds the WebAssembly front ends with Emscripten and writes them to OUTDIR:
#   OUTDIR/ondrel-export.js   run as: node --no-experimental-fetch ondrel-export.js ARGS
#   OUTDIR/ondrelview.html    the viewer in a browser: one file, opened from disk
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
source scripts/install-packages.sh
install_missing "${packages[@]}"

# Debian's Emscripten runs its JavaScript tools with the Node.js on PATH,
# which need not be Debian's: it is told where Debian's modules lie.
export NODE_PATH=/usr/share/nodejs
launcher=()
command -v ccache > /dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
emcmake cmake -S . -B build-web -DCMAKE_BUILD_TYPE=Release "${launcher[@]}"
cmake --build build-web -j"$(nproc)" --target ondrel-export ondrelview-page

mkdir -p "$out"
cp build-web/tools/export/ondrel-export.js "$out/ondrel-export.js"
cp build-web/web/ondrelview.html "$out/ondrelview.html"
echo "Wrote $out/ondrel-export.js and $out/ondrelview.html"
