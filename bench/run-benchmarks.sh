#!/usr/bin/env bash
# Builds the benchmarks in Release and runs all of them, then prints the
# tables of BENCHMARKS.md.
#
#   bench/run-benchmarks.sh [SCRATCH_DIR]
#
# SCRATCH_DIR (default /tmp/ondrel-bench) receives the generated databases:
# 1 and 10 million entries with 512- and 2048-byte nodes, and their SQLite
# twins, about 3.3 GB in all.  They are written on the first run (about half a
# minute) and reused afterwards.  The results go to build-bench/bench-results.
# ONDREL_BENCH_REPETITIONS (default 3) sets how often each benchmark is
# repeated; the tables give the medians.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
scratch=${1:-/tmp/ondrel-bench}
repetitions=${ONDREL_BENCH_REPETITIONS:-3}
build=$root/build-bench
results=$build/bench-results

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DONDREL_BUILD_SCREENS=OFF >/dev/null
cmake --build "$build" -j2 --target ondrel-bench ondrel-bench-probe ondrel-export ondrel-sql-bench ondrel ondrel-check-bench
bench=$build/bench/ondrel-bench
sqlbench=$build/bench/ondrel-sql-bench
probe=$build/bench/ondrel-bench-probe
check=$build/bench/ondrel-check-bench

rm -rf "$results"
mkdir -p "$results"

echo "=== databases in $scratch"
"$bench" --bench_dir="$scratch" --bench_make_only

echo "=== machine"
{
  echo "nproc: $(nproc)"
  echo "CPU: $(grep -m1 '^model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
  echo "Memory: $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
  echo "Kernel: $(uname -sr)"
  echo "Compiler: $(c++ --version | head -1)"
} | tee "$results/machine.txt"

echo "=== benchmarks ($repetitions repetitions)"
"$bench" --bench_dir="$scratch" \
  --benchmark_repetitions="$repetitions" --benchmark_display_aggregates_only=true \
  --benchmark_out="$results/benchmarks.json" --benchmark_out_format=json

echo "=== SQL ($repetitions repetitions)"
"$sqlbench" --bench_dir="$scratch" \
  --benchmark_repetitions="$repetitions" --benchmark_display_aggregates_only=true \
  --benchmark_out="$results/sql-benchmarks.json" --benchmark_out_format=json

echo "=== the deep check ($repetitions repetitions)"
"$check" --bench_dir="$scratch" \
  --benchmark_repetitions="$repetitions" --benchmark_display_aggregates_only=true \
  --benchmark_out="$results/check.json" --benchmark_out_format=json

echo "=== resident memory and the thumb drag"
for profile in 10M_512 10M_2048; do
  "$probe" rss "$scratch/$profile" | tee "$results/rss-$profile.txt"
  "$probe" drag-proof "$scratch/$profile" 2>/dev/null | tee "$results/drag-proof-$profile.txt"
done

echo "=== summary"
python3 "$root/bench/summarize.py" "$results" | tee "$results/summary.md"
python3 "$root/bench/summarize_sql.py" "$results" | tee "$results/summary-sql.md"
python3 "$root/bench/summarize_check.py" "$results" | tee "$results/summary-check.md"
