#!/usr/bin/env bash
# Reads what we ship on the build machine (nothing is started): the program stays small (at
# most 128 KiB), and the program, the debugger module and the sample edition are stripped, link
# no member of the C++ library and none of MinGW's own printf (their linker maps say which
# archive members went in), and take their text formatting from the Windows run-time.
# Usage: shipped_size.sh <objdump> <build dir>
set -euo pipefail
objdump="$1"; build="$2"
limit=$((128 * 1024))
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Archive members that must never be linked into a shipped module.
refused_members() {
  grep -oE '(libstdc\+\+|libsupc\+\+)\.a\([^)]*\)|mingw_(pformat|[a-z]*printf)[a-z0-9_]*\.o' "$1" | sort -u || true
}

# Functions imported from one DLL, one a line.
imported_from() {
  "$objdump" -p "$1" | awk -v dll="$2" '
    /^[[:space:]]*DLL Name:/ { inside = (tolower($3) == tolower(dll)); next }
    inside && /^[[:space:]]*$/ { inside = 0 }
    inside && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print $3 }'
}

check_module() {
  local module="$build/$1"
  if [ ! -f "$module" ]; then fail "$module was not built"; return; fi
  local name; name=$(basename "$module")
  local before=$failures
  if "$objdump" -t "$module" | grep -q '^\[' || ! "$objdump" -t "$module" | grep -q 'no symbols'; then
    fail "$name is not stripped (it has a symbol table)"
  fi
  if "$objdump" -h "$module" | grep -q '\.debug_'; then fail "$name carries debug sections"; fi
  if [ ! -f "$module.map" ]; then
    fail "no linker map beside $name"
  else
    local members; members=$(refused_members "$module.map")
    [ -z "$members" ] || fail "$name links $(echo $members)"
  fi
  local dlls; dlls=$("$objdump" -p "$module" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/\1/p')
  if grep -qiE 'libstdc|libgcc|libwinpthread|msvcp' <<<"$dlls"; then
    fail "$name imports $(grep -iE 'libstdc|libgcc|libwinpthread|msvcp' <<<"$dlls" | tr '\n' ' ')"
  fi
  if [ "$failures" = "$before" ]; then
    echo "ok: $name: stripped, no C++ library, no MinGW printf ($(stat -c %s "$module") bytes)"
  fi
}

program="$build/TollixInstaller.exe"
if [ -f "$program" ]; then
  size=$(stat -c %s "$program")
  if [ "$size" -gt "$limit" ]; then
    fail "TollixInstaller.exe is $size bytes, more than $limit"
  else
    echo "ok: TollixInstaller.exe is $size bytes (at most $limit)"
  fi
  # The formatting the program does comes from msvcrt.dll itself.
  formatting=$(imported_from "$program" msvcrt.dll | grep -xE '_vsnprintf|_snprintf|wsprintfA|wvsprintfA' || true)
  formatting+=$(imported_from "$program" user32.dll | grep -xE 'wsprintfA|wvsprintfA' || true)
  if [ -n "$formatting" ]; then
    echo "ok: TollixInstaller.exe formats through $(echo $formatting)"
  else
    fail "TollixInstaller.exe imports no formatting function of the Windows run-time"
  fi
else
  fail "$program was not built"
fi

check_module TollixInstaller.exe
check_module debugger/KLP_DebuggerDLL.dll
for module in "$build"/sample/*.dll "$build"/sample/*.exe; do
  check_module "sample/$(basename "$module")"
done

[ "$failures" = 0 ] || { echo "$failures check(s) of the shipped modules failed"; exit 1; }
