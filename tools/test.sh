#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite under Wine with CTest.
# Where 32-bit programs run natively, the suite runs on the 32-bit build itself. Elsewhere the
# suite runs on a 64-bit build of the same sources (native speed under Wine), and the shipped
# 32-bit program gets its smoke tests under emulation.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
mode=$(cat /tmp/tollix-32bit-mode)
jobs=$(nproc)
bench="$PWD/build/wine"

if [ "$mode" = native ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BENCH_DIR="$bench" >/dev/null
  cmake --build build -j"$jobs"
  ctest --test-dir build --output-on-failure -j1 --timeout 300
else
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BUILD_TESTS=OFF -DTOLLIX_BENCH_DIR="$bench" >/dev/null
  cmake --build build -j"$jobs"
  cmake -S . -B build-x64 -DCMAKE_BUILD_TYPE=Release -DTOLLIX_ARCH=x86_64 -DTOLLIX_BENCH_DIR="$bench" >/dev/null
  cmake --build build-x64 -j"$jobs"
  status=0
  ctest --test-dir build-x64 --output-on-failure -j1 --timeout 300 || status=$?
  echo "== smoke tests of the shipped 32-bit program (under emulation: slow) =="
  ctest --test-dir build --output-on-failure -L smoke --timeout 1200 || status=$?
  exit $status
fi
