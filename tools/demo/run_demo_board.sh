#!/usr/bin/env bash
# The demo board: a private nginx on 127.0.0.1 serves a simulated board that
# changes every few seconds (new threads, new posts, deleted posts, threads
# dropping off), and the monitor follows it from a program folder of its own
# with word pairs that match some of the board's threads. The monitor runs in
# administrator mode: it mails the threads of pair A to a local Dovecot (POP
# before SMTP) and aiosmtpd, and uploads the archive and page of every
# dropped thread of pair A to a demo uploader CGI under a private lighttpd.
#
#   tools/demo/run_demo_board.sh <build dir>
#
# Everything lives under <build dir>/demo/ (server/ for nginx and the board,
# uploader/ for lighttpd and the uploaded files in uploader/store/, program/
# for the monitor and its files, mail/ for the mails it sends, one .eml file
# each). Ctrl-C stops all of it.
# Environment: DEMO_PORT (default: a free port), DEMO_INTERVAL (seconds
# between random board changes once the story has been told, default 20),
# DEMO_SECONDS (how long the monitor runs before everything stops and the
# summary is shown; 0 or unset: until Ctrl-C), DEMO_KEEP=1 keeps the board
# and the monitor's files of the previous run.
#
# The story: a thread of word pair A is there at the start (found, mailed,
# downloaded), gets new posts after 12 s (downloaded as they come), a new
# matching thread appears after 20 s, and the first thread drops off after
# 45 s: the monitor's third look at the board, about 60 s after the start,
# archives it, converts it into a page and uploads both. Changes of the board
# are printed marked "[board]"; the monitor's lines start with their time.
set -euo pipefail

build=$(realpath "${1:?usage: run_demo_board.sh <build dir>}")
here=$(cd "$(dirname "$0")" && pwd)
python=/usr/bin/python3
demo=$build/demo
server=$demo/server
www=$server/www
program=$demo/program
mail=$demo/mail
uploader=$demo/uploader
state=$server/board_state.json
mail_servers=$here/../../tests/servers/mail_servers.py

if [[ ! -x $build/program/yagura ]]; then
  echo "run_demo_board: $build/program/yagura is missing; build it first" >&2
  exit 1
fi

if [[ ${DEMO_KEEP:-0} != 1 ]]; then
  rm -rf "$server" "$program" "$mail" "$uploader"
fi
mkdir -p "$server/tmp" "$www" "$program/dat"
# nginx's workers run as nobody: the served folders must be readable.
chmod 755 "$demo" "$server" "$www"

port=${DEMO_PORT:-$($python -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
board_url="http://127.0.0.1:$port/demo/"
upload_port=$($python -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
upload_key=demo
uploader_url="http://127.0.0.1:$upload_port/up.cgi"
uploader_server=$(cd "$here/../../tests/servers/uploader" && pwd)/uploader_server.sh

cat >"$server/nginx.conf" <<EOF
daemon off;
pid nginx.pid;
error_log error.log;
worker_processes 1;
events { worker_connections 64; }
http {
  log_format probe '\$time_local|\$request|\$status|\$http_range|\$http_if_modified_since';
  access_log access.log probe;
  client_body_temp_path tmp/body; proxy_temp_path tmp/proxy; fastcgi_temp_path tmp/fastcgi;
  uwsgi_temp_path tmp/uwsgi; scgi_temp_path tmp/scgi;
  types { text/plain txt dat; text/html html; }
  server { listen 127.0.0.1:$port; root $www; }
}
EOF

# The monitor runs from its own program folder, beside a copy of shoin.
ln -f "$build/program/yagura" "$program/yagura" 2>/dev/null || cp -f "$build/program/yagura" "$program/yagura"
if [[ -d $build/program/shoin ]]; then
  rm -rf "$program/shoin"
  cp -r "$build/program/shoin" "$program/shoin"
fi

# What the run left, and where.
count() {  # folder pattern
  find "$1" -maxdepth 1 -name "$2" -type f 2>/dev/null | wc -l
}
summary() {
  local dat=$program/dat
  echo
  echo "== What the demo made"
  echo "  monitor's folder:  $program (settings yagura.ini, log yagura.log)"
  echo "  thread logs:       $(count "$dat" '*.dat') in $dat/"
  echo "  archives (LZH):    $(count "$dat" '*.lzh') in $dat/"
  echo "  pages (HTML):      $(count "$dat" '*.html') in $dat/"
  echo "  uploaded files:    $(count "$uploader/store" '*') in $uploader/store/"
  echo "  mails:             $(count "$mail" '*.eml') in $mail/ (open them with any mail program)"
  echo "  the board:         $www/demo/"
  echo "Run again with DEMO_KEEP=1 to carry on with these files; without it the"
  echo "next run starts afresh. To keep a run for good, copy $demo/ elsewhere."
}

pids=()
cleanup() {
  trap - INT TERM EXIT
  echo
  echo "run_demo_board: stopping"
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  summary
}
trap cleanup INT TERM EXIT

# The mail servers: each prints "READY <port>" once it answers and ends
# with this script.
start_mail_server() {  # kind folder; sets $mail_port
  local ready=$demo/.$1.ready
  rm -f "$ready"
  # Their own warnings go to a log of their own, not into the monitor's console.
  $python "$mail_servers" "$1" --dir "$2" --user demo --password demo --parent-watch \
    </dev/null >"$ready" 2>"$demo/$1.log" &
  pids+=($!)
  mail_port=""
  for _ in $(seq 150); do
    if grep -q '^READY ' "$ready" 2>/dev/null; then
      mail_port=$(awk '{print $2}' "$ready")
      break
    fi
    sleep 0.1
  done
  rm -f "$ready"
  if [[ -z $mail_port ]]; then
    echo "run_demo_board: the $1 server did not start (see $demo/$1.log and $2)" >&2
    exit 1
  fi
}
mkdir -p "$mail"
chmod 755 "$mail"
start_mail_server pop3 "$server/pop3"
pop3_port=$mail_port
start_mail_server smtp "$mail"
smtp_port=$mail_port

# Settings: the demo board, a 30-second interval, three word pairs that
# download what they find (ねこ matches ネコ and ﾈｺ; linux matches ＬＩＮＵＸ);
# pair A also mails them to the local servers and uploads its dropped
# threads (check box 4) to the demo uploader, with its upload key.
if [[ ! -f $program/yagura.ini || ${DEMO_KEEP:-0} != 1 ]]; then
  {
    printf ';---Yagura 設定ファイル\r\n;板URL\r\nbrdurl=%s\r\n;更新確認間隔\r\nchecktime= 0\r\n' "$board_url"
    pair() {  # letter word1 word2 mail+upload
      printf ';ワード%sの設定\r\nword%s1=%s\r\nword%s2=%s\r\n' "${1^^}" "$1" "$2" "$1" "$3"
      printf 'check%s1=%s\r\ncheck%s2=1\r\ncheck%s3=0\r\ncheck%s4=%s\r\ncheck%s5=0\r\n' "$1" "$4" "$1" "$1" "$1" "$4" "$1"
    }
    pair a ねこ 画像 1
    pair b ニュース 速報 0
    pair c linux 質問 0
    # Passwords are kept with every byte shifted down by 10: "demo" is "Z[ce".
    printf ';CGIの設定\r\ncgitype=1\r\ncgiurl=postkey=%s&cgiurl=%s\r\ncgipass=Z[ce\r\n' "$upload_key" "$uploader_url"
    printf ';メールの設定\r\nmailfrom=yagura@demo.example\r\nmailto=you@demo.example\r\n'
    printf 'mailpop3hostport=127.0.0.1:%s\r\nmailpop3user=demo\r\nmailpop3pass=Z[ce\r\n' "$pop3_port"
    printf 'mailsmtphostport=127.0.0.1:%s\r\nmailsmtpuser=demo\r\nmailsmtppass=Z[ce\r\n' "$smtp_port"
    printf ';---Yagura 設定ファイル\r\n'
  } | iconv -f UTF-8 -t CP932 >"$program/yagura.ini"
else
  # A kept folder follows the board, the uploader and the mail servers to
  # this run's ports.
  sed -i -e "s#^brdurl=.*#brdurl=$board_url\r#" \
    -e "s#^cgiurl=.*#cgiurl=postkey=$upload_key\&cgiurl=$uploader_url\r#" \
    -e "s#^mailpop3hostport=.*#mailpop3hostport=127.0.0.1:$pop3_port\r#" \
    -e "s#^mailsmtphostport=.*#mailsmtphostport=127.0.0.1:$smtp_port\r#" "$program/yagura.ini"
fi

nginx -p "$server/" -c nginx.conf -e error.log &
pids+=($!)
for _ in $(seq 50); do
  if $python -c "import socket,sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2>/dev/null; then
    break
  fi
  sleep 0.1
done

# The uploader CGI, asking for the upload key; uploads land in $uploader/store.
bash "$uploader_server" "$uploader" "$upload_port" --key "$upload_key" &
pids+=($!)

sim=("$python" "$here/board_sim.py" --root "$www" --state "$state")
if [[ ! -f $state ]]; then
  "${sim[@]}" init --board demo --threads 12 >/dev/null
fi
# The story's thread, on the board before the monitor first looks.
story_key=$("${sim[@]}" new "ネコの画像を貼るスレ【デモ】Part1" --posts 6 |
  $python -c 'import json, sys; print(json.loads(sys.stdin.readline())["key"])')
"${sim[@]}" --say story "$story_key" --interval "${DEMO_INTERVAL:-20}" &
pids+=($!)

echo "run_demo_board: board $board_url (nginx log: $server/access.log)"
echo "run_demo_board: uploader $uploader_url (uploaded files: $uploader/store)"
echo "run_demo_board: mail to POP3 127.0.0.1:$pop3_port (Dovecot) and SMTP 127.0.0.1:$smtp_port (aiosmtpd)"
echo "run_demo_board: every mail the monitor sends is written to $mail/NNNN.eml"
echo "run_demo_board: monitor in $program (log: $program/yagura.log); Ctrl-C stops"
args=(/autorun /ownermode)
if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  args=(--headless /autorun /ownermode)
fi
echo "run_demo_board: the story's thread is $story_key; it drops off after 45 s"
seconds=${DEMO_SECONDS:-0}
if ((seconds > 0)); then
  echo "run_demo_board: everything stops after $seconds s"
fi
echo
"$program/yagura" "${args[@]}" &
monitor_pid=$!
pids+=($monitor_pid)
if ((seconds > 0)); then
  sleep "$seconds" &
  timer_pid=$!
  pids+=($timer_pid)
  wait -n "$monitor_pid" "$timer_pid" || true
  kill "$timer_pid" 2>/dev/null || true
else
  wait "$monitor_pid" || true
fi
