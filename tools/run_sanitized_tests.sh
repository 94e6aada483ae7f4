#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UBSan and runs the test suite
# there: any memory error, leak or undefined behaviour fails the test that
# met it. The build is clang's in build-fuzz/, the one tests/fuzz/run.sh
# uses, so that CI compiles the checked code once for both.
#
# SKIP_TESTS (a ctest regex) leaves tests to the plain run of
# tools/run_tests.sh; by default the monitor's three-cycle run against the
# demo board (70 s of waiting on intervals) and the Chromium page check of
# the real logs, which spend their time waiting and in the browser, not in
# our code; the programs they drive are checked here by the other tests; and
# the crash test, whose monitors die by SIGKILL before a sanitizer could
# report (a minute of waiting on kills). The
# converter's memory-exhaustion test limits the address space (ulimit -v),
# which AddressSanitizer's shadow memory cannot live with.
set -euo pipefail
cd "$(dirname "$0")/.."
here=$PWD

launcher=()
if command -v ccache >/dev/null 2>&1; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DYAGURA_FUZZ=ON "${launcher[@]}" >/dev/null
cmake --build build-fuzz

SKIP_TESTS=${SKIP_TESTS-monitor_e2e|crash_e2e|InChromium|MemoryExhaustion}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Leaks inside system libraries (fonts, Qt's plugin loading) are not ours.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/tools/lsan_suppressions.txt:print_suppressions=0}
exclude=()
if [[ -n $SKIP_TESTS ]]; then exclude=(-E "$SKIP_TESTS"); fi
ctest --test-dir build-fuzz --output-on-failure -j2 --timeout 900 "${exclude[@]}"
