#!/usr/bin/env bash
# The export through a pipe beside cat of the data file through the same
# kind of pipe, round by round: each round times `cat _LARGE.DAT | wc -c`,
# then every mode with every build given, each `| wc -c`, and each export's
# time is set against the cat of its own round, since the machine's speed
# moves more between rounds than between builds.  Prints, for each build and
# mode, the median wall time, the median of its ratios to cat (with the
# least and the most), its peak resident memory, and BYNAME's time against
# KEYNO's text export in the same round.  Every build's output of a mode
# must be the same number of bytes, or no figure is given.
#
#   bench/export-vs-cat.sh ROUNDS DIR EXPORT [EXPORT...]
#
# DIR is a benchmark database written by ondrel-bench (10M_2048, say).
set -euo pipefail
rounds=$1
dir=$2
shift 2
modes="text:KEYNO csv:KEYNO json:KEYNO text:BYNAME"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
cat "$dir/_LARGE.DAT" "$dir/_LARGE.IDX" >/dev/null  # warm the cache
for round in $(seq "$rounds"); do
  /usr/bin/time -f "$round cat %e 0" -a -o "$log" cat "$dir/_LARGE.DAT" | wc -c >/dev/null
  for mode in $modes; do
    format=${mode%%:*}
    profile=${mode##*:}
    build=0
    for export in "$@"; do
      build=$((build + 1))
      bytes=$( (/usr/bin/time -f "$round $build-$format-$profile %e %M" -a -o "$log" \
        "$export" --format "$format" "$dir" LARGE "$profile" | wc -c) 2>&1)
      echo "$round $build-$format-$profile-bytes $bytes 0" >>"$log"
    done
  done
done
/usr/bin/python3 - "$log" "$#" <<'PY'
import collections, statistics, sys
rounds = collections.defaultdict(dict)
for line in open(sys.argv[1]):
    r, key, value, peak = line.split()
    rounds[r][key] = (float(value), int(peak))
builds = int(sys.argv[2])
keys = sorted({k for r in rounds.values() for k in r if k != 'cat' and not k.endswith('-bytes')})
for key in keys:
    mode = key.split('-', 1)[1]
    sizes = {r[f'{b}-{mode}-bytes'][0] for r in rounds.values() for b in range(1, builds + 1)}
    if len(sizes) != 1:
        sys.exit(f'{mode}: the builds wrote different numbers of bytes: {sorted(sizes)}')
print('cat: median %.3f s' % statistics.median(r['cat'][0] for r in rounds.values()))
for key in keys:
    times = [r[key][0] for r in rounds.values()]
    ratios = [r[key][0] / r['cat'][0] for r in rounds.values()]
    peak = max(r[key][1] for r in rounds.values()) / 1024
    print('%-16s median %.3f s; to cat %.2f (%.2f to %.2f); peak %.1f MiB'
          % (key, statistics.median(times), statistics.median(ratios), min(ratios), max(ratios), peak))
for b in range(1, builds + 1):
    ratios = [r[f'{b}-text-BYNAME'][0] / r[f'{b}-text-KEYNO'][0] for r in rounds.values()]
    print('%d: BYNAME / KEYNO %.2f (%.2f to %.2f)' % (b, statistics.median(ratios), min(ratios), max(ratios)))
PY
