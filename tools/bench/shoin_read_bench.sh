#!/bin/sh
# Builds and runs the reading benchmark of shoin on one core.
#   tools/bench/shoin_read_bench.sh [build folder] [megabytes] [/o word]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
cmake --build "$build" --target shoin_read_bench -j2
exec taskset -c 0 "$build/program/bench/shoin_read_bench" "$root/../shared/realdata" "${2:-100}" ${3:-E01B1E}
