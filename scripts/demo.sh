#!/usr/bin/env bash
# Installs what is missing, builds, and opens the viewer on the demo database
# that the build writes into build/demo.  On a machine without a display it
# says so in one line and shows the demo through ondrel-export instead.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"

demo="$BUILD/demo"
export_tool="$BUILD/tools/export/ondrel-export"

# Why the viewer cannot be shown here, or nothing when it can: Qt needs an X
# server that answers (or a Wayland compositor), unless QT_QPA_PLATFORM names
# a platform of its own choosing.
no_display() {
  if [ -n "${QT_QPA_PLATFORM:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then return 0; fi
  if [ -z "${DISPLAY:-}" ]; then
    echo "DISPLAY is not set"
  elif ! xdotool getdisplaygeometry >/dev/null 2>&1; then
    echo "the X server $DISPLAY does not answer"
  fi
}

if [ ! -x "$BUILD/app/ondrelview" ]; then
  echo "The viewer was not built: here is the demo database through ondrel-export."
else
  reason=$(no_display)
  if [ -z "$reason" ]; then
    exec "$BUILD/app/ondrelview" "$demo"
  fi
  echo "No display to show the viewer on ($reason): here is the demo database through ondrel-export."
fi
for ispec in $("$export_tool" "$demo"); do
  echo
  echo "$ispec, whose profiles are:"
  "$export_tool" "$demo" "$ispec" | sed 's/^/  /'
done
ispec=$("$export_tool" "$demo" | head -n 1)
profile=$("$export_tool" "$demo" "$ispec" | head -n 1)
echo
echo "The first window of $ispec through its profile $profile, as \"Copy to Clipboard\" copies it"
echo "(ondrel-export --window 1 $demo $ispec $profile):"
echo
"$export_tool" --window 1 "$demo" "$ispec" "$profile"
echo
echo "ondrel-export --help tells what else it can do; on a desktop, bash scripts/demo.sh opens the viewer."
