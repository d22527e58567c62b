#!/usr/bin/env bash
# Reads the built modules' PE tables on the build machine (nothing is started, so it runs where
# 32-bit programs cannot): every module exports the undecorated names the program looks up.
# Usage: module_tables.sh <objdump> <build dir>
set -euo pipefail
objdump="$1"; build="$2"
failures=0

# Names in the export table's name pointer list, one a line.
exports() {
  "$objdump" -p "$1" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\] \(.*\)$/\1/p'
}

expect_exports() {
  local module="$build/$1"; shift
  if [ ! -f "$module" ]; then
    echo "FAIL: $module was not built"; failures=$((failures + 1)); return
  fi
  local have; have=$(exports "$module")
  local name missing=0
  for name in "$@"; do
    if ! grep -qx "$name" <<<"$have"; then
      echo "FAIL: $(basename "$module") does not export $name (exports: $(tr '\n' ' ' <<<"$have"))"
      missing=$((missing + 1))
    fi
  done
  [ "$missing" = 0 ] && echo "ok: $(basename "$module") exports $*"
  failures=$((failures + missing))
}

expect_exports TollixInstaller.exe QMXGetModuleInfo
expect_exports debugger/KLP_DebuggerDLL.dll QMXGetCreatorFunction QMXCanUnloadNow
expect_exports sample/TollixSystemInfo.dll GetTollixSystemInfo DllRegisterServer DllUnregisterServer
expect_exports sample/Tollix.dll DoRegister DoUnregister
expect_exports sample/IETollix.dll DoRegister
for module in TollixBHO TollixProfileExt SnaporaShellExt NimbrelPhotosOutlookAddin; do
  expect_exports "sample/$module.dll" DllRegisterServer DllUnregisterServer
done

[ "$failures" = 0 ] || { echo "$failures module table check(s) failed"; exit 1; }
