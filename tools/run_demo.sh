#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the demo: SHOIN on a
# set of demo logs, then the monitor on a simulated board, with its mail and
# upload servers, until Ctrl+C or for a given time.
#
#   tools/run_demo.sh [--seconds N]
#
# --seconds N (or DEMO_SECONDS=N) stops the demo after N seconds and shows
# what it made; 90 is enough for the whole story. DEMO_KEEP=1 carries on with
# the files of the previous run instead of starting afresh.
set -euo pipefail
cd "$(dirname "$0")/.."

while (($# > 0)); do
  case $1 in
    --seconds) DEMO_SECONDS=${2:?--seconds needs a number}; shift 2 ;;
    --seconds=*) DEMO_SECONDS=${1#--seconds=}; shift ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) break ;;
  esac
done
if [[ -n ${DEMO_SECONDS:-} && ! ${DEMO_SECONDS} =~ ^[0-9]+$ ]]; then
  echo "run_demo: --seconds wants a whole number of seconds, not '$DEMO_SECONDS'" >&2
  exit 2
fi
export DEMO_SECONDS

tools/install_packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target yagura shoin
if [[ -x tools/demo/run_demo_board.sh ]]; then
  # SHOIN first: it turns a set of demo thread logs into pages.
  logs=build/demo/shoin/logs
  pages=build/demo/shoin/pages
  if [[ ${DEMO_KEEP:-0} != 1 || ! -f build/demo/shoin/state.json ]]; then
    rm -rf build/demo/shoin
    /usr/bin/python3 tools/demo/board_sim.py --root "$logs" --state build/demo/shoin/state.json \
      init --board demo --threads 8 >/dev/null
  fi
  echo "== SHOIN: demo logs in $logs/demo/dat, pages into $pages"
  build/program/shoin/shoin "$logs/demo/dat" "$pages" || true
  echo
  # Then the monitor on the demo board, until Ctrl+C or DEMO_SECONDS.
  echo "== Yagura on the demo board (board changes are marked [board])"
  exec tools/demo/run_demo_board.sh build
fi

# Without the demo board: the monitor against the settings in its program
# folder, once a board URL has been set there.
ini=build/program/yagura.ini
board=""
if [[ -f $ini ]]; then
  board=$(iconv -f cp932 -t utf-8 "$ini" | tr -d '\r' | sed -n 's/^brdurl=//p' | head -n 1)
fi
if [[ ! $board =~ ^http.*/$ || $board == *鯖名* ]]; then
  cat <<MESSAGE
No board URL is set yet. Set it in $ini, for example:

  brdurl=http://server.example.net/board/

(the file is created by the first start of build/program/yagura; with a
display you can also type the URL into the window), set the words of a word
pair (worda1=, worda2=) and their check boxes (checka1=1 mails, checka2=1
downloads), then run tools/run_demo.sh again.
MESSAGE
  if [[ ! -f $ini ]]; then
    # One short headless start writes the settings file with its defaults.
    timeout -s TERM 3 build/program/yagura --headless >/dev/null 2>&1 || true
  fi
  exit 0
fi

echo "Monitoring $board (settings and files in build/program; Ctrl+C stops)"
if [[ -n ${DISPLAY:-}${WAYLAND_DISPLAY:-} ]]; then
  exec build/program/yagura /autorun "$@"
fi
exec build/program/yagura --headless /autorun "$@"
