#!/usr/bin/env bash
# Installs what is missing, builds both programs and runs the monitor.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_packages.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if [[ -x tools/demo/run_demo_board.sh ]]; then
  exec tools/demo/run_demo_board.sh build
fi
exec build/program/yagura --headless /autorun "$@"
