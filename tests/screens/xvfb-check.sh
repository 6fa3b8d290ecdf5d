#!/usr/bin/env bash
# Checking the open ISPEC in the real program, as a user does it: on a
# virtual X server the viewer opens CUSTOMER via BYNAME in the demo
# database; Ctrl+K, then Copy in the report.  The copied report must say
# that no problem was found, and its lines must be the ones ondrel-export
# --check prints for the same ISPEC.
#
#   xvfb-check.sh PROGRAM ONDREL_EXPORT DEMO_DIRECTORY
#
# The viewer is driven with the functions of scripts/screenshot.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/screenshot.sh
source "$here/../../scripts/screenshot.sh"

program=$1
tool=$2
demo=$3
need xclip

start_x
trap cleanup EXIT
start_viewer "$program" "$demo"
open_profile "$demo" CUSTOMER BYNAME 30

"$tool" --check "$demo" CUSTOMER >"$work_dir/expected"
xdotool windowfocus --sync "$contents_window"
xdotool key --window "$contents_window" ctrl+k
report=$(wait_window '^Check of CUSTOMER$' 30)
xdotool windowfocus --sync "$report"
xdotool key --clearmodifiers alt+c
# The copy lands once the key has been handled; on a busy machine that may
# take a moment.
deadline=$((SECONDS + 20))
while :; do
  timeout 10 xclip -o -selection clipboard -t UTF8_STRING >"$work_dir/copied" 2>/dev/null || true
  [ "$(head -n 1 "$work_dir/copied")" = "No problem was found." ] && break
  [ $SECONDS -lt $deadline ] || fail "the copied report begins '$(head -n 1 "$work_dir/copied")'"
  sleep 0.5
done
tail -n +2 "$work_dir/copied" >"$work_dir/lines"
cmp -s "$work_dir/lines" "$work_dir/expected" ||
  fail "the report's lines are not ondrel-export's: $(diff "$work_dir/expected" "$work_dir/lines" | head -5)"
xdotool key --clearmodifiers Escape
wait_window_gone '^Check of CUSTOMER$' 10
exit_viewer
echo "Ctrl+K: $(tail -n 1 "$work_dir/lines")"
