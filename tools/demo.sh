#!/usr/bin/env bash
# The main job: sets up what is missing, builds the shipped 32-bit program and runs it under
# Wine with the debugger module switched on, then shows the log it wrote.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
if [ "$(cat /tmp/tollix-32bit-mode)" != native ]; then
  echo "note: this kernel cannot start 32-bit programs; Wine's 32-bit side runs under emulation,"
  echo "      so each start of the program takes about a minute (the first run also makes the prefix)."
fi
exec bash tests/smoke/program_smoke.sh build/wine-run.sh build/TollixInstaller.exe build/debugger/KLP_DebuggerDLL.dll
