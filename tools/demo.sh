#!/usr/bin/env bash
# The main job: sets up what is missing, builds the shipped 32-bit program and the sample
# edition's package, installs the package silently under Wine, shows what was installed (the
# debugger module's log, the Add/Remove Programs entry, the files), then uninstalls it through
# the recorded UninstallString with dialog 118 answered, and shows that the machine is clean.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
# Only what the job needs; the test command builds the rest of the tree.
cmake --build build -j"$(nproc)" --target TollixInstaller KLP_DebuggerDLL tollix_sample answer_dialogs
if [ "$(cat /tmp/tollix-32bit-mode)" = none ]; then
  echo "demo: this machine cannot start 32-bit programs (see tools/setup.sh's warning)" >&2
  exit 1
fi
if [ "$(cat /tmp/tollix-32bit-mode)" != native ]; then
  echo "note: this kernel cannot start 32-bit programs; Wine's 32-bit side runs under emulation,"
  echo "      so each start of the program takes a minute or two (the first run also makes the prefix)."
fi
source tools/wine-bench.sh
bench_ready "$PWD/build/wine"

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
reg32() { bench_wine reg "$@" /reg:32; }
package="$PWD/build/package"
log="$BENCH_DIR/demo.log"
rm -f "$log"
result=0
product=$(sed -n 's/^Product=//p' "$package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# The debugger module, on for this program, logging to the demo's log file.
reg32 add 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /d "$(winpath "$PWD/build/debugger/KLP_DebuggerDLL.dll")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\KLP Debugger' /v LogFile /d "$(winpath "$log")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\Content Debugger' /v 'Tollix Installer' /d 1 /f >/dev/null

# The dialog answerer starts the program, answers its dialogs with clicks (never with keys) and
# reports the program's Windows exit code.
answer_exe=$(winpath "$PWD/build/tools/answer_dialogs.exe")
answer() { wine "$answer_exe" --timeout 900 "$@" | tr -d '\r'; }

echo "== installing $product silently from $package =="
out=$(cd "$package" && answer -- "$(winpath "$package/TollixInstaller.exe")" /S) || true
echo "$out"
grep -qx 'exit code: 0' <<<"$out" || result=1
echo "== the installer's log =="
cat "$log" 2>/dev/null || echo "(no log)"
echo "== the Add/Remove Programs entry =="
reg32 query "$arp" || true
echo "== the installed files =="
find "$WINEPREFIX/drive_c" -path '*Acme*' -o -path '*Toolbar Runtime*' 2>/dev/null | sed "s|$WINEPREFIX/drive_c|C:|" | sort | head -60

uninstall=$(reg32 query "$arp" /v UninstallString 2>/dev/null | sed -n 's/.*UninstallString *REG_SZ *//p' | tr -d '\r')
if [ -n "$uninstall" ]; then
  echo "== uninstalling: $uninstall =="
  : >"$log"
  # The command is the quoted program path followed by its options. A user answers dialog 118
  # with its default choice, "Toolbar Uninstallation: ", and the Uninstall button.
  program=$(printf '%s' "$uninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
  options=${uninstall#"\"$program\""}
  # shellcheck disable=SC2086 # the options are separate words
  out=$(answer --answer "Toolbar Uninstallation=1" -- "$program" $options) || true
  echo "$out"
  grep -qx 'exit code: 0' <<<"$out" || result=1
  echo "== the uninstaller's log =="
  cat "$log" 2>/dev/null || echo "(no log)"
  echo "== what is left =="
  if reg32 query "$arp" >/dev/null 2>&1; then
    echo "Add/Remove Programs entry still there"
    result=1
  else
    echo "Add/Remove Programs entry: gone"
  fi
  left=$(find "$WINEPREFIX/drive_c" -path '*Acme*' 2>/dev/null | wc -l)
  echo "files of the product left: $left"
else
  echo "no Add/Remove Programs entry was written"
  result=1
fi
reg32 delete 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /f >/dev/null 2>&1 || true
exit $result
