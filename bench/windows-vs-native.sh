#!/usr/bin/env bash
# The Windows build under Wine beside the Linux build, on one large profile,
# one run each, side by side:
#
#   bench/windows-vs-native.sh WINDOWS_DIR [SCRATCH_DIR] [RECORDS]
#
# WINDOWS_DIR is what scripts/build-windows.sh wrote; SCRATCH_DIR (default
# /tmp/ondrel-bench) holds the databases of bench/run-benchmarks.sh, the one
# of RECORDS entries (1M or 10M, default 10M) in 2048-byte nodes made here
# when missing.  Measured, in wall-clock seconds with a warm cache: the CSV
# export of KEYNO and of BYNAME to /dev/null, the open and walk of BYNAME with
# one window shown (--window 1), and Wine's own cost (--version).  Every
# run's status and line count are checked before its time is given.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows=$(cd "$1" && pwd)
scratch=${2:-/tmp/ondrel-bench}
records=${3:-10M}
# Both sides built alike: RelWithDebInfo (-O2), as scripts/build-windows.sh
# builds the Windows one.
build=${ONDREL_BENCH_BUILD:-$root/build-bench-windows}

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_BUILD_SCREENS=OFF >/dev/null
cmake --build "$build" -j2 --target ondrel-bench ondrel-export >/dev/null
"$build/bench/ondrel-bench" --bench_dir="$scratch" --bench_records="$records" --bench_nodes=2048 --bench_make_only
db=$scratch/${records}_2048
cat "$db"/_LARGE.* > /dev/null

export WINEPREFIX=${WINEPREFIX:-$build/wine} WINEDEBUG=-all
wineboot -i > /dev/null 2>&1
wineserver -p60 2> /dev/null || true  # already running: kept as it is
native=$build/tools/export/ondrel-export
wine=(wine "$windows/ondrel-export.exe")
dir_windows="Z:${db//\//\\}"

# Runs a command with its output counted; prints the seconds it took.
timed() {
  local expected=$1
  shift
  local start end lines
  start=$(date +%s.%N)
  lines=$("$@" | wc -l)
  end=$(date +%s.%N)
  if [ "$lines" != "$expected" ]; then
    echo "wrong result: $lines lines instead of $expected from: $*" >&2
    exit 1
  fi
  echo "$end - $start" | bc
}

count=$("$native" --format csv "$db" LARGE KEYNO | wc -l)
printf '%-36s %10s %10s %7s\n' "$records entries, 2048-byte nodes" "Linux s" "Wine s" "ratio"
row() {
  local what=$1 expected=$2
  shift 2
  local a b
  a=$(timed "$expected" "$native" "$@" "$db" LARGE "$PROFILE")
  b=$(timed "$expected" "${wine[@]}" "$@" "$dir_windows" LARGE "$PROFILE")
  printf '%-36s %10.2f %10.2f %7.2f\n' "$what" "$a" "$b" "$(echo "$b / $a" | bc -l)"
}
PROFILE=KEYNO row "export --format csv KEYNO" "$count" --format csv
PROFILE=BYNAME row "export --format csv BYNAME" "$count" --format csv
PROFILE=BYNAME row "open and walk BYNAME (--window 1)" "$("$native" --window 1 "$db" LARGE BYNAME | wc -l)" --window 1
a=$(timed 1 "$native" --version)
b=$(timed 1 "${wine[@]}" --version)
printf '%-36s %10.2f %10.2f\n' "start only (--version)" "$a" "$b"
