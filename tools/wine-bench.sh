#!/usr/bin/env bash
# The Wine bench of a build tree: a private prefix, a display (Xvfb and a window manager when
# none is set) and one persistent wineserver. Source it, then call bench_ready <bench dir>.
# Every step takes a lock, so parallel first uses cannot race; what runs on in the background
# must not inherit the lock's descriptor (9).

bench_ready() {
  # Wine maps file names through the locale: names with non-ASCII letters need UTF-8, whatever
  # the caller's environment says.
  export LANG=C.UTF-8 LC_ALL=C.UTF-8
  export BENCH_DIR="$1"
  mkdir -p "$BENCH_DIR"
  export WINEPREFIX="$BENCH_DIR/prefix"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  unset WINEARCH
  (
    flock 9
    bench_display
    bench_prefix
    wineserver -p >/dev/null 2>&1 9>&- || true   # persistent: process starts stay cheap
    # Wine's background services outlive the first program; start them here, away from the
    # caller's output pipes, or a test runner would wait for those pipes forever.
    if [ ! -f "$BENCH_DIR/services" ] || ! pgrep -f 'system32\\services.exe' >/dev/null; then
      DISPLAY="$(cat "$BENCH_DIR/display")" bench_wine cmd /c exit >/dev/null 2>&1 </dev/null 9>&- || true
      touch "$BENCH_DIR/services"
    fi
  ) 9>"$BENCH_DIR/lock"
  export DISPLAY="$(cat "$BENCH_DIR/display")"
}

# Xvfb plus openbox: without a window manager Wine waits about 2 s whenever a window closes.
bench_display() {
  if [ -f "$BENCH_DIR/display" ] && xdpyinfo -display "$(cat "$BENCH_DIR/display")" >/dev/null 2>&1; then
    return
  fi
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    echo "$DISPLAY" >"$BENCH_DIR/display"
    return
  fi
  local n
  for n in $(seq 90 130); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$BENCH_DIR/xvfb.log" 2>&1 </dev/null 9>&- &
    for _ in $(seq 50); do xdpyinfo -display ":$n" >/dev/null 2>&1 && break; sleep 0.1; done
    if xdpyinfo -display ":$n" >/dev/null 2>&1; then
      echo ":$n" >"$BENCH_DIR/display"
      if command -v openbox >/dev/null; then
        DISPLAY=":$n" setsid openbox >"$BENCH_DIR/openbox.log" 2>&1 </dev/null 9>&- &
        sleep 0.3
      fi
      return
    fi
  done
  echo "wine-bench: no display could be started" >&2
  return 1
}

bench_prefix() {
  [ -f "$WINEPREFIX/.bench-ready" ] && return
  # A half-made prefix (an earlier attempt was stopped): end its server before starting over.
  wineserver -k >/dev/null 2>&1 9>&- || true
  rm -rf "$WINEPREFIX"
  DISPLAY="$(cat "$BENCH_DIR/display")" bench_wine wineboot -i >"$BENCH_DIR/wineboot.log" 2>&1 9>&-
  # A crashing program must end at once instead of waiting on Wine's crash dialog.
  DISPLAY="$(cat "$BENCH_DIR/display")" bench_wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1 9>&-
  wineserver -w 9>&-
  touch "$WINEPREFIX/.bench-ready"
}

# Wine's own tools: through the 64-bit loader when there is one (it starts natively even where
# 32-bit programs need emulation).
bench_wine() {
  if [ -x /usr/lib/wine/wine64 ]; then
    WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"
  else
    wine "$@"
  fi
}

bench_stop() {
  WINEPREFIX="$1/prefix" wineserver -k >/dev/null 2>&1 || true
}
