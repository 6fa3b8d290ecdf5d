#!/bin/sh
# Runs the real program on a virtual X server with the xcb platform, as a
# user would, so that a missing runtime library or platform plugin fails:
#   1. the splash shows; "&OK" (Alt+O) goes on; the contents screen shows;
#      "Exit" (Tab from "Choose File", then Space) ends the program with 0;
#   2. the splash shows; "&Exit" (Alt+E) ends the program with 0.
# There is no window manager on the server: a window is given the keyboard
# with "xdotool windowfocus --sync" before keys are sent to it.  The server
# runs with -noreset: by default it resets as its last client leaves, and the
# second start below, right after the first program and xdotool have gone,
# could be refused during that reset.
#
#   xvfb-run-viewer.sh PROGRAM DIRECTORY
set -eu

if [ "${1:-}" != "--inside" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -noreset" sh "$0" --inside "$@"
fi
program=$2
directory=$3
export QT_QPA_PLATFORM=xcb
log=$(mktemp)
trap 'rm -f "$log"' EXIT

fail() {
  echo "FAIL: $*" >&2
  cat "$log" >&2
  exit 1
}

# Waits up to 20 seconds for a visible window whose title matches $1.
find_window() {
  timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Waits up to 20 seconds for the program (process $1) to end, and sets
# `status` to its exit status.
wait_end() {
  i=0
  while kill -0 "$1" 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 200 ]; then
      kill "$1"
      fail "the program did not end"
    fi
    sleep 0.1
  done
  status=0
  wait "$1" || status=$?
}

cd "$directory"

"$program" > "$log" 2>&1 &
pid=$!
splash=$(find_window 'Runtime database viewer') || fail "the splash did not show"
[ -n "$splash" ] || fail "the splash did not show"
xdotool search --onlyvisible --name '^Ondrel Runtime File Contents' >/dev/null && fail "the contents screen showed before the splash was dismissed"
xdotool windowfocus --sync "$splash"
xdotool key --window "$splash" alt+o
contents=$(find_window '^Ondrel Runtime File Contents$') || fail "the contents screen did not show after OK"
[ -n "$contents" ] || fail "the contents screen did not show after OK"
xdotool windowfocus --sync "$contents"
xdotool key --window "$contents" Tab space
wait_end "$pid"
[ "$status" = 0 ] || fail "Exit ended the program with status $status"
echo "OK, then Exit: ended with status 0"

"$program" > "$log" 2>&1 &
pid=$!
splash=$(find_window 'Runtime database viewer') || fail "the splash did not show"
[ -n "$splash" ] || fail "the splash did not show"
xdotool windowfocus --sync "$splash"
xdotool key --window "$splash" alt+e
wait_end "$pid"
[ "$status" = 0 ] || fail "the splash's Exit ended the program with status $status"
echo "splash Exit: ended with status 0"
