#!/usr/bin/env bash
# Builds Pictorand32 with its tests and runs them.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh --tests
cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTORAND_WERROR=ON >/dev/null
cmake --build build/test
cd build/test
# The JUnit report keeps each skipped test's reason (scripts/test-summary.py).
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error --output-junit ctest-results.xml -j "$(nproc)"
