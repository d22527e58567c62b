#!/usr/bin/env bash
# Smoke test of the shipped program: starts TollixInstaller.exe under Wine with the debugger
# module switched on and checks its exit code and the log it wrote.
# Usage: program_smoke.sh <wine-run.sh> <TollixInstaller.exe> <KLP_DebuggerDLL.dll>
set -euo pipefail
run="$1"; exe="$2"; debugger="$3"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
source "$(dirname "$0")/../../tools/wine-bench.sh"
bench_dir=$(sed -n 's/^bench_ready "\(.*\)".*/\1/p' "$run")
bench_ready "$bench_dir"

log="$BENCH_DIR/smoke.log"
rm -f "$log"
bench_wine reg add 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /d "$(winpath "$debugger")" /f /reg:32 >/dev/null
bench_wine reg add 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /d "$(winpath "$debugger")" /f /reg:64 >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\KLP Debugger' /v LogFile /d "$(winpath "$log")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\Content Debugger' /v 'Tollix Installer' /d 1 /f >/dev/null

set +e
"$run" "$exe" /S /smoke-check
rc=$?
set -e
echo "exit code: $rc"
cat "$log"
bench_wine reg delete 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /f /reg:32 >/dev/null 2>&1 || true
bench_wine reg delete 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /f /reg:64 >/dev/null 2>&1 || true
grep -q "Tollix installer/uninstaller starting: '/S /smoke-check'" "$log"
grep -q "INFO   Installer: Exiting" "$log"
[ "$rc" = 0 ] || [ "$rc" = 1 ]
