#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test. The tests
# start and stop the servers they talk to (nginx, mail servers, lighttpd) on
# 127.0.0.1 themselves.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install_packages.sh
if [[ -f tests/e2e/package.json ]]; then
  (cd tests/e2e && npm install --no-audit --no-fund --silent)
fi

# CMAKE_OPTIONS adds settings of ours (CI: -DWARNINGS_AS_ERRORS=ON).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ${CMAKE_OPTIONS:-}
cmake --build build
# Widgets tests need a platform even on a machine without a display.
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
ctest --test-dir build --output-on-failure -j2 --timeout 900
