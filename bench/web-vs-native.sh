#!/usr/bin/env bash
# ondrel-export.js under Node.js beside the native ondrel-export, one run of
# each, on the 1M-entry benchmark database with 512-byte nodes (written by
# ondrel-bench on the first run): --describe, the window at the middle
# entry, and the CSV export of KEYNO and of BYNAME.  Each pair of outputs
# must be the same bytes, or no figure is given.  Prints wall-clock seconds
# and peak resident memory (the Node.js process as a whole for the .js);
# --version shows what starting each costs.
#
#   bench/web-vs-native.sh BUILD_DIR EXPORT_JS [SCRATCH_DIR]
#
# BUILD_DIR holds the native ondrel-export and ondrel-bench; EXPORT_JS is
# what scripts/build-web.sh wrote.
set -euo pipefail
build=$1
js=$2
scratch=${3:-/tmp/ondrel-bench}
dir=$scratch/1M_512
[ -f "$dir/_LARGE.IDX" ] || "$build/bench/ondrel-bench" --bench_dir="$scratch" --bench_records=1M --bench_nodes=512 \
  --bench_make_only
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Every file read once first, so that both tools meet a warm cache.
cat "$dir"/* > /dev/null

measure() {  # label, then the arguments
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o "$work/native.time" "$build/tools/export/ondrel-export" "$@" > "$work/native.out" 2>&1 || true
  /usr/bin/time -f "%e %M" -o "$work/web.time" node --no-experimental-fetch "$js" "$@" > "$work/web.out" 2>&1 || true
  if ! cmp -s "$work/native.out" "$work/web.out"; then
    echo "$label: the outputs differ" >&2
    exit 1
  fi
  read -r nt nm < "$work/native.time"
  read -r wt wm < "$work/web.time"
  printf '| %s | %s s, %d MiB | %s s, %d MiB | %.1f |\n' "$label" "$nt" $((nm / 1024)) "$wt" $((wm / 1024)) \
    "$(echo "$wt / $nt" | bc -l)"
}

echo "| Run (1M entries, 512-byte nodes) | native | ondrel-export.js | .js / native |"
echo "|---|---|---|---|"
measure "--version (starting alone)" --version
measure "--describe KEYNO" --describe "$dir" LARGE KEYNO
measure "--describe BYNAME" --describe "$dir" LARGE BYNAME
measure "--window 500000 BYNAME" --window 500000 "$dir" LARGE BYNAME
measure "--format csv KEYNO" --format csv "$dir" LARGE KEYNO
measure "--format csv BYNAME" --format csv "$dir" LARGE BYNAME
