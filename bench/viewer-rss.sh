#!/usr/bin/env bash
# The resident memory of the real viewer with a 10-million-entry profile
# open: runs ondrelview on a virtual X server in SCRATCH_DIR/10M_512, goes
# past the splash, opens the ISPEC LARGE via KEYNO through the file chooser,
# and once the contents screen shows its records reads VmRSS and VmHWM of
# the program from /proc; then presses "Exit".
#
#   bench/viewer-rss.sh [SCRATCH_DIR] [BUILD_DIR]
#
# SCRATCH_DIR (default /tmp/ondrel-bench) must hold the databases written by
# bench/run-benchmarks.sh; BUILD_DIR (default build) a built viewer.
# The target is a peak (VmHWM) under 100 MB, 10^8 bytes; the figures are
# printed whether it is met or not, and the status is 0 when they were taken.
set -euo pipefail
shopt -s inherit_errexit
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/screenshot.sh"

scratch=${1:-/tmp/ondrel-bench}
build=$(cd "${2:-$root/build}" 2>/dev/null && pwd) || fail "no build directory ${2:-$root/build}"
database=$scratch/10M_512
for file in _LARGE.DFN _LARGE_P.DFN _LARGE.IDX _LARGE.DAT; do
  [ -f "$database/$file" ] ||
    fail "no $database/$file: write the databases first with bench/run-benchmarks.sh $scratch"
done

# A field of /proc/PID/status, in kB.
status_kb() {
  awk -v field="$2:" '$1 == field { print $2; found = 1 } END { exit !found }' "/proc/$1/status" ||
    fail "no $2 in /proc/$1/status"
}

# Waits, up to 10 seconds, until VmRSS holds still for half a second, and
# prints it.
settled_rss_kb() {
  local deadline=$((SECONDS + 10)) before after
  before=$(status_kb "$viewer_pid" VmRSS)
  while :; do
    sleep 0.5
    after=$(status_kb "$viewer_pid" VmRSS)
    [ "$after" != "$before" ] || break
    [ $SECONDS -lt $deadline ] || fail "the program's resident memory still moved after 10 seconds"
    before=$after
  done
  echo "$after"
}

mib() { awk -v kb="$1" 'BEGIN { printf "%.1f MiB (%.1f MB)", kb / 1024, kb * 1.024 / 1000 }'; }

start_x
start_viewer "$build/app/ondrelview" "$database"
[ "$(cat "/proc/$viewer_pid/comm")" = ondrelview ] || fail "process $viewer_pid is not the viewer"
empty_rss=$(settled_rss_kb)

open_profile "$database" LARGE KEYNO 60
open_rss=$(settled_rss_kb)
open_hwm=$(status_kb "$viewer_pid" VmHWM)
title=$(xdotool getwindowname "$contents_window")
exit_viewer

echo "ondrelview in $database, $title"
echo "  empty contents screen (nothing open): VmRSS $(mib "$empty_rss")"
echo "  LARGE via KEYNO open, records on view: VmRSS $(mib "$open_rss"), VmHWM $(mib "$open_hwm")"
if [ "$open_hwm" -lt $((100000000 / 1024)) ]; then
  echo "  target: peak under 100 MB: met"
else
  echo "  target: peak under 100 MB: MISSED"
fi
