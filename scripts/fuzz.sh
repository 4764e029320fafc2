#!/usr/bin/env bash
# Builds the libFuzzer targets and fuzzes one of them:
#   scripts/fuzz.sh NAME [SECONDS]     (NAME as in fuzz/NAME_fuzzer.cpp)
# Interesting inputs go to build/fuzz/corpus-NAME, findings to build/fuzz/findings-NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
name=${1:?fuzzer name}
seconds=${2:-60}
scripts/install-deps.sh
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICTORAND_FUZZ=ON -DPICTORAND_TESTS=OFF \
  -DPICTORAND_GUI=OFF -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build build/fuzz --target "fuzz_$name"
mkdir -p "build/fuzz/corpus-$name" "build/fuzz/findings-$name"
export ASAN_OPTIONS=detect_leaks=1
# Leaks inside the system's decoder libraries are theirs (fuzz/lsan-suppressions.txt).
export LSAN_OPTIONS=suppressions=$PWD/fuzz/lsan-suppressions.txt
build/fuzz/fuzz/"fuzz_$name" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
  -artifact_prefix="build/fuzz/findings-$name/" -print_final_stats=1 "build/fuzz/corpus-$name" "fuzz/corpus/$name"
