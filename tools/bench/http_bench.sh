#!/usr/bin/env bash
# The plain request benchmarks (http_bench), then the fsync calls of one
# unchanged cycle of 100 followed threads, counted with strace over a run of
# five such cycles after the first full one (target: at most 5 per cycle),
# and the CPU time of such a cycle on each side (perf stat, when present).
# Usage: tools/bench/http_bench.sh [build folder] [runs]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
runs=${2:-21}
bench=$build/tests/monitor/http/http_bench
"$bench" "$runs"

counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
# The first cycle downloads every log (a log and its header are flushed);
# run it alone, then the same with five unchanged cycles: the difference
# is what the unchanged cycles cost.
syncs() {
  strace -f -c -e trace=fsync,fdatasync -o "$counts" "$bench" "$1" cycle >/dev/null
  awk '$NF == "fsync" || $NF == "fdatasync" { n += $4 } END { print n + 0 }' "$counts"
}
first=$(syncs 0)
more=$(syncs 5)
awk -v a="$first" -v b="$more" 'BEGIN {
  printf "fsync calls: first cycle %d, per unchanged cycle %.1f (target <= 5)\n", a, (b - a) / 5 }'

# CPU time of the client's own thread per unchanged cycle, each side alone:
# steadier than wall time on a loaded machine, and stricter, as the time
# both sides wait for the server is left out.
if command -v perf >/dev/null; then
  cpu() {
    perf stat -x, -e task-clock --no-inherit "$bench" "$1" cycle "$2" 2>&1 >/dev/null |
      awk -F, '/task-clock/ { print $1 }'
  }
  cycles=40
  awk -v m0="$(cpu 0 monitor)" -v m="$(cpu $cycles monitor)" \
      -v l0="$(cpu 0 libcurl)" -v l="$(cpu $cycles libcurl)" -v n=$cycles 'BEGIN {
    a = (m - m0) / n; b = (l - l0) / n
    if (b <= 0) { print "CPU time per unchanged cycle: perf stat could not count task-clock"; exit }
    printf "CPU time per unchanged cycle: monitor %.2f ms, libcurl easy handle %.2f ms, ratio %.2f\n", a, b, a / b }'
fi
