#!/usr/bin/env bash
# Sets up what is missing, builds, and runs the whole test suite under Wine with CTest, against
# the program that ships (the i686 build in build/) wherever this machine runs 32-bit programs
# natively. Where it runs them only under emulation (about a minute per process start), the suite
# runs from an x86_64 build of the same sources (build-x64) and the shipped program still makes
# one real install and uninstall round trip. The last lines say which build was tested and why.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
# TOLLIX_32BIT_MODE=emulated (or none) tries a fallback on a machine that runs 32-bit natively.
mode=${TOLLIX_32BIT_MODE:-$(cat /tmp/tollix-32bit-mode)}
jobs=$(nproc)
bench="$PWD/build/wine"

# The shipped build, with its tests: compiling them alone catches what only i686 rejects. Where
# its tests cannot run at native speed, CTest does not list them (listing starts the program).
suite_in_ctest=ON
[ "$mode" = native ] || suite_in_ctest=OFF
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BUILD_TESTS=ON -DTOLLIX_SUITE_IN_CTEST=$suite_in_ctest \
  -DTOLLIX_BENCH_DIR="$bench" >/dev/null
cmake --build build -j"$jobs"
if [ "$mode" != native ]; then
  cmake -S . -B build-x64 -DCMAKE_BUILD_TYPE=Release -DTOLLIX_ARCH=x86_64 -DTOLLIX_BENCH_DIR="$bench" >/dev/null
  cmake --build build-x64 -j"$jobs"
fi

# Make the Wine bench (prefix, display, wineserver) before CTest: a first prefix can take longer
# than CTest gives a test program to list its tests.
source tools/wine-bench.sh
bench_ready "$bench"

status=0
passed=0
failed=0
# Runs CTest on a build tree and adds its counts to the totals.
run_ctest() {
  local out
  out=$(mktemp)
  ctest --test-dir "$@" --output-on-failure -j1 --timeout 300 2>&1 | tee "$out" || status=1
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$out" | tail -1)
  if [ -n "$line" ]; then
    local failures total
    failures=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - failures))
    failed=$((failed + failures))
  else
    status=1
  fi
  rm -f "$out"
}

case "$mode" in
  native)
    echo "== the whole suite, against the shipped i686 build (build/) =="
    run_ctest build
    tested="the shipped i686 build (build/): this kernel runs 32-bit programs natively, so every test ran against it, in a 64-bit Wine prefix where it sees what it sees on 64-bit Windows (Program Files (x86), the registry's 32-bit view)"
    ;;
  emulated)
    echo "== the whole suite, from the x86_64 build of the same sources (build-x64) =="
    run_ctest build-x64
    echo "== the shipped i686 build (build/): its module tables and one real round trip under emulation =="
    export TOLLIX_ANSWERER="$PWD/build-x64/tools/answer_dialogs.exe"
    run_ctest build -L 'static|roundtrip'
    tested="the x86_64 build (build-x64) of the same sources: this kernel runs 32-bit programs only under emulation (about a minute per start). The shipped i686 build was compiled with its tests, its module tables were read, and it made one real install and uninstall round trip"
    ;;
  *)
    echo "== the whole suite, from the x86_64 build of the same sources (build-x64) =="
    run_ctest build-x64
    echo "== the shipped i686 build (build/): its module tables (its round trip is SKIPPED: 32-bit programs cannot run here) =="
    run_ctest build -L static
    tested="the x86_64 build (build-x64) of the same sources: this machine cannot run 32-bit programs at all. The shipped i686 build was compiled with its tests and its module tables were read; its round trip was SKIPPED"
    ;;
esac

echo
echo "Tested: $tested."
echo "tests: $passed passed, $failed failed"
exit $status
