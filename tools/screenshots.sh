#!/usr/bin/env bash
# Takes a picture of every box and dialog the installer can show, from the real program under
# Wine on a private Xvfb display, into docs/screenshots/. Each picture comes from a run of
# TollixInstaller.exe (or its Uninstaller.exe) in the situation that brings that window up; the
# dialog answerer holds the window until its picture is taken and then answers it through Win32
# (BM_CLICK), as the tests do. Only the window itself is captured, by its X window id.
# Usage: tools/screenshots.sh [situation]...   (default: all of them; the names are those of the
# pictures without .png, e.g. toolbar-uninstallation). SCREENSHOTS_DIR names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$(realpath -m "${SCREENSHOTS_DIR:-docs/screenshots}")
wanted=" $* "
# Whether a situation is to be run: all of them without arguments, else the named ones.
wants() {
  local name
  [ "$wanted" = "  " ] && return 0
  for name in "$@"; do [[ $wanted == *" $name "* ]] && return 0; done
  return 1
}

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
# The pictures are of the shipped 32-bit program. Where 32-bit programs start only under
# emulation, the dialog answerer (a bench tool) comes from the 64-bit build, which starts at
# native speed and finds and clicks the 32-bit program's windows all the same.
answer_build=build
answer_loader=wine
if [ "$(cat /tmp/tollix-32bit-mode)" != native ]; then
  answer_build=build-x64
  answer_loader=/usr/lib/wine/wine64   # the plain loader is 32-bit and would start under emulation first
  cmake -S . -B build-x64 -DCMAKE_BUILD_TYPE=Release -DTOLLIX_ARCH=x86_64 >/dev/null
  cmake --build build-x64 -j"$(nproc)" --target answer_dialogs
fi

# A bench of its own, so the test bench stays untouched; its prefix is kept from run to run (no
# situation leaves anything behind; what an interrupted run may have left is cleared below).
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
# A run that ended half-way may have left the edition installed: start from a fresh prefix then.
if grep -qs 'Uninstall\\\\Acme Toolbar\]' "$bench/prefix/system.reg"; then rm -rf "$bench/prefix"; fi
mkdir -p "$bench"
rm -f "$bench/display"
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
for key in 'HKCR\CLSID\InstallerTestKeyTriedToDetermineWriteAccess' 'HKLM\Software\Acme'; do
  bench_wine reg delete "$key" /f /reg:32 >/dev/null 2>&1 || true
done
bench_wine reg delete 'HKCU\Software\Wine\AppDefaults\TollixInstaller.exe' /f >/dev/null 2>&1 || true

package="$root/build/package"
installer=$(winpath "$package/TollixInstaller.exe")
answer_exe=$(winpath "$root/$answer_build/tools/answer_dialogs.exe")
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
  (cd "$folder" && exec "$answer_loader" "$answer_exe" --timeout 1800 --hold-until "$(winpath "$hold")" "$@") \
    >"$log" 2>&1 &
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

# Every situation is made without a real install: the program sees only what it reads, so a
# version value or a test key stands in for a whole machine's history, and each run is one start
# of the program.
product_key='HKLM\Software\Acme\Acme Toolbar'

if wants insufficient-permissions; then
  echo "== no write access to HKEY_CLASSES_ROOT\\CLSID (the user is not an administrator) =="
  # Write access cannot be taken away under Wine; a test key that cannot be deleted fails the
  # program's administrator test the same way.
  testkey='HKCR\CLSID\InstallerTestKeyTriedToDetermineWriteAccess'
  reg32 add "$testkey\\Blocker" /v X /t REG_DWORD /d 1 /f
  shoot "$package" 1 "Insufficient Permissions=insufficient-permissions.png" -- -- "$installer" /S
  reg32 delete "$testkey" /f
fi

if wants insufficient-requirements; then
  echo "== Windows NT 4.0 (older than Windows 2000) =="
  bench_wine reg add 'HKCU\Software\Wine\AppDefaults\TollixInstaller.exe' /v Version /d nt40 /f >/dev/null
  shoot "$package" 1 "Insufficient requirements=insufficient-requirements.png" -- -- "$installer" /S
  bench_wine reg delete 'HKCU\Software\Wine\AppDefaults\TollixInstaller.exe' /f >/dev/null
fi

if wants unsupported-upgrade; then
  echo "== the edition installed at 1.0.0.73, installing with /i ARVO_TheARVO_1_0_0... =="
  reg32 add "$product_key" /v Version /t REG_DWORD /d 0x01000049 /f
  shoot "$package" 1 "Unsupported Upgrade.=unsupported-upgrade.png" -- -- "$installer" /S /i ARVO_TheARVO_1_0_0_Acme
  reg32 delete 'HKLM\Software\Acme' /f
fi

if wants latest-version-already-exists; then
  echo "== the edition installed at 3.8.1.6, installing the package's 3.8.1.5 without /S =="
  reg32 add "$product_key" /v Version /t REG_DWORD /d 0x03080106 /f
  shoot "$package" 0 "Latest Version Already Exists =latest-version-already-exists.png" -- -- "$installer"
  reg32 delete 'HKLM\Software\Acme' /f
fi

if wants toolbar-uninstallation; then
  echo "== uninstalling (/u): dialog 118 (answered Cancel) =="
  shoot "$package" 0 "Toolbar Uninstallation=toolbar-uninstallation.png" -- -- "$installer" /u
fi

if wants internet-explorer-running-install internet-explorer-running-uninstall; then
  if [ "$(cat /tmp/tollix-32bit-mode)" != native ]; then
    # Measured: under qemu-i386 the program's process scan saw no module of the stand-in browser
    # (an install without /S went through without asking), so the question never comes up.
    echo "screenshots: the browser questions need 32-bit programs running natively; skipped" >&2
  else
    start_browser "$(winpath "$package/Private/Runtime/ProgFiles/Tollix.dll")"
    if wants internet-explorer-running-install; then
      echo "== a browser with the toolbar loaded, installing without /S (answered No) =="
      shoot "$package" 0 "Internet Explorer Running=internet-explorer-running-install.png" -- -- "$installer"
    fi
    if wants internet-explorer-running-uninstall; then
      echo "== uninstalling (/u) while a browser has the toolbar loaded (Uninstall, then No) =="
      shoot "$package" 0 "Internet Explorer Running=internet-explorer-running-uninstall.png" \
        -- --answer "Toolbar Uninstallation=1" -- "$installer" /u
    fi
    stop_browser
  fi
fi

echo "screenshots: $(find "$out" -name '*.png' | wc -l) pictures in ${out#"$root/"}"
