#!/usr/bin/env bash
# Going to a key in the real program, as a user does it: on a virtual X
# server the viewer opens CUSTOMER via BYNAME in the demo database; Ctrl+G,
# the name typed, Return; then "Copy to Clipboard".  The copied window must
# be the one ondrel-export shows for the same key: its caption line, and its
# first record line, the first customer whose name is at or after the one
# typed.
#
#   xvfb-go-to-key.sh PROGRAM ONDREL_EXPORT DEMO_DIRECTORY
#
# The viewer is driven with the functions of scripts/screenshot.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../scripts/screenshot.sh
source "$here/../../scripts/screenshot.sh"

readonly COPY_AT="496 52"  # contents screen, "Copy to Clipboard" (440,40 113x25)

program=$1
tool=$2
demo=$3
need xclip

start_x
trap cleanup EXIT
start_viewer "$program" "$demo"
open_profile "$demo" CUSTOMER BYNAME 30

xdotool windowfocus --sync "$contents_window"
xdotool key --window "$contents_window" ctrl+g
dialog=$(wait_window '^Go to a Key$' 10)
xdotool windowfocus --sync "$dialog"
xdotool type --clearmodifiers --delay 50 "Mbeki"
xdotool key --clearmodifiers Return
wait_window_gone '^Go to a Key$' 10

"$tool" --window --seek Mbeki "$demo" CUSTOMER BYNAME >"$work_dir/expected"
# The window is copied once the move has been drawn; on a busy machine that
# may take a moment, so the copy is made again until its caption is the one
# wanted, for at most 20 seconds.
caption=$(head -n 1 "$work_dir/expected" | tr -d '\r')
deadline=$((SECONDS + 20))
while :; do
  click "$contents_window" $COPY_AT
  timeout 10 xclip -o -selection clipboard -t UTF8_STRING >"$work_dir/copied" 2>/dev/null || true
  [ "$(head -n 1 "$work_dir/copied" | tr -d '\r')" = "$caption" ] && break
  [ $SECONDS -lt $deadline ] || break
  sleep 0.5
done
for line in 1 4; do
  got=$(sed -n "${line}p" "$work_dir/copied" | tr -d '\r')
  want=$(sed -n "${line}p" "$work_dir/expected" | tr -d '\r')
  [ -n "$want" ] || fail "ondrel-export gave no line $line"
  [ "$got" = "$want" ] || fail "line $line of the copied window is '$got', not '$want'"
done
case $(sed -n 4p "$work_dir/copied") in
  *Mbeki*) ;;
  *) fail "the window's first line is no Mbeki: $(sed -n 4p "$work_dir/copied")" ;;
esac
exit_viewer
echo "Ctrl+G, Mbeki, Return: $(head -n 1 "$work_dir/copied" | tr -d '\r')"
