#!/usr/bin/env bash
# One real round trip of the built program, as a user makes it: installs the sample package
# silently, checks the exit code, the Add/Remove Programs entry and the files, then runs the
# recorded UninstallString with dialog 118 answered by a click, and checks that the entry and the
# files are gone. Dialogs are answered through Win32 (tools/answer_dialogs), never with keys.
# Usage: round_trip.sh <wine-run.sh> <build dir> <i686|x86_64>
set -euo pipefail
run="$1"; build="$2"; arch="$3"
source "$(dirname "$0")/../../tools/wine-bench.sh"
bench_ready "$(sed -n 's/^bench_ready "\(.*\)".*/\1/p' "$run")"

winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
# The registry view and Program Files folder the program sees: a 32-bit program on 64-bit
# Windows sees Wow6432Node and "Program Files (x86)".
if [ "$arch" = i686 ]; then view=/reg:32; programs="Program Files (x86)"; else view=/reg:64; programs="Program Files"; fi
reg() { bench_wine reg "$@" "$view"; }
fail() { echo "FAIL: $*"; exit 1; }

package="$build/package"
# TOLLIX_ANSWERER may name a dialog answerer of the machine's own architecture: under emulation
# every 32-bit start costs about a minute, and the answerer need not be the shipped build.
answer="$(winpath "${TOLLIX_ANSWERER:-$build/tools/answer_dialogs.exe}")"
product=$(sed -n 's/^Product=//p' "$package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
vendor=$(sed -n 's/^Vendor=//p' "$package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
vendor_folder="$WINEPREFIX/drive_c/$programs/$vendor/$product"
runtime_folder="$WINEPREFIX/drive_c/$programs/Nimbrel/Tollix Runtime"
echo "== round trip of the $arch build: $build/TollixInstaller.exe =="

echo "== install: TollixInstaller.exe /S from the package folder =="
out=$(cd "$package" && "$run" "$answer" --timeout 900 -- "$(winpath "$package/TollixInstaller.exe")" /S | tr -d '\r') || true
echo "$out"
grep -qx 'exit code: 0' <<<"$out" || fail "the install did not end with exit code 0"
grep -q '^dialog:' <<<"$out" && fail "a silent install showed a dialog"
reg query "$arp" /v UninstallString >/dev/null 2>&1 || fail "no Add/Remove Programs entry $arp"
for file in "$vendor_folder/Uninstaller.exe" "$vendor_folder/TollixBHO.dll" "$runtime_folder/Tollix.dll"; do
  [ -f "$file" ] || fail "not installed: ${file#"$WINEPREFIX/drive_c/"}"
done
echo "installed: the entry, ${vendor_folder#"$WINEPREFIX/"}, ${runtime_folder#"$WINEPREFIX/"}"

uninstall=$(reg query "$arp" /v UninstallString | sed -n 's/.*UninstallString *REG_SZ *//p' | tr -d '\r')
echo "== uninstall: $uninstall =="
program=$(printf '%s' "$uninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
[ -n "$program" ] || fail "the UninstallString does not start with a quoted program path"
options=${uninstall#"\"$program\""}
# No status ping from the bench: the edition without its install id sends none.
sed -i '/^InstallId=/d' "$vendor_folder/TollixSystemInfo.ini"
# shellcheck disable=SC2086 # the options are separate words
out=$("$run" "$answer" --timeout 900 --answer "Toolbar Uninstallation=1" -- "$program" $options | tr -d '\r') || true
echo "$out"
grep -qx 'exit code: 0' <<<"$out" || fail "the uninstall did not end with exit code 0"
grep -q '^dialog: "Toolbar Uninstallation" .* answered$' <<<"$out" || fail "dialog 118 was not shown and answered"
reg query "$arp" >/dev/null 2>&1 && fail "the Add/Remove Programs entry is still there"
[ -e "$vendor_folder/TollixBHO.dll" ] && fail "the product's files are still there"
[ -e "$runtime_folder" ] && fail "the runtime's folder is still there"
echo "uninstalled: the entry and the files are gone"
echo "round trip of the $arch build: passed"
