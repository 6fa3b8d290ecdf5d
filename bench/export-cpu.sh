#!/usr/bin/env bash
# The processor time of exports through a pipe, builds alternated round by
# round: on a machine whose speed moves between rounds, the time an export
# spends on a processor (user and system, its threads together) moves less
# than its wall time.  Prints, for each build, the median wall time and the
# median, least and most processor time.
#
#   bench/export-cpu.sh ROUNDS DIR PROFILE FORMAT EXPORT [EXPORT...]
#
# DIR is a benchmark database written by ondrel-bench (10M_2048, say).
set -euo pipefail
rounds=$1 dir=$2 profile=$3 format=$4
shift 4
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cat "$dir/_LARGE.DAT" "$dir/_LARGE.IDX" >/dev/null  # warm the cache
for round in $(seq "$rounds"); do
  build=0
  for export in "$@"; do
    build=$((build + 1))
    /usr/bin/time -f "$build %e %U %S" -a -o "$log" "$export" --format "$format" "$dir" LARGE "$profile" | wc -c >/dev/null
  done
done
/usr/bin/python3 - "$log" <<'PY'
import collections, statistics, sys
runs = collections.defaultdict(list)
for line in open(sys.argv[1]):
    build, wall, user, system = line.split()
    runs[build].append((float(wall), float(user) + float(system)))
for build, times in sorted(runs.items()):
    cpu = [t[1] for t in times]
    print('%s: wall %.3f s, processor %.3f s (%.3f to %.3f)'
          % (build, statistics.median(t[0] for t in times), statistics.median(cpu), min(cpu), max(cpu)))
PY
