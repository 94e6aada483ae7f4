#!/usr/bin/env bash
# The demo board script with a stand-in monitor: nginx serves the simulated
# board at the URL written into yagura.ini, the board changes, and a stop
# ends nginx, the simulator and the monitor.
set -euo pipefail
source_dir=${1:?usage: demo_board_script_test.sh <source dir>}
work=$(mktemp -d)
chmod 755 "$work"  # nginx workers run as nobody
script_pid=
finish() {
  [[ -n $script_pid ]] && kill "$script_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The stand-in fetches the board's thread list once, then waits to be stopped.
mkdir -p "$work/build/program"
cat >"$work/build/program/yagura" <<'EOF'
#!/usr/bin/env bash
here=$(dirname "$0")
echo "$*" >"$here/args"
url=$(tr -d '\r' <"$here/yagura.ini" | sed -n 's/^brdurl=//p')
curl -s -o "$here/fetched_subject.txt" "${url}subject.txt"
# One upload to the demo uploader, with the upload key of the settings.
key=$(tr -d '\r' <"$here/yagura.ini" | sed -n 's/^cgiurl=postkey=\([^&]*\)&cgiurl=.*/\1/p')
cgi=$(tr -d '\r' <"$here/yagura.ini" | sed -n 's/^cgiurl=postkey=.*&cgiurl=//p')
for _ in $(seq 50); do
  curl -sf -o "$here/upload_answer" -F upfile=@"$here/args" -F postkey="$key" "$cgi" && break
  sleep 0.1
done
exec -a "$0" sleep 1000
EOF
chmod +x "$work/build/program/yagura"

env -u DISPLAY -u WAYLAND_DISPLAY DEMO_INTERVAL=1 \
  "$source_dir/tools/demo/run_demo_board.sh" "$work/build" >"$work/out" 2>&1 &
script_pid=$!

program=$work/build/demo/program
for _ in $(seq 100); do
  [[ -s $program/fetched_subject.txt ]] && break
  sleep 0.1
done
[[ -s $program/fetched_subject.txt ]] || fail "the monitor got no thread list: $(cat "$work/out")"
# The story's thread is on the board before the monitor first looks.
iconv -f CP932 -t UTF-8 "$program/fetched_subject.txt" | grep -q '<>ネコの画像を貼るスレ【デモ】Part1 (6)$' ||
  fail "the story's thread is missing"
[[ $(cat "$program/args") == "--headless /autorun /ownermode" ]] ||
  fail "arguments: $(cat "$program/args")"
for _ in $(seq 100); do
  [[ -s $program/upload_answer ]] && break
  sleep 0.1
done
grep -q '>click here!</a></font><br>' "$program/upload_answer" ||
  fail "the demo uploader did not take a file: $(cat "$program/upload_answer" 2>&1)"
[[ $(cat "$work/build/demo/uploader/store/up0001.bin" 2>&1) == "--headless /autorun /ownermode" ]] ||
  fail "the uploaded file is not stored as sent"
iconv -f CP932 -t UTF-8 "$program/fetched_subject.txt" | grep -q '^1700000000\.dat<>.* ([0-9]*)$' ||
  fail "not a CP932 thread list: $(head -c 300 "$program/fetched_subject.txt")"
iconv -f CP932 -t UTF-8 "$program/yagura.ini" | grep -q '^worda1=ねこ' || fail "word pair A missing"
iconv -f CP932 -t UTF-8 "$program/yagura.ini" | tr -d '\r' | grep -q '^checka4=1$' ||
  fail "pair A does not upload"

# The board changes while it runs: the story's first change (new posts in
# its thread after 12 s) is printed, marked as the board's.
story_line='^\[board\] [0-9:]\{8\} thread 17[0-9]*: 4 new post(s), 10 now$'
for _ in $(seq 200); do
  grep -q "$story_line" "$work/out" && break
  sleep 0.1
done
grep -q "$story_line" "$work/out" || fail "the board did not change: $(cat "$work/out")"
grep -q '"event"' "$work/out" && fail "the board's changes are printed as JSON"

server=$work/build/demo/server
nginx_pid=$(cat "$server/nginx.pid")
kill -TERM "$script_pid"
wait "$script_pid" || true
script_pid=
grep -q '^== What the demo made$' "$work/out" || fail "no summary at the end: $(tail "$work/out")"
grep -q '^  uploaded files: *1 in .*/uploader/store/$' "$work/out" || fail "the summary miscounts uploads"
sleep 0.3
if kill -0 "$nginx_pid" 2>/dev/null; then fail "nginx still runs"; fi
if pgrep -f "$work/build" >/dev/null; then fail "processes left: $(pgrep -af "$work/build")"; fi
echo "demo board script: ok"
