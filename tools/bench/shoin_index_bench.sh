#!/usr/bin/env bash
# Indexing 10,000 converted threads: the same conversion with and without
# /i (thread lists and tree pages in a /a=sbd layout), the time /i adds and
# the converter's peak memory. The logs are copies of the real logs under
# log names, so that they spread over servers, boards and months.
# Usage: tools/bench/shoin_index_bench.sh [build folder] [threads]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
threads=${2:-10000}
shoin=$build/program/shoin/shoin
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }

# In memory where there is a tmpfs: the disk of a shared machine makes the
# figures swing far more than /i moves them.
tmp=/tmp
[[ -d /dev/shm && -w /dev/shm ]] && tmp=/dev/shm
work=$(mktemp -d "$tmp/shoin_index_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
sources=("$data/js2ch-news4vip/1379534723.dat" "$data/twoB-2ch/example(81-100).dat"
         "$data/twoB-2ch/log-falled.dat" "$data/twoB-jbbs/aa.dat" "$data/twoB-jbbs/jbbs.dat")
# Ten folders of logs, so that /a=sbd gives many folders.
key=1200000000
for ((n = 0; n < threads; n++)); do
  dir=$work/in/board$((n % 10))
  ((n < 10)) && mkdir -p "$dir"
  cp "${sources[$((n % ${#sources[@]}))]}" "$dir/$key.dat"
  key=$((key + 1))
done
cat "$work"/in/*/* >/dev/null  # every run starts from the page cache

# elapsed seconds, CPU seconds (user + system), peak resident KB
measure() { /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1 |
            awk '{ print $1, $2 + $3, $4 }'; }
run() {
  rm -rf "$work/out"
  measure "$shoin" "$work/in" "$work/out" /s /a=sbd /o=E01B1E "$@"
}

# Each variant three times, alternating, so that all meet the same load
# of the machine; the smallest CPU time of each counts.
best() { awk 'NR == 1 || $2 < b2 { b1 = $1; b2 = $2; b3 = $3 } END { print b1, b2, b3 }'; }
: >"$work/plain" >"$work/indexed" >"$work/posts"
for i in 1 2 3; do
  run >>"$work/plain"
  run /i >>"$work/indexed"
  run /I=l1101 >>"$work/posts"  # decorated, with board titles and first posts
done
pages=$(find "$work/out" -name 'index*.html' -o -name threadlist.html | wc -l)
read -r p_s p_cpu p_kb < <(best <"$work/plain")
report() {
  read -r s cpu kb < <(best <"$work/$2")
  awk -v name="$1" -v s="$s" -v c="$cpu" -v k="$kb" -v ps="$p_s" -v pc="$p_cpu" 'BEGIN {
    printf "%-12s %6.2f s elapsed, %5.2f s CPU, peak %5.1f MB; adds %5.1f %% CPU (%5.1f %% elapsed)\n",
           name, s, c, k / 1024, (c / pc - 1) * 100, (s / ps - 1) * 100 }'
}
echo "$threads threads, /s /a=sbd; index pages written: $pages"
awk -v s="$p_s" -v c="$p_cpu" -v k="$p_kb" 'BEGIN {
  printf "%-12s %6.2f s elapsed, %5.2f s CPU, peak %5.1f MB\n", "without /i:", s, c, k / 1024 }'
report "/i:" indexed
report "/I=l1101:" posts
echo "target: /i adds under 20 % to the run's time; memory under 100 MB"
