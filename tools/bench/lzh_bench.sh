#!/usr/bin/env bash
# Compression of the real logs by our -lh5- writer against jlha (jlha-utils,
# which writes -lh5- with level-2 headers by `jlha a2`) and gzip -9.
#   tools/bench/lzh_bench.sh [BUILD_DIR] [COPIES] [RUNS]
# BUILD_DIR defaults to build. The whole-process figures compress every log
# once per run, RUNS runs (default 5), and quote the median. COPIES (default
# 8, 0 to skip) is how many times the concatenated logs are repeated for one
# large input.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
copies=${2:-8}
runs=${3:-5}
realdata=../shared/realdata
bench=$build/tools/bench/lzh_bench

[[ -d $realdata ]] || { echo "no real data at $realdata"; exit 1; }
command -v jlha >/dev/null || { echo "jlha missing (Debian package jlha-utils)"; exit 1; }
[[ -x $bench ]] || cmake --build "$build" --target lzh_bench -j2 >/dev/null
bench=$(realpath "$bench")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

size() { stat -c %s "$1"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

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
echo "== every real log once into one archive, whole process, median of $runs runs =="
# Flat copies, so that both archivers store the same names.
# Bash's own timing: user, system and wall seconds to the millisecond.
TIMEFORMAT='%3U %3S %3R'
mkdir "$work/logs"
cp "${logs[@]}" "$work/logs/"
mapfile -t names < <(cd "$work/logs" && ls)
echo "input: ${#names[@]} logs, $total_in bytes"
: > "$work/ours.times"
: > "$work/jlha.times"
cd "$work/logs"
for ((r = 0; r < runs; r++)); do
  rm -f "$work/all.lzh" "$work/jall.lzh"
  { time "$bench" --whole "$work/all.lzh" "${names[@]}" >> "$work/ours.out"; } 2>> "$work/ours.times"
  { time jlha a2q "$work/jall.lzh" "${names[@]}" >/dev/null; } 2>> "$work/jlha.times"
done
cd - >/dev/null
ours_all=$(size "$work/all.lzh")
ours_cpu=$(awk '{ print $1 + $2 }' "$work/ours.times" | median)
ours_wall=$(awk '{ print $3 }' "$work/ours.times" | median)
ours_inproc=$(awk '{ print $(NF-1) }' "$work/ours.out" | median)
jlha_all=$(size "$work/jall.lzh")
jlha_cpu=$(awk '{ print $1 + $2 }' "$work/jlha.times" | median)
jlha_wall=$(awk '{ print $3 }' "$work/jlha.times" | median)
printf "%-6s %12s %14s %18s %14s\n" "" "archive" "compress MB/s" "process CPU MB/s" "process wall s"
awk -v a="$ours_all" -v i="$ours_inproc" -v c="$ours_cpu" -v w="$ours_wall" -v n="$total_in" \
  'BEGIN { printf "%-6s %12d %14.1f %18.1f %14.3f\n", "ours", a, i, n / 1e6 / (c > 0 ? c : 0.01), w }'
awk -v a="$jlha_all" -v c="$jlha_cpu" -v w="$jlha_wall" -v n="$total_in" \
  'BEGIN { printf "%-6s %12d %14s %18.1f %14.3f\n", "jlha", a, "-", n / 1e6 / (c > 0 ? c : 0.01), w }'
awk -v o="$ours_all" -v j="$jlha_all" 'BEGIN { printf "ours/jlha = %.4f\n", o / j }'
(cd "$work" && mkdir back && cd back && lhasa xq ../all.lzh && cd ../logs &&
  for f in "${names[@]}"; do cmp "$f" "../back/$f"; done) &&
  echo "ours:   lhasa gives back every log exactly"
7z t "$work/all.lzh" >/dev/null && echo "ours:   7-Zip tests the archive as sound"

((copies > 0)) || exit 0
echo
echo "== large input: the logs concatenated $copies times, compressed once =="
for ((i = 0; i < copies; i++)); do cat "${logs[@]}"; done > "$work/big.dat"
big_size=$(size "$work/big.dat")
echo "input: $big_size bytes"
"$bench" --archive "$work/big.lzh" "$work/big.dat" | tail -1 |
  awk '{ printf "ours:    archive %d bytes, %s MB/s (CPU time)\n", $3, $(NF-1) }'
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
