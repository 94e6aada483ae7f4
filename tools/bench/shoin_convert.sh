#!/usr/bin/env bash
# Converting about 100 MB of real logs end to end with Yagura's options
# (without /v) and with the defaults, against copying the same files with
# cp -r beside it, and the converter's peak memory for the whole set and for
# a tenth of it (it must not grow with the number of files).
# Usage: [ROUNDS=5] [TMPDIR=folder] tools/bench/shoin_convert.sh [build folder] [MB]
# (TMPDIR picks the file system measured: put it on ext4, not tmpfs, and on
# one with a journal, as ext4 is made by default. Without a journal the
# kernel passes over every inode freed in the last minutes each time it
# creates a file; over repeated runs those pile up and the figures time the
# file system, not the two programs. A loop-mounted image made with
# mkfs.ext4 serves on such a machine.)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
megabytes=${2:-100}
shoin=$build/program/shoin/shoin
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/shoin_bench.XXXXXX")
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
cat "$work"/in/* >/dev/null  # every run starts from the page cache

# elapsed seconds, CPU seconds (user + system), peak resident KB; the elapsed
# time from the shell's clock, since time(1) rounds to 10 ms and cp -r of the
# input takes only a few of those.
measure() {
  local start=$EPOCHREALTIME out
  out=$(/usr/bin/time -f "%U %S %M" "$@" 2>&1 >/dev/null | tail -1)
  local end=$EPOCHREALTIME
  awk -v a="$start" -v b="$end" -v o="$out" 'BEGIN { split(o, f, " "); print b - a, f[1] + f[2], f[3] }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2) }'; }

# Rounds of cp and shoin in turn, each into a fresh folder (removed outside
# the timing), so that both meet the same state of the machine; medians.
rounds=${ROUNDS:-5}
echo "input: $n files, $(awk -v b="$total" 'BEGIN { printf "%.1f", b / 1e6 }') MB on $(df -T "$work" | awk 'NR == 2 { print $2 }'), $rounds rounds, medians"
compare() {
  local label=$1
  shift
  local cp_s=() cp_cpu=() sh_s=() sh_cpu=() kb=0 s cpu
  for ((r = 0; r < rounds; r++)); do
    rm -rf "$work/copy" "$work/out"
    sync
    read -r s cpu _ < <(measure cp -r "$work/in" "$work/copy")
    cp_s+=("$s") cp_cpu+=("$cpu")
    read -r s cpu kb < <(measure "$shoin" "$work/in" "$work/out" "$@")
    sh_s+=("$s") sh_cpu+=("$cpu")
  done
  local a b c d
  a=$(printf '%s\n' "${cp_s[@]}" | median) b=$(printf '%s\n' "${cp_cpu[@]}" | median)
  c=$(printf '%s\n' "${sh_s[@]}" | median) d=$(printf '%s\n' "${sh_cpu[@]}" | median)
  awk -v mb="$total" -v l="$label" -v a="$a" -v b="$b" -v c="$c" -v d="$d" -v kb="$kb" 'BEGIN {
    mb /= 1e6
    printf "%s\n", l
    printf "  cp -r (reference): %.3f s elapsed, %.2f s CPU\n", a, b
    printf "  shoin:             %.3f s elapsed, %.2f s CPU (%.0f MB/s elapsed), peak %.1f MB\n", c, d, (c > 0 ? mb / c : 0), kb / 1024
    printf "  shoin / cp -r:     %.2f x elapsed, %.2f x CPU\n", (a > 0 ? c / a : 0), (b > 0 ? d / b : 0)
  }'
}
compare "Yagura's options (/js=80F /m=E2058000 /o=E01B1E):" /js=80F /m=E2058000 /o=E01B1E
compare "defaults:"

# Peak memory must not grow with the number of files.
read -r _ _ small_kb < <(measure "$shoin" "$work/small" "$work/out_small" /js=80F /m=E2058000 /o=E01B1E)
echo "peak memory for a tenth of the files: $(awk -v k="$small_kb" 'BEGIN { printf "%.1f", k / 1024 }') MB"
