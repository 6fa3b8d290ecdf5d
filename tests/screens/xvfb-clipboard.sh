#!/usr/bin/env bash
# Text copied with "Copy to Clipboard" outlives the program, as a user of a
# desktop expects: on a virtual X server with a clipboard manager running
# (clipboard-manager.py beside this file, which takes the clipboard over only
# when a program ending asks it to), the real program opens CUSTOMER via
# BYNAME in the demo database, copies its window, and ends with "Exit"; the
# clipboard must then still hold exactly the text it held while the program
# ran.  A program that ended without its toolkit's shutdown would leave the
# clipboard empty.
#
#   xvfb-clipboard.sh PROGRAM DEMO_DIRECTORY
#
# The viewer is driven with the functions of scripts/screenshot.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/screenshot.sh
source "$here/../../scripts/screenshot.sh"

readonly COPY_AT="496 52"  # contents screen, "Copy to Clipboard" (440,40 113x25)

program=$1
demo=$2
need xclip
[ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import Xlib' 2>/dev/null ||
  fail "python3-xlib is not installed (scripts/install-deps.sh installs it)"

manager_pid=
stop_manager() {
  if [ -n "$manager_pid" ] && kill -0 "$manager_pid" 2>/dev/null; then
    kill "$manager_pid" 2>/dev/null || true
    wait "$manager_pid" 2>/dev/null || true
  fi
}

# The clipboard's text, as UTF-8, into file $1; fails when nobody offers any.
read_clipboard() {
  timeout 10 xclip -o -selection clipboard -t UTF8_STRING >"$1" 2>"$work_dir/xclip.log"
}

start_x
trap 'stop_manager; cleanup' EXIT

ready="$work_dir/manager.ready"
manager_log="$work_dir/manager.log"
/usr/bin/python3 "$here/clipboard-manager.py" "$ready" 2>"$manager_log" &
manager_pid=$!
deadline=$((SECONDS + 10))
until [ -s "$ready" ]; do
  kill -0 "$manager_pid" 2>/dev/null || fail "the clipboard manager did not start: $(cat "$manager_log")"
  [ $SECONDS -lt $deadline ] || fail "the clipboard manager did not start within 10 seconds"
  sleep 0.1
done

start_viewer "$program" "$demo"
open_profile "$demo" CUSTOMER BYNAME 30
click "$contents_window" $COPY_AT
read_clipboard "$work_dir/while-running" || fail "no text on the clipboard after Copy to Clipboard: $(cat "$work_dir/xclip.log")"
first=$(head -n 1 "$work_dir/while-running" | tr -d '\r')
[ "$first" = "CUSTOMER via BYNAME: Record 1 thru 21 of 480" ] || fail "the copied text begins '$first'"

exit_viewer
echo "Exit: the program ended with status 0"
read_clipboard "$work_dir/after-exit" ||
  fail "the copied text went with the program: $(cat "$work_dir/xclip.log"); the manager said: $(cat "$manager_log")"
cmp -s "$work_dir/while-running" "$work_dir/after-exit" || fail "the clipboard holds other text after Exit"
grep -q '^saved ' "$manager_log" || fail "the clipboard manager was never asked to take the clipboard over"
echo "the copied text ($(wc -c <"$work_dir/after-exit") bytes) outlived the program: $(head -n 1 "$manager_log")"
