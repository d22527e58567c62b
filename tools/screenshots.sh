#!/usr/bin/env bash
# Takes a picture of every box and dialog the installer can show, from the real program under
# Wine on a private Xvfb display, into docs/screenshots/. Each picture comes from a run of
# TollixInstaller.exe (or its Uninstaller.exe) in the situation that brings that window up; the
# dialog answerer holds the window until its picture is taken and then answers it through Win32
# (BM_CLICK), as the tests do. Only the window itself is captured, by its X window id.
# Usage: tools/screenshots.sh [output folder]   (default docs/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${1:-docs/screenshots}")

tools/setup.sh
# Only for the pictures: ImageMagick takes them; Wine's own fonts draw the caption buttons and
# the dialog font as Windows does (without them Wine falls back to the system's fonts).
need=()
command -v import >/dev/null || need+=(imagemagick)
[ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
if [ ${#need[@]} -gt 0 ]; then
  echo "screenshots: installing ${need[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
if [ "$(cat /tmp/tollix-32bit-mode)" = none ]; then
  echo "screenshots: this machine cannot start 32-bit programs (see tools/setup.sh's warning)" >&2
  exit 1
fi
# A 32-bit process start under emulation takes a minute or two: give each wait room.
wait_s=60
[ "$(cat /tmp/tollix-32bit-mode)" = native ] || wait_s=600

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target TollixInstaller KLP_DebuggerDLL tollix_sample answer_dialogs \
  stand_in_browser

# A bench of its own, made afresh: a clean machine for every run and the test bench untouched.
bench="$root/build/screenshots"
source tools/wine-bench.sh
xvfb_pid=""
browser_pid=""
cleanup() {
  [ -z "$browser_pid" ] || kill "$browser_pid" 2>/dev/null || true
  bench_stop "$bench"
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
bench_stop "$bench"   # a server left by a stopped run
rm -rf "$bench"
mkdir -p "$bench"
for n in $(seq 140 180); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$bench/xvfb.log" 2>&1 </dev/null &
  xvfb_pid=$!
  for _ in $(seq 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
  if xdpyinfo -display ":$n" >/dev/null 2>&1; then
    export DISPLAY=":$n"
    break
  fi
  kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=""
done
[ -n "$xvfb_pid" ] || { echo "screenshots: no display could be started" >&2; exit 1; }
bench_ready "$bench"

# shellcheck disable=SC1003 # a backslash in single quotes is meant
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
reg32() { bench_wine reg "$@" /reg:32 >/dev/null; }
fail() { echo "screenshots: FAIL: $*" >&2; exit 1; }

# Wine draws the windows' frames itself, as Windows does, instead of leaving them to a window
# manager; the debugger module logs every run into the bench.
bench_wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
reg32 add 'HKLM\Software\Nimbrel' /v ContentDebuggerDLL /d "$(winpath "$root/build/debugger/KLP_DebuggerDLL.dll")" /f
bench_wine reg add 'HKCU\Software\Nimbrel\KLP Debugger' /v LogFile /d "$(winpath "$bench/installer.log")" /f >/dev/null
bench_wine reg add 'HKCU\Software\Nimbrel\Content Debugger' /v 'Tollix Installer' /d 1 /f >/dev/null

package="$root/build/package"
installer=$(winpath "$package/TollixInstaller.exe")
answer_exe=$(winpath "$root/build/tools/answer_dialogs.exe")
hold="$bench/hold"
mkdir -p "$out"

# Takes the picture of the shown window with this title.
capture() {
  local title=$1 file=$2 id="" info=""
  rm -f "$out/$file"
  for _ in $(seq 100); do
    info=$(xwininfo -name "$title" 2>/dev/null) || true
    id=$(sed -n 's/^xwininfo: Window id: \(0x[0-9a-f]*\).*/\1/p' <<<"$info")
    [ -n "$id" ] && grep -q 'Map State: IsViewable' <<<"$info" && break
    id=""
    sleep 0.1
  done
  [ -n "$id" ] || fail "no window titled \"$title\" on the display"
  # The window is shown before it is painted (slowly under emulation): take pictures until two
  # in a row are the same and it has more colours than a blank frame (one or two).
  local shot="$bench/shot.png" previous="$bench/previous.png" colours=0
  rm -f "$previous"
  for _ in $(seq 60); do
    sleep 0.5
    import -window "$id" -strip -define png:exclude-chunks=date,time "$shot"
    colours=$(identify -format %k "$shot")
    if [ "$colours" -gt 8 ] && [ -f "$previous" ] && cmp -s "$shot" "$previous"; then
      mv "$shot" "$out/$file"
      break
    fi
    mv "$shot" "$previous"
  done
  [ -f "$out/$file" ] || fail "$file: the window did not settle into a painted picture ($colours colours)"
  echo "  $file: \"$title\" ($(identify -format '%wx%h' "$out/$file"))"
}

# Runs a program through the dialog answerer from a folder, holding every dialog it shows until
# the picture named for its title (if any) is taken, and checks the program's exit code.
#   shoot <folder> <exit code> [<title>=<picture>]... -- [answer_dialogs options] -- <program> [args]
shoot() {
  local folder=$1 expected=$2
  shift 2
  local -A pictures=()
  while [ "$1" != -- ]; do
    pictures["${1%=*}"]="${1##*=}"
    shift
  done
  shift
  local log="$bench/answer.out" pid seen=0 title lines=()
  rm -f "$log" "$hold"
  (cd "$folder" && exec wine "$answer_exe" --timeout 1800 --hold-until "$(winpath "$hold")" "$@") >"$log" 2>&1 &
  pid=$!
  while :; do
    mapfile -t lines < <(tr -d '\r' <"$log" | grep '^showing: ".*"$' || true)
    while [ "$seen" -lt ${#lines[@]} ]; do
      title=${lines[$seen]#showing: \"}
      title=${title%\"}
      if [ -n "${pictures[$title]+set}" ]; then
        capture "$title" "${pictures[$title]}"
        unset "pictures[$title]"
      fi
      touch "$hold"
      for _ in $(seq $((wait_s * 10))); do [ -e "$hold" ] || break; sleep 0.1; done
      seen=$((seen + 1))
    done
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  wait "$pid" || true
  tr -d '\r' <"$log" | grep -v '^showing: ' | sed 's/^/    /'
  [ ${#pictures[@]} -eq 0 ] || fail "not shown: ${!pictures[*]}"
  tr -d '\r' <"$log" | grep -qx "exit code: $expected" || fail "the run did not end with exit code $expected"
}

# A stand-in for Internet Explorer with a toolbar module loaded (it stays until it is ended).
start_browser() {
  local ready="$bench/browser-ready"
  rm -f "$ready"
  wine "$(winpath "$root/build/fixtures/stand_in_browser.exe")" "$1" none "$(winpath "$ready")" 3600 \
    >/dev/null 2>&1 &
  browser_pid=$!
  for _ in $(seq $((wait_s * 10))); do [ -e "$ready" ] && return; sleep 0.1; done
  fail "the stand-in browser did not load $1"
}
stop_browser() {
  kill "$browser_pid" 2>/dev/null || true
  wait "$browser_pid" 2>/dev/null || true
  browser_pid=""
}

echo "== no write access to HKEY_CLASSES_ROOT\\CLSID (the user is not an administrator) =="
# Write access cannot be taken away under Wine; a test key that cannot be deleted fails the
# program's administrator test the same way.
testkey='HKCR\CLSID\InstallerTestKeyTriedToDetermineWriteAccess'
reg32 add "$testkey\\Blocker" /v X /t REG_DWORD /d 1 /f
shoot "$package" 1 "Insufficient Permissions=insufficient-permissions.png" -- -- "$installer" /S
reg32 delete "$testkey" /f

echo "== Windows NT 4.0 (older than Windows 2000) =="
bench_wine reg add 'HKCU\Software\Wine\AppDefaults\TollixInstaller.exe' /v Version /d nt40 /f >/dev/null
shoot "$package" 1 "Insufficient requirements=insufficient-requirements.png" -- -- "$installer" /S
bench_wine reg delete 'HKCU\Software\Wine\AppDefaults\TollixInstaller.exe' /f >/dev/null

echo "== an Arvo edition older than 1.0.0.74 installed, installing with /i ARVO_TheARVO_1_0_0... =="
reg32 add 'HKLM\Software\Acme\Acme Toolbar' /v Version /t REG_DWORD /d 0x01000049 /f
shoot "$package" 1 "Unsupported Upgrade.=unsupported-upgrade.png" -- -- "$installer" /S /i ARVO_TheARVO_1_0_0_Acme
reg32 delete 'HKLM\Software\Acme' /f

echo "== Internet Explorer running with the toolbar loaded, installing without /S (answered No) =="
start_browser "$(winpath "$package/Private/Runtime/ProgFiles/Tollix.dll")"
shoot "$package" 0 "Internet Explorer Running=internet-explorer-running-install.png" -- -- "$installer"
stop_browser

echo "== the sample edition installed silently =="
shoot "$package" 0 -- -- "$installer" /S
product=$(sed -n 's/^Product=//p' "$package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
uninstall=$(bench_wine reg query "$arp" /v UninstallString /reg:32 | sed -n 's/.*UninstallString *REG_SZ *//p' | tr -d '\r')
uninstaller=$(printf '%s' "$uninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
[ -n "$uninstaller" ] || fail "no UninstallString was recorded for $product"
options=${uninstall#"\"$uninstaller\""}

echo "== an older package over the installed one, without /S =="
older="$bench/older-package"
cp -r "$package" "$older"
sed -i 's/^ProductVersion=[^\r]*/ProductVersion=3.8.1.4/' "$older/Private/Vendor/ProgFiles/TollixSystemInfo.ini"
shoot "$older" 0 "Latest Version Already Exists =latest-version-already-exists.png" -- \
  -- "$(winpath "$older/TollixInstaller.exe")"

echo "== the recorded UninstallString while Internet Explorer runs with the toolbar (answered No) =="
# The 32-bit program's Program Files on 64-bit Windows.
[ -f "$WINEPREFIX/drive_c/Program Files (x86)/Nimbrel/Tollix Runtime/Tollix.dll" ] || fail "the runtime was not installed"
start_browser 'C:\Program Files (x86)\Nimbrel\Tollix Runtime\Tollix.dll'
# shellcheck disable=SC2086 # the options are separate words
shoot "$bench" 0 "Toolbar Uninstallation=toolbar-uninstallation.png" \
  "Internet Explorer Running=internet-explorer-running-uninstall.png" \
  -- --answer "Toolbar Uninstallation=1" -- "$uninstaller" $options
stop_browser

echo "== the uninstall, to leave the bench clean =="
# shellcheck disable=SC2086
shoot "$bench" 0 -- --answer "Toolbar Uninstallation=1" -- "$uninstaller" $options
if bench_wine reg query "$arp" /reg:32 >/dev/null 2>&1; then fail "the Add/Remove Programs entry is still there"; fi

echo "screenshots: $(find "$out" -name '*.png' | wc -l) pictures in ${out#"$root/"}"
