#!/usr/bin/env bash
# The whole test suite (fuzz seed replays included) built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPICTORAND_SANITIZE=ON -DPICTORAND_WERROR=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/asan
cd build/asan
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside system libraries (not our code) are listed there.
export LSAN_OPTIONS=suppressions=$PWD/../../fuzz/lsan-suppressions.txt
QT_QPA_PLATFORM=offscreen ctest --output-on-failure --no-tests=error --output-junit ctest-results.xml -j "$(nproc)"
