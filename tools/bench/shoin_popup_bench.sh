#!/usr/bin/env bash
# What the pop-up script costs: its embedded size, the conversion speed of the
# real logs with Yagura's options with and without /js=80F, and in Chromium the
# time from hovering an anchor to the frame that shows the first pop-up on a
# page of 1000 posts.
# Usage: tools/bench/shoin_popup_bench.sh [build folder] [MB]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
megabytes=${2:-30}
shoin=$build/program/shoin/shoin
data=../shared/realdata
[[ -x $shoin ]] || { echo "build $shoin first" >&2; exit 1; }
[[ -d $data ]] || { echo "real data folder $data is absent" >&2; exit 1; }

work=$(mktemp -d /tmp/shoin_popup_bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in"
sources=("$data/twoB-2ch/2ch_with_id.dat" "$data/twoB-2ch/2ch_with_id_and_be.dat"
         "$data/js2ch-news4vip/1379534723.dat" "$data/twoB-jbbs/aa-euc.dat" "$data/twoB-jbbs/jbbs.dat")
limit=$((megabytes * 1000000))
total=0 key=1200000000 n=0
while ((total < limit)); do
  src=${sources[$((n % ${#sources[@]}))]}
  cp "$src" "$work/in/$key.dat"
  total=$((total + $(stat -c %s "$src")))
  key=$((key + 1)) n=$((n + 1))
done
cat "$work"/in/* >/dev/null

cpu() { /usr/bin/time -f "%U %S" "$@" 2>&1 >/dev/null | tail -1 | awk '{ print $1 + $2 }'; }
best() {  # best CPU seconds of three runs
  local b=
  for _ in 1 2 3; do
    rm -rf "$work/out"
    local s; s=$(cpu "$shoin" "$work/in" "$work/out" "$@")
    if [[ -z $b ]] || awk -v s="$s" -v b="$b" 'BEGIN { exit !(s < b) }'; then b=$s; fi
  done
  echo "$b"
}
plain=$(best /m=E2058000 /o=E01B1E)
scripted=$(best /js=80F /m=E2058000 /o=E01B1E)

page=$(find "$work/out" -name '*.html' | head -1)
script_bytes=$(awk '/^<!--\r?$/ { on = 1; next } /^\/\/-->/ { on = 0 } on' "$page" | wc -c)
awk -v b="$total" -v n="$n" -v p="$plain" -v s="$scripted" -v sb="$script_bytes" 'BEGIN {
  mb = b / 1e6
  printf "embedded script: %d bytes per page (Shift_JIS, CR LF)\n", sb
  printf "input: %d files, %.1f MB\n", n, mb
  printf "without scripts: %.2f s CPU (%.0f MB/s)\n", p, mb / p
  printf "with /js=80F:    %.2f s CPU (%.0f MB/s), %+.1f %%\n", s, mb / s, (s / p - 1) * 100
}'

# A page of 1000 posts: the first thread's 586 posts and 414 of the Be thread.
{ cat "$data/twoB-2ch/2ch_with_id.dat"; head -n 414 "$data/twoB-2ch/2ch_with_id_and_be.dat" | tail -n +2
  head -n 1 "$data/twoB-2ch/2ch_with_id_and_be.dat" | sed 's/<>[^<>]*$/<>/'; } > "$work/1200009999.dat"
"$shoin" "$work/1200009999.dat" "$work/thousand" /js=80F /m=E2058000 /o=E01B1E >/dev/null
e2e=tests/e2e
[[ -d $e2e/node_modules/playwright-core ]] || (cd "$e2e" && npm install --no-audit --no-fund --silent)
printf '{"bench":"%s","runs":9}\n' "$work/thousand/1200009999.html" > "$work/bench.json"
(cd "$e2e" && node popup_check.js "$work/bench.json")
