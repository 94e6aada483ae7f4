#!/usr/bin/env bash
# Runs the demo board with the built monitor for DEMO_SECONDS and checks that
# the whole story happened: the story's thread found, mailed, downloaded as
# it grew, dropped, archived, converted and uploaded, then the summary.
#
#   demo_story_test.sh <source dir> <program dir>
set -euo pipefail
source_dir=$(realpath "${1:?usage: demo_story_test.sh <source dir> <program dir>}")
program_dir=$(realpath "${2:?usage: demo_story_test.sh <source dir> <program dir>}")
work=$(mktemp -d /tmp/yagura_demo_XXXXXX)
chmod 755 "$work"  # nginx workers run as nobody
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- console" >&2
  cut -c1-200 "$work/out" >&2
  exit 1
}

# A build folder of its own, so that a user's build/demo is left alone.
mkdir -p "$work/build/program"
cp "$program_dir/yagura" "$work/build/program/"
cp -r "$program_dir/shoin" "$work/build/program/"

set +e
env -u DISPLAY -u WAYLAND_DISPLAY DEMO_SECONDS="${DEMO_SECONDS:-80}" \
  "$source_dir/tools/demo/run_demo_board.sh" "$work/build" >"$work/out" 2>&1
status=$?
set -e
[[ $status == 0 ]] || fail "the demo ended with status $status"

demo=$work/build/demo
key=$(sed -n "s/^run_demo_board: the story's thread is \([0-9]*\);.*/\1/p" "$work/out")
[[ -n $key ]] || fail "the story's thread is not named"
grep -q '^（´ω｀）管理者モードで起動しました。$' "$work/out" || fail "no component report"
grep -q "^\[board\] .* thread $key .* dropped off the board$" "$work/out" || fail "no drop told"
grep -q "^[0-9:]\{8\} .*\[$key.dat\]はdat落ちしています" "$work/out" || fail "the drop was not seen"
grep -q '^[0-9:]\{8\} .*htmlファイルをアップロードしました' "$work/out" || fail "no page upload"
grep -q 'Session.login_data' "$work/out" && fail "the mail servers' warnings reach the console"

dat=$demo/program/dat
[[ -s $dat/$key.lzh ]] || fail "no archive of $key: $(ls "$dat")"
html=$(find "$dat" -name "$key*.html" | head -n 1)
[[ -n $html ]] || fail "no page of $key: $(ls "$dat")"
# Decoded into a file first: grep -q leaving a pipe early kills iconv with
# SIGPIPE, which pipefail would count as a missing title.
iconv -c -f CP932 -t UTF-8 "$html" >"$work/page.txt" 2>/dev/null || true
grep -q 'ネコの画像を貼るスレ【デモ】Part1' "$work/page.txt" "$html" || fail "the page lacks the thread's title"
# Ten posts: six at the start, four more after 12 s.
[[ $(wc -l <"$dat/$key.dat") == 10 ]] || fail "the log does not hold the grown thread"
(($(find "$demo/uploader/store" -type f | wc -l) >= 2)) || fail "the archive and page were not uploaded"
(($(find "$demo/mail" -name '*.eml' | wc -l) >= 2)) || fail "fewer than two mails"

grep -q '^== What the demo made$' "$work/out" || fail "no summary"
grep -q "^  archives (LZH): *[1-9][0-9]* in $dat/\$" "$work/out" || fail "the summary misses the archive"
grep -q "^  mails: *[1-9][0-9]* in $demo/mail/ " "$work/out" || fail "the summary misses the mails"
if pgrep -f "$work/build" >/dev/null; then fail "processes left: $(pgrep -af "$work/build")"; fi
echo "demo story: ok"
