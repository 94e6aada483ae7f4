#!/usr/bin/env bash
# Compression of the real logs by our -lh5- writer against jlha (jlha-utils,
# which writes -lh5- with level-2 headers by `jlha a2`) and gzip -9.
#   tools/bench/lzh_bench.sh [BUILD_DIR] [COPIES]
# BUILD_DIR defaults to build; COPIES (default 32) is how many times the
# concatenated logs are repeated for the large input that is timed.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
copies=${2:-32}
realdata=../shared/realdata
bench=$build/tools/bench/lzh_bench

[[ -d $realdata ]] || { echo "no real data at $realdata"; exit 1; }
command -v jlha >/dev/null || { echo "jlha missing (Debian package jlha-utils)"; exit 1; }
[[ -x $bench ]] || cmake --build "$build" --target lzh_bench -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size() { stat -c %s "$1"; }

echo "== one archive per real log =="
printf "%-28s %10s %10s %10s %10s\n" file original ours jlha "gzip -9"
total_in=0 total_ours=0 total_jlha=0 total_gz=0
mapfile -t logs < <(find "$realdata" -name '*.dat' -type f | sort)
for log in "${logs[@]}"; do
  name=$(basename "$log")
  "$bench" --archive "$work/ours.lzh" "$log" >/dev/null
  rm -f "$work/jlha.lzh"
  (cd "$(dirname "$log")" && jlha a2q "$work/jlha.lzh" "$name" >/dev/null)
  gz=$(gzip -9c "$log" | wc -c)
  printf "%-28s %10d %10d %10d %10d\n" "$name" "$(size "$log")" "$(size "$work/ours.lzh")" \
    "$(size "$work/jlha.lzh")" "$gz"
  total_in=$((total_in + $(size "$log")))
  total_ours=$((total_ours + $(size "$work/ours.lzh")))
  total_jlha=$((total_jlha + $(size "$work/jlha.lzh")))
  total_gz=$((total_gz + gz))
done
printf "%-28s %10d %10d %10d %10d\n" TOTAL "$total_in" "$total_ours" "$total_jlha" "$total_gz"
awk -v o="$total_ours" -v j="$total_jlha" -v g="$total_gz" \
  'BEGIN { printf "ours/jlha = %.4f   ours/gzip-9 = %.4f\n", o / j, o / g }'

echo
echo "== large input: the logs concatenated $copies times =="
for ((i = 0; i < copies; i++)); do cat "${logs[@]}"; done > "$work/big.dat"
big_size=$(size "$work/big.dat")
echo "input: $big_size bytes"
"$bench" --repeat 3 --archive "$work/big.lzh" "$work/big.dat" | tail -1 |
  awk '{ printf "ours:    archive %d bytes, %s MB/s (CPU time, best of 3)\n", $3, $(NF-1) }'
lhasa pq "$work/big.lzh" | cmp - "$work/big.dat" && echo "ours:    lhasa gives back the input exactly"

TIMEFORMAT=%R
rm -f "$work/jlha.lzh"
jlha_seconds=$( { time (cd "$work" && jlha a2q jlha.lzh big.dat >/dev/null); } 2>&1 )
awk -v s="$jlha_seconds" -v n="$big_size" -v a="$(size "$work/jlha.lzh")" \
  'BEGIN { printf "jlha:    archive %d bytes, %.1f MB/s (wall time, JVM start included)\n", a, n / 1e6 / s }'
gz_seconds=$( { time (gzip -9c "$work/big.dat" > "$work/big.gz"); } 2>&1 )
awk -v s="$gz_seconds" -v n="$big_size" -v a="$(size "$work/big.gz")" \
  'BEGIN { printf "gzip -9: %d bytes, %.1f MB/s\n", a, n / 1e6 / s }'
awk -v o="$(size "$work/big.lzh")" -v j="$(size "$work/jlha.lzh")" -v g="$(size "$work/big.gz")" \
  'BEGIN { printf "ours/jlha = %.4f   ours/gzip-9 = %.4f\n", o / j, o / g }'
