#!/usr/bin/env bash
# The main job: sets up what is missing, builds the shipped 32-bit program and the sample
# edition's package, installs the package silently under Wine, shows what was installed (the
# debugger module's log, the Add/Remove Programs entry, the files), then uninstalls it through
# the recorded UninstallString with dialog 118 answered, and shows that the machine is clean.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOLLIX_BUILD_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
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
product=$(sed -n 's/^Product=//p' "$package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"

# The debugger module, on for this program, logging to the demo's log file.
reg32 add 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /d "$(winpath "$PWD/build/debugger/KLP_DebuggerDLL.dll")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\KLP Debugger' /v LogFile /d "$(winpath "$log")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\Content Debugger' /v 'Tollix Installer' /d 1 /f >/dev/null

echo "== installing $product silently from $package =="
set +e
(cd "$package" && wine TollixInstaller.exe /S)
rc=$?
set -e
echo "exit code: $rc"
echo "== the installer's log =="
cat "$log"
echo "== the Add/Remove Programs entry =="
reg32 query "$arp" || true
echo "== the installed files =="
find "$WINEPREFIX/drive_c" -path '*Acme*' -o -path '*Toolbar Runtime*' 2>/dev/null | sed "s|$WINEPREFIX/drive_c|C:|" | sort | head -60

uninstall=$(reg32 query "$arp" /v UninstallString 2>/dev/null | sed -n 's/.*UninstallString *REG_SZ *//p' | tr -d '\r')
if [ -n "$uninstall" ]; then
  echo "== uninstalling: $uninstall =="
  : >"$log"
  # A user answers dialog 118 with its default choice, "Toolbar Uninstallation: ".
  (
    id=$(DISPLAY="$DISPLAY" timeout 600 xdotool search --sync --name '^Toolbar Uninstallation$' | head -1)
    sleep 1
    DISPLAY="$DISPLAY" xdotool key --window "$id" Return
  ) &
  clicker=$!
  # The command is the quoted program path followed by its options.
  program=$(printf '%s' "$uninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
  options=${uninstall#\"$program\"}
  set +e
  # shellcheck disable=SC2086 # the options are separate words
  wine "$program" $options
  rc=$?
  set -e
  wait $clicker 2>/dev/null || true
  echo "exit code: $rc"
  echo "== the uninstaller's log =="
  cat "$log"
  echo "== what is left =="
  reg32 query "$arp" >/dev/null 2>&1 && echo "Add/Remove Programs entry still there" || echo "Add/Remove Programs entry: gone"
  left=$(find "$WINEPREFIX/drive_c" -path '*Acme*' 2>/dev/null | wc -l)
  echo "files of the product left: $left"
fi
reg32 delete 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /f >/dev/null 2>&1 || true
