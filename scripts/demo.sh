#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the demo database
# that the build writes into build/demo.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"

# The viewer starts in the current directory, so it is started in the demo's.
cd "$BUILD/demo"
if [ -x ../app/ondrelview ]; then
  exec ../app/ondrelview
fi
# Without the viewer, show what the demo holds.
for ispec in $(../tools/export/ondrel-export .); do
  echo "$ispec:"
  ../tools/export/ondrel-export . "$ispec" | sed 's/^/  /'
done
