#!/usr/bin/env bash
# One checksum per option set over every page the converter writes from the
# real logs, so that two builds can be compared byte for byte:
#   tools/bench/shoin_page_checksums.sh old/shoin > before.txt
#   tools/bench/shoin_page_checksums.sh new/shoin > after.txt && diff before.txt after.txt
# Usage: tools/bench/shoin_page_checksums.sh [shoin binary]
set -euo pipefail
cd "$(dirname "$0")/../.."
shoin=$(realpath "${1:-build/program/shoin/shoin}")
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }

# A fixed folder: pages may name the input's path.
work=${TMPDIR:-/tmp}/shoin_page_checksums
rm -rf "$work"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/sub"

# Every real log under a log name, one in a subfolder, one beside
# board information files (.idx in XML form, .inf as key=value lines).
key=1200000000
for src in "$data"/*/*.dat; do
  cp "$src" "$work/in/$key.dat"
  key=$((key + 1))
done
cp "$data/twoB-2ch/2ch_with_id.dat" "$work/in/sub/1300000000.dat"
cp "$data/twoB-jbbs/aa.dat" "$work/in/1200000100.dat"
cp "$data/twoB-2ch/2ch_with_id.dat" "$work/in/1200000101.dat"
printf '<?xml version="1.0"?>\n<Server>yy.shitaraba.net</Server>\n<ID>aabbs</ID>\n' \
  >"$work/in/1200000100.idx"
printf 'Name=テスト板\r\nBOARDURL=http://news.2ch.net/newsplus/\r\n' >"$work/in/1200000101.inf"
touch -d '2020-01-01 00:00:00' "$work"/in/*.dat "$work"/in/sub/*.dat

option_sets=(
  ""
  "/js=80F /m=E2058000 /o=E01B1E /v"
  "/js=80F /m=E2058000 /o=E01B1E /s /a=Bsbfd"
  "/s /a=nFr"
  "/s /a=Bc /d=100"
  "/m=FFFFFFFF /x"
  "/i /s /a=sb"
)
n=0
for options in "${option_sets[@]}"; do
  out="$work/out$n"
  # shellcheck disable=SC2086
  "$shoin" "$work/in" "$out" $options >/dev/null 2>&1 || true
  # One file at a time as well, as the monitor calls it.
  # shellcheck disable=SC2086
  "$shoin" "$work/in/1200000100.dat" "$out/single" $options >/dev/null 2>&1 || true
  sum=$(cd "$out" 2>/dev/null && find . -type f -print0 | LC_ALL=C sort -z |
        xargs -0 sha256sum | sha256sum | cut -c1-16)
  files=$(find "$out" -type f 2>/dev/null | wc -l)
  printf '%-45s %5d files  %s\n' "${options:-(defaults)}" "$files" "$sum"
  n=$((n + 1))
done
