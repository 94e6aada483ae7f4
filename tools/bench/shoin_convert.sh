#!/usr/bin/env bash
# Converting about 100 MB of real logs end to end with Yagura's options
# (without /v), against copying the same files with cp, and the converter's
# peak memory for the whole set and for a tenth of it (it must not grow with
# the number of files).
# Usage: tools/bench/shoin_convert.sh [build folder] [MB]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
megabytes=${2:-100}
shoin=$build/program/shoin/shoin
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }

work=$(mktemp -d /tmp/shoin_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/small"

# Many files with log names, cycling through the real logs.
sources=("$data/twoB-2ch/2ch_with_id.dat" "$data/twoB-2ch/2ch_with_id_and_be.dat"
         "$data/js2ch-news4vip/1379534723.dat" "$data/twoB-jbbs/aa-euc.dat" "$data/twoB-jbbs/jbbs.dat")
limit=$((megabytes * 1000000))
total=0
key=1200000000
n=0
while ((total < limit)); do
  src=${sources[$((n % ${#sources[@]}))]}
  cp "$src" "$work/in/$key.dat"
  ((n % 10 == 0)) && cp "$src" "$work/small/$key.dat"
  total=$((total + $(stat -c %s "$src")))
  key=$((key + 1))
  n=$((n + 1))
done
cat "$work"/in/* >/dev/null  # both runs start from the page cache

# elapsed seconds, CPU seconds (user + system), peak resident KB
measure() { /usr/bin/time -f "%e %U %S %M" "$@" 2>&1 >/dev/null | tail -1 |
            awk '{ print $1, $2 + $3, $4 }'; }

read -r cp_s cp_cpu _ < <(measure cp -r "$work/in" "$work/copy")
read -r conv_s conv_cpu conv_kb < <(measure "$shoin" "$work/in" "$work/out" /js=80F /m=E2058000 /o=E01B1E)
read -r _ _ small_kb < <(measure "$shoin" "$work/small" "$work/out_small" /js=80F /m=E2058000 /o=E01B1E)

pages=$(find "$work/out" -name '*.html' | wc -l)
awk -v bytes="$total" -v files="$n" -v pages="$pages" -v cp="$cp_s" -v conv="$conv_s" \
    -v cpcpu="$cp_cpu" -v convcpu="$conv_cpu" -v kb="$conv_kb" -v skb="$small_kb" 'BEGIN {
  mb = bytes / 1e6
  printf "input: %d files, %.1f MB; pages written: %d\n", files, mb, pages
  printf "cp -r:   %.2f s elapsed, %.2f s CPU (%.0f MB/s elapsed)\n", cp, cpcpu, (cp > 0 ? mb / cp : 0)
  printf "shoin:   %.2f s elapsed, %.2f s CPU (%.0f MB/s elapsed, %.0f MB/s CPU), %.2f x cp elapsed\n",
         conv, convcpu, (conv > 0 ? mb / conv : 0), (convcpu > 0 ? mb / convcpu : 0), (cp > 0 ? conv / cp : 0)
  printf "peak memory: %.1f MB for all files, %.1f MB for a tenth of them\n", kb / 1024, skb / 1024
}'
