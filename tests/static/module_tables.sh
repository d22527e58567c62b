#!/usr/bin/env bash
# Reads the built modules' PE tables on the build machine (nothing is started, so it runs where
# 32-bit programs cannot): every module exports the undecorated names the program looks up, and
# the program imports only DLLs that Windows always takes from the system folder.
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

# DLL names of the import table, one a line.
imports() {
  "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p'
}

# Every other DLL (urlmon, wininet, ...) would be looked for beside the program before the
# program runs a single line, so those are loaded at run time from the system folder instead.
expect_system_imports_only() {
  local module="$build/$1"
  if [ ! -f "$module" ]; then
    echo "FAIL: $module was not built"; failures=$((failures + 1)); return
  fi
  local allowed=" kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll oleaut32.dll shlwapi.dll msvcrt.dll comctl32.dll "
  local name names found=0 refused=0
  names=$(imports "$module")
  for name in $names; do
    found=$((found + 1))
    if [[ "$allowed" != *" $(tr '[:upper:]' '[:lower:]' <<<"$name") "* ]]; then
      echo "FAIL: $(basename "$module") imports $name, which may be taken from beside the program"
      refused=$((refused + 1))
    fi
  done
  if [ "$found" = 0 ]; then
    echo "FAIL: no import table read from $(basename "$module")"; refused=1
  fi
  [ "$refused" = 0 ] && echo "ok: $(basename "$module") imports only system DLLs ($(echo $names))"
  failures=$((failures + refused))
}

expect_exports TollixInstaller.exe QMXGetModuleInfo
expect_system_imports_only TollixInstaller.exe
expect_exports debugger/KLP_DebuggerDLL.dll QMXGetCreatorFunction QMXCanUnloadNow
expect_exports sample/TollixSystemInfo.dll GetTollixSystemInfo DllRegisterServer DllUnregisterServer
expect_exports sample/Tollix.dll DoRegister DoUnregister
expect_exports sample/IETollix.dll DoRegister
for module in TollixBHO TollixProfileExt SnaporaShellExt NimbrelPhotosOutlookAddin; do
  expect_exports "sample/$module.dll" DllRegisterServer DllUnregisterServer
done

[ "$failures" = 0 ] || { echo "$failures module table check(s) failed"; exit 1; }
