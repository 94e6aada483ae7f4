#!/usr/bin/env bash
# Idle cost of the headless monitor while it waits between cycles: CPU time
# (user + system, from /proc/<pid>/stat) over a stretch of idle seconds, as a
# share of one core. Usage: tools/bench/monitor_idle.sh [build folder] [seconds]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
seconds=${2:-20}

folder=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$folder"' EXIT
cp "$build/program/yagura" "$folder/"
# A board nobody answers and the 300-second interval: after the first cycle
# the monitor only ticks.
printf 'brdurl=http://127.0.0.1:9/board/\r\nchecktime=4\r\n' >"$folder/yagura.ini"
"$folder/yagura" --headless >"$folder/stdout.txt" 2>&1 &
pid=$!
sleep 2

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
before=$(ticks)
start=$(date +%s.%N)
sleep "$seconds"
after=$(ticks)
end=$(date +%s.%N)
kill -TERM "$pid"
wait "$pid"

awk -v a="$before" -v b="$after" -v hz="$hz" -v s="$start" -v e="$end" 'BEGIN {
  cpu = (b - a) / hz; wall = e - s;
  printf "headless monitor idle: %.2f s CPU in %.1f s = %.3f %% of one core (target < 0.5 %%)\n",
         cpu, wall, 100 * cpu / wall }'
