#!/usr/bin/env bash
# One Wine session for all the Windows tests of a run:
#
#   windows/tests/wine-session.sh start PREFIX   before the first test
#   windows/tests/wine-session.sh stop PREFIX    after the last
#
# start makes (or brings up to date) Wine's folder with every process gone
# again, then starts one wineserver that outlives the gaps between the
# tests' programs.  Without it, each Windows program that finds no server
# starts one, a server ends three seconds after its last program, and
# programs started together race to make the folder or the server.  The
# server's standard streams are /dev/null: a server holding the pipes of
# whoever ran this script would keep that reader waiting for it to end.
set -euo pipefail
if [ $# -ne 2 ] || { [ "$1" != start ] && [ "$1" != stop ]; }; then
  echo "usage: wine-session.sh start|stop PREFIX" >&2
  exit 2
fi
export WINEPREFIX=$2 WINEDEBUG=-all
mkdir -p "$(dirname "$WINEPREFIX")"

if [ "$1" = stop ]; then
  wineserver -k < /dev/null > /dev/null 2>&1 || true
  wineserver -w < /dev/null > /dev/null 2>&1 || true
  exit 0
fi

# A server left by an earlier run that was interrupted is ended first, so
# that the one started below is this run's.
wineserver -k < /dev/null > /dev/null 2>&1 || true
wineserver -w < /dev/null > /dev/null 2>&1 || true
wineboot -i < /dev/null > /dev/null 2>&1
# wineboot's helpers (services, the device manager) end with their server.
wineserver -w < /dev/null > /dev/null 2>&1
# Kept for ten minutes after the last program ends: through every gap of
# the run, and still gone in the end if the stop is never run.
wineserver -p600 < /dev/null > /dev/null 2>&1
# The server is up once a program can be started through it.
wine cmd /c exit 7 < /dev/null > /dev/null 2>&1 && status=0 || status=$?
if [ "$status" != 7 ]; then
  echo "Wine does not start programs in $WINEPREFIX (a test program ended with $status, not 7)" >&2
  exit 1
fi
