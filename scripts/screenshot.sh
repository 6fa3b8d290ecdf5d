#!/usr/bin/env bash
# Takes the README's screenshot: runs the real viewer on a virtual X server
# in the demo database, goes past the splash, chooses the ISPEC CUSTOMER and
# its profile BYNAME, and saves the contents screen, records on view, to
# docs/viewer.png.
#
#   scripts/screenshot.sh [BUILD_DIR]          # default: build
#
# BUILD_DIR must hold a finished build: app/ondrelview, tools/grab/ondrel-grab
# and the demo database in demo/; Xvfb and xdotool must be installed
# (scripts/install-deps.sh installs them).  Every wait has a time limit; on any
# failure the script says what it was waiting for, shows the program's
# output, and ends with status 1.
#
# The functions below drive the viewer as a user would; other scripts source
# this file to use them (then nothing runs by itself).  There is no window
# manager on the server: windows sit where the program puts them, a window
# is given the keyboard with "xdotool windowfocus --sync" before keys are
# sent to it, and clicks are placed relative to a window, at the positions
# the forms give their controls.
set -euo pipefail
shopt -s inherit_errexit

# Positions inside the windows, in pixels, from the forms: the middle of a
# button, and a point in the first line of a list.
readonly CHOOSE_FILE_AT="496 16"     # contents screen, "Choose File" (440,0 113x33)
readonly EXIT_AT="584 16"            # contents screen, "Exit" (560,0 49x33)
readonly ISPEC_LIST_AT="340 30"      # chooser, ISPECs list (328,24 89x145)
readonly PROFILE_LIST_AT="340 206"   # chooser, Profiles list (328,200 89x119)
readonly CHOOSER_OK_AT="472 276"     # chooser, "&Ok" (440,232 65x89)

readonly SPLASH_TITLE='^Ondrel Runtime database viewer$'
readonly CONTENTS_TITLE='^Ondrel Runtime File Contents'

xvfb_pid=
viewer_pid=
viewer_log=
work_dir=

fail() {
  echo "FAIL: $*" >&2
  if [ -n "${DISPLAY:-}" ] && [ -n "$xvfb_pid" ]; then
    echo "Windows on view:" >&2
    xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | sed 's/^/  /' >&2 || true
  fi
  if [ -n "$viewer_log" ] && [ -s "$viewer_log" ]; then
    echo "The program's output:" >&2
    sed 's/^/  /' "$viewer_log" >&2
  fi
  if [ -n "$xvfb_pid" ] && ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "The X server (process $xvfb_pid) is no longer running." >&2
  elif [ -n "$xvfb_pid" ]; then
    echo "The X server (process $xvfb_pid) runs; a client $(xdotool getdisplaygeometry >/dev/null 2>&1 &&
      echo can || echo cannot) connect to ${DISPLAY:-}.  Its sockets and locks:" >&2
    ls -la /tmp/.X11-unix/ /tmp/.X*-lock 2>&1 | sed 's/^/  /' >&2 || true
  fi
  if [ -n "$work_dir" ] && [ -s "$work_dir/xvfb.log" ]; then
    echo "The X server's output (display ${DISPLAY:-none}):" >&2
    sed 's/^/  /' "$work_dir/xvfb.log" >&2
  fi
  exit 1
}

# Ends what this script started, each by its own process id.
cleanup() {
  if [ -n "$viewer_pid" ] && kill -0 "$viewer_pid" 2>/dev/null; then kill "$viewer_pid" 2>/dev/null || true; fi
  if [ -n "$xvfb_pid" ] && kill -0 "$xvfb_pid" 2>/dev/null; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
  if [ -n "$work_dir" ]; then rm -rf "$work_dir"; fi
}

need() {
  local tool
  for tool in "$@"; do
    command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/install-deps.sh installs it)"
  done
}

# Starts Xvfb, 1024x768 in 24 bits, on a display of its own, and sets
# DISPLAY once the server answers.  The number is chosen here, from :20 up:
# given a number, the server takes that display's lock file, naming its
# process, or ends at once when another holds it, and then the next number
# is tried.  (Left to pick a display itself, with -displayfd, the server
# takes no lock: two test runs at once were seen to start two servers on :0,
# whose clients then could not connect.)  The server runs with -noreset:
# by default it resets when its last client leaves, and a client connecting
# during that reset is refused.  The check below that it answers is such a
# last client, so a viewer started right after it was sometimes refused on a
# loaded machine (seen here: 23 of 300 such connections under load without
# -noreset, none with it).
start_x() {
  need Xvfb xdotool
  work_dir=$(mktemp -d)
  trap cleanup EXIT
  trap 'exit 1' INT TERM
  local number= candidate deadline
  for candidate in $(seq 20 99); do
    [ -e "/tmp/.X$candidate-lock" ] && continue
    Xvfb ":$candidate" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work_dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    deadline=$((SECONDS + 10))
    while kill -0 "$xvfb_pid" 2>/dev/null; do
      # Ready: the lock names this server, and it answers.
      if [ "$(cat "/tmp/.X$candidate-lock" 2>/dev/null | tr -d ' \n')" = "$xvfb_pid" ] &&
        DISPLAY=":$candidate" xdotool getdisplaygeometry >/dev/null 2>&1; then
        number=$candidate
        break 2
      fi
      [ $SECONDS -lt $deadline ] || fail "Xvfb did not start on :$candidate within 10 seconds"
      sleep 0.1
    done
    wait "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=
  done
  if [ -z "$number" ]; then
    sed 's/^/  /' "$work_dir/xvfb.log" >&2
    fail "Xvfb did not start on any display from :20 to :99"
  fi
  export DISPLAY=":$number"
  unset WAYLAND_DISPLAY
  xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb on $DISPLAY does not answer"
}

# Waits up to $2 seconds for a visible window whose title matches the
# pattern $1, and prints its id.
wait_window() {
  local deadline=$((SECONDS + $2)) id
  while :; do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1) || true
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    if [ -n "$viewer_pid" ] && ! kill -0 "$viewer_pid" 2>/dev/null; then
      fail "the program ended while waiting for a window titled '$1'"
    fi
    [ $SECONDS -lt $deadline ] || fail "no window titled '$1' within $2 seconds"
    sleep 0.1
  done
}

# Waits up to $2 seconds until no visible window's title matches $1.
wait_window_gone() {
  local deadline=$((SECONDS + $2))
  while [ -n "$(xdotool search --onlyvisible --name "$1" 2>/dev/null)" ]; do
    [ $SECONDS -lt $deadline ] || fail "the window titled '$1' was still on view after $2 seconds"
    sleep 0.1
  done
}

# Waits up to $3 seconds until the title of window $1 is no longer $2, and
# prints the new title.
wait_title_change() {
  local deadline=$((SECONDS + $3)) title
  while :; do
    title=$(xdotool getwindowname "$1" 2>/dev/null) || fail "the window titled '$2' went away"
    if [ "$title" != "$2" ]; then
      echo "$title"
      return 0
    fi
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1
  done
}

# Clicks with the left button at $2 $3 inside window $1.
click() {
  xdotool mousemove --sync --window "$1" "$2" "$3" click 1
}

# Starts the viewer (program $2 and its arguments) in directory $1 on the X
# server, and sets viewer_pid and viewer_log.
launch_viewer() {
  local directory=$1
  shift
  viewer_log="$work_dir/viewer.log"
  (cd "$directory" && QT_QPA_PLATFORM=xcb exec "$@") >"$viewer_log" 2>&1 &
  viewer_pid=$!
}

# Starts the viewer (program $1) in directory $2, as a user starting it from
# there, and goes past the splash with "&OK" to the empty contents screen.
# Sets viewer_pid and contents_window.
start_viewer() {
  [ -x "$1" ] || fail "no viewer at $1: build it first (cmake --build BUILD_DIR --target ondrelview)"
  [ -d "$2" ] || fail "no directory $2"
  launch_viewer "$2" "$1"
  local splash
  splash=$(wait_window "$SPLASH_TITLE" 20)
  xdotool windowfocus --sync "$splash"
  xdotool key --window "$splash" alt+o
  wait_window_gone "$SPLASH_TITLE" 10
  contents_window=$(wait_window "$CONTENTS_TITLE\$" 10)
}

# The row of ISPEC $2 in the chooser's sorted list when it shows directory
# $1: the ISPECs are the definition files other than the profiles', less
# their first character and ".DFN".
ispec_row() {
  local names
  names=$(cd "$1" && find . -maxdepth 1 -type f -iname '?*.dfn' ! -name '*_P.DFN' -printf '%f\n' |
    sed 's/^.//; s/....$//' | LC_ALL=C sort)
  local row
  row=$(printf '%s\n' "$names" | grep -nxF -- "$2" | cut -d: -f1) || fail "no ISPEC $2 in $1"
  echo $((row - 1))
}

# Presses "Choose File" on the contents screen, chooses ISPEC $2 and profile
# $3 in the directory $1 the chooser starts in, presses "&Ok", and waits up to
# $4 seconds for the contents screen to take the new title and the chooser
# to go.
open_profile() {
  local directory=$1 ispec=$2 profile=$3 limit=$4 row
  row=$(ispec_row "$directory" "$ispec")
  click "$contents_window" $CHOOSE_FILE_AT
  local chooser
  chooser=$(wait_window '^Choose Path and Ispec$' 10)

  # The first ISPEC is clicked; the list then has the keyboard, and each
  # Down chooses the next one.
  click "$chooser" $ISPEC_LIST_AT
  xdotool windowfocus --sync "$chooser"
  if [ "$row" -gt 0 ]; then xdotool key --window "$chooser" --repeat "$row" --delay 200 Down; fi
  local title
  title=$(wait_title_change "$chooser" 'Choose Path and Ispec' 20) ||
    fail "choosing the ISPEC $ispec did not change the chooser's title"
  [ "$title" = 'Choose Profile' ] || fail "after choosing the ISPEC $ispec the chooser's title is '$title'"

  # The first profile is clicked; Down goes on through the list, one
  # profile loaded at a time, until the title names the one wanted.
  click "$chooser" $PROFILE_LIST_AT
  title=$(wait_title_change "$chooser" 'Choose Profile' 20) ||
    fail "choosing the first profile of $ispec did not change the chooser's title"
  local tries=0
  while [ "$title" != "$profile Keys and Conditions" ]; do
    tries=$((tries + 1))
    [ $tries -le 100 ] || fail "the profile $profile was not found in the first 100 of $ispec"
    xdotool key --window "$chooser" Down
    local last=${title% Keys and Conditions}
    title=$(wait_title_change "$chooser" "$title" 5) ||
      fail "the profile $profile is not in the list of $ispec (the last is $last)"
  done

  click "$chooser" $CHOOSER_OK_AT
  local want="^Ondrel Runtime File Contents for $ispec via $profile\$"
  wait_window "$want" "$limit" >/dev/null
  wait_window_gone '^(Choose |.* Keys and Conditions$)' 10
}

# Presses "Exit" and waits up to 20 seconds for the program to end with 0.
exit_viewer() {
  click "$contents_window" $EXIT_AT
  local deadline=$((SECONDS + 20))
  while kill -0 "$viewer_pid" 2>/dev/null; do
    [ $SECONDS -lt $deadline ] || fail "the program did not end within 20 seconds of Exit"
    sleep 0.1
  done
  local status=0
  wait "$viewer_pid" || status=$?
  viewer_pid=
  [ $status = 0 ] || fail "Exit ended the program with status $status"
}

# Saves window $2 as the PNG $1 (through ondrel-grab $3) once it has settled:
# two grabs in a row, 0.3 seconds apart, must be the same, within 10 seconds.
grab_window() {
  local out=$1 window=$2 grab=$3
  [ -x "$grab" ] || fail "no ondrel-grab at $grab: build it first (cmake --build BUILD_DIR --target ondrel-grab)"
  local X Y WIDTH HEIGHT SCREEN WINDOW
  eval "$(xdotool getwindowgeometry --shell "$window")"
  local before="$work_dir/before.png" after="$work_dir/after.png" log="$work_dir/grab.log"
  local deadline=$((SECONDS + 10))
  QT_QPA_PLATFORM=xcb "$grab" "$before" "$X" "$Y" "$WIDTH" "$HEIGHT" 2>"$log" || fail "grab: $(cat "$log")"
  while :; do
    sleep 0.3
    QT_QPA_PLATFORM=xcb "$grab" "$after" "$X" "$Y" "$WIDTH" "$HEIGHT" 2>"$log" || fail "grab: $(cat "$log")"
    cmp -s "$before" "$after" && break
    [ $SECONDS -lt $deadline ] || fail "the window was still changing after 10 seconds"
    mv "$after" "$before"
  done
  mkdir -p "$(dirname "$out")"
  mv "$after" "$out"
}

main() {
  local root build
  root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
  build=$(cd "${1:-$root/build}" 2>/dev/null && pwd) || fail "no build directory ${1:-$root/build}"
  [ -d "$build/demo" ] || fail "no demo database in $build/demo: build first (cmake --build $build)"

  start_x
  start_viewer "$build/app/ondrelview" "$build/demo"
  open_profile "$build/demo" CUSTOMER BYNAME 30
  # The pointer goes to a corner, off every control.
  xdotool mousemove --sync 1023 767
  grab_window "$root/docs/viewer.png" "$contents_window" "$build/tools/grab/ondrel-grab"
  exit_viewer
  echo "wrote $root/docs/viewer.png"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then main "$@"; fi
