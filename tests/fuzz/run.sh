#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for a fixed
# time on a seed corpus made now from the real logs beside the checkout
# (../shared/realdata) and the small seeds committed in tests/fuzz/seeds/.
# Fails when any target finds a crash, a leak or undefined behaviour; the
# input that did it is kept in build-fuzz/fuzz/findings/<target>/.
#
#   tests/fuzz/run.sh [seconds per target] [target ...]
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
seconds=${1:-25}
shift || true

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DYAGURA_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target fuzz_targets

targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(chunked_fuzz header_file_fuzz settings_fuzz subject_fuzz options_fuzz
    page_writer_fuzz dat_reading_fuzz lzh_round_trip_fuzz)
fi

realdata=$root/../shared/realdata
work=$(mktemp -d "${TMPDIR:-/tmp}/fuzz_run_XXXXXX")
trap 'rm -rf "$work"' EXIT

# Seeds for one target: the committed ones, then pieces of the real files.
make_corpus() {
  local target=$1 corpus=$work/corpus/$1
  mkdir -p "$corpus"
  if [[ -d tests/fuzz/seeds/$target ]]; then cp tests/fuzz/seeds/$target/* "$corpus/"; fi
  [[ -d $realdata ]] || return 0
  case $target in
    dat_reading_fuzz | lzh_round_trip_fuzz)
      # The first 4 KB of every log keep runs fast.
      find "$realdata" -name '*.dat' -print0 | while IFS= read -r -d '' f; do
        head -c 4096 "$f" >"$corpus/real_$(basename "$f" | tr -c 'A-Za-z0-9._\n' _)"
      done ;;
    subject_fuzz)
      find "$realdata" -iname '*subject*.txt' -print0 | while IFS= read -r -d '' f; do
        head -c 8192 "$f" >"$corpus/real_$(basename "$(dirname "$f")")"
      done ;;
    chunked_fuzz)
      # Real logs sent in chunks of 1000 bytes.
      find "$realdata" -name '*.dat' -size -20k -print0 | while IFS= read -r -d '' f; do
        python3 - "$f" >"$corpus/real_$(basename "$f" | tr -c 'A-Za-z0-9._\n' _)" <<'PY'
import sys
data = open(sys.argv[1], 'rb').read()[:8192]
out = sys.stdout.buffer
for i in range(0, len(data), 1000):
    part = data[i:i + 1000]
    out.write(b'%x\r\n' % len(part) + part + b'\r\n')
out.write(b'0\r\n\r\n')
PY
      done ;;
    page_writer_fuzz)
      # The posts of real logs as NUL-separated fields.
      find "$realdata" -name '*.dat' -size -20k -print0 | while IFS= read -r -d '' f; do
        python3 - "$f" >"$corpus/real_$(basename "$f" | tr -c 'A-Za-z0-9._\n' _)" <<'PY'
import sys
lines = open(sys.argv[1], 'rb').read()[:8192].split(b'\n')[:-1]
out = [b'\x1b\x05', lines[0].split(b'<>')[-1] if lines else b'']
for line in lines:
    out.extend((line.split(b'<>') + [b''] * 4)[:4])
sys.stdout.buffer.write(b'\0'.join(out))
PY
      done ;;
  esac
}

passed=0
failed=0
for target in "${targets[@]}"; do
  make_corpus "$target"
  findings=build-fuzz/fuzz/findings/$target
  mkdir -p "$findings"
  echo "== $target: ${seconds}s on $(ls "$work/corpus/$target" | wc -l) seeds"
  # Leaks count as failures; a slow input (10 s) too, since it means a hang.
  # Whole logs are slow to identify, read and write as pages: smaller inputs
  # give those targets many more runs in the same time.
  max_len=65536
  case $target in dat_reading_fuzz | page_writer_fuzz | lzh_round_trip_fuzz) max_len=8192 ;; esac
  if build-fuzz/fuzz/$target "$work/corpus/$target" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2048 -max_len=$max_len -artifact_prefix="$findings/" -print_final_stats=1 \
    >"$work/$target.log" 2>&1; then
    grep -E '^stat::(number_of_executed_units|peak_rss_mb)' "$work/$target.log" | tr '\n' ' '
    echo
    passed=$((passed + 1))
  else
    tail -n 60 "$work/$target.log"
    echo "== $target FAILED; inputs in $findings/"
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
((failed == 0))
