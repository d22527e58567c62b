#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite under Wine with CTest.
# The suite runs from a 64-bit build of the same sources (build-x64): on machines whose kernel
# cannot start 32-bit programs, Wine's 32-bit side runs under emulation at about a minute per
# process start, far too slow for hundreds of tests. The shipped 32-bit build (build) gets the
# smoke tests, which start the real 32-bit program.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
jobs=$(nproc)
bench="$PWD/build/wine"

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BUILD_TESTS=OFF -DTOLLIX_BENCH_DIR="$bench" >/dev/null
cmake --build build -j"$jobs"
cmake -S . -B build-x64 -DCMAKE_BUILD_TYPE=Release -DTOLLIX_ARCH=x86_64 -DTOLLIX_BENCH_DIR="$bench" >/dev/null
cmake --build build-x64 -j"$jobs"

# Make the Wine bench (prefix, display, wineserver) before CTest: the first prefix takes minutes,
# longer than CTest gives a test program to list its tests.
source tools/wine-bench.sh
bench_ready "$bench"

status=0
ctest --test-dir build-x64 --output-on-failure -j1 --timeout 300 || status=$?
if [ "$(cat /tmp/tollix-32bit-mode)" = none ]; then
  echo "== smoke tests of the shipped 32-bit program: SKIPPED, 32-bit programs cannot run here =="
else
  echo "== smoke tests of the shipped 32-bit program =="
  ctest --test-dir build --output-on-failure -L smoke --timeout 1500 || status=$?
fi
exit $status
