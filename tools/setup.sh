#!/usr/bin/env bash
# Installs what the build and the Wine bench need on a Debian 12 machine (as root): the i386
# architecture, mingw-w64, Wine with wine32, Xvfb, openbox, CMake and GoogleTest's sources.
# Where the kernel cannot start 32-bit programs itself, 32-bit Wine runs through qemu-i386.
# --bench adds what only tools/bench.sh needs: NSIS (the peer installer).
set -euo pipefail
bench=no
[ "${1:-}" = --bench ] && bench=yes

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686-posix)
command -v cmake >/dev/null || need+=(cmake)
command -v clang-format >/dev/null || need+=(clang-format)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
[ -x /usr/lib/wine/wine ] || need+=(wine wine32:i386)
command -v Xvfb >/dev/null || need+=(xvfb)
command -v xdpyinfo >/dev/null || need+=(x11-utils)
command -v openbox >/dev/null || need+=(openbox)
command -v flock >/dev/null || need+=(util-linux)
# The test suite runs from a 64-bit build under Wine's 64-bit side (see README).
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64-posix)
if [ "$bench" = yes ]; then
  command -v makensis >/dev/null || need+=(nsis)
fi

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

# A tiny 32-bit program (exit code 42) tells whether the kernel runs i386 binaries.
probe=$(mktemp)
python3 - "$probe" <<'PY'
import struct, sys
code = bytes([0xb8, 1, 0, 0, 0, 0xbb, 42, 0, 0, 0, 0xcd, 0x80])
entry = 0x08048000 + 52 + 32
elf = b'\x7fELF' + bytes([1, 1, 1, 0]) + b'\0' * 8
elf += struct.pack('<HHIIIIIHHHHHH', 2, 3, 1, entry, 52, 0, 0, 52, 32, 1, 0, 0, 0)
size = 52 + 32 + len(code)
elf += struct.pack('<IIIIIIII', 1, 0, 0x08048000, 0x08048000, size, size, 5, 0x1000) + code
open(sys.argv[1], 'wb').write(elf)
PY
chmod +x "$probe"
set +e
"$probe" 2>/dev/null
rc=$?
set -e
if [ "$rc" != 42 ]; then
  echo "setup: this kernel does not start 32-bit programs; using qemu-i386 for them"
  [ -x /usr/bin/qemu-i386-static ] ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ -w /proc/sys/fs/binfmt_misc/register ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >/proc/sys/fs/binfmt_misc/register 2>/dev/null || true
  fi
  set +e
  "$probe" 2>/dev/null
  rc=$?
  set -e
  if [ "$rc" = 42 ]; then
    mode=emulated
  else
    echo "setup: warning: 32-bit programs cannot run here (no binfmt_misc for qemu-i386);" >&2
    echo "setup: the 64-bit test suite still runs, the 32-bit program cannot be started" >&2
    mode=none
  fi
elif grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386; then
  mode=emulated   # registered by an earlier run
else
  mode=native
fi
rm -f "$probe"
echo "$mode" >/tmp/tollix-32bit-mode
