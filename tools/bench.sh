#!/usr/bin/env bash
# The benchmark: our install and uninstall of the sample package, padded to N files in nested
# folders, beside the floor of this design (tools/bench_floor: one silent shell copy of each
# tree, rename-then-delete removal) and an NSIS installer (Debian's makensis) that copies the
# same package folders with CopyFiles and removes them with its uninstaller. Interleaved round
# by round; prints medians, min and max of wall time, CPU and peak resident memory per case
# and the ratios, and writes the measured part of docs/performance.md.
#   tools/bench.sh [--sizes "200 2000"] [--rounds 5] [--arch i686|x86_64] [--nsis yes|no]
#                  [--out <file>] [--no-build] [--report-only]
# --report-only writes the report again from the last run's results (<build>/bench/results.txt),
# for example of a run stopped before its end.
# Not a test: the test command never runs it. It runs in a Wine prefix of its own
# (<build>/bench/wine), so the suite's prefix and state are never touched.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sizes="200 2000"
rounds=5
arch=auto
out="$root/docs/performance.md"
build_first=yes
nsis=auto
report_only=no
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes="$2"; shift 2 ;;
    --rounds) rounds="$2"; shift 2 ;;
    --arch) arch="$2"; shift 2 ;;
    --out) out="$2"; shift 2 ;;
    --no-build) build_first=no; shift ;;
    --nsis) nsis="$2"; shift 2 ;;
    --report-only) report_only=yes; build_first=no; shift ;;
    *) echo "usage: tools/bench.sh [--sizes \"200 2000\"] [--rounds 5] [--arch i686|x86_64] [--nsis yes|no] [--out file] [--no-build] [--report-only]" >&2; exit 2 ;;
  esac
done

tools/setup.sh --bench
mode=$(cat /tmp/tollix-32bit-mode)
# The shipped program is the i686 build. Where 32-bit programs run only under emulation, ours
# and the floor come from the x86_64 build of the same sources (NSIS has 32-bit stubs only, so
# it runs emulated there and its figures are not comparable).
if [ "$arch" = auto ]; then
  if [ "$mode" = native ]; then arch=i686; else arch=x86_64; fi
fi
if [ "$arch" = i686 ]; then build="$root/build"; else build="$root/build-x64"; fi
# NSIS makes 32-bit installers only: under emulation one run of it takes minutes (a 30-file
# install took 9 minutes on such a machine), so there it runs only when asked for.
if [ "$nsis" = auto ]; then
  if [ "$mode" = native ]; then nsis=yes; else nsis=no; fi
fi
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOLLIX_ARCH="$arch" -DTOLLIX_BUILD_TESTS=OFF >/dev/null
fi
[ "$build_first" = no ] || cmake --build "$build" -j2 --target TollixInstaller tollix_sample answer_dialogs bench_floor >/dev/null

source tools/wine-bench.sh
bench_ready "$build/bench/wine"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
# Our program and the floor start through the loader of their build; NSIS's 32-bit programs
# through wine, which picks the loader itself.
run_ours() {
  if [ "$arch" = x86_64 ]; then WINELOADER=/usr/lib/wine/wine64 /usr/lib/wine/wine64 "$@"; else wine "$@"; fi
}
run_nsis() { wine "$@"; }
if [ "$arch" = i686 ]; then view=/reg:32; programs="Program Files (x86)"; else view=/reg:64; programs="Program Files"; fi
drive="$WINEPREFIX/drive_c"

# ---- measuring one run -------------------------------------------------------------------
# CPU: every process the run starts is kept in a cgroup of its own (a Windows program that
# Wine starts for another is not a child the shell could wait for); the prefix's wineserver,
# which does part of every file operation, is counted apart. Peak memory: the highest VmHWM of
# the run's processes, read every 20 ms.
cgroup=""
cpu_file=""
for candidate in /sys/fs/cgroup/cpuacct /sys/fs/cgroup; do
  if [ -f "$candidate/cgroup.procs" ] && mkdir -p "$candidate/tollix-bench-$$" 2>/dev/null; then
    cgroup="$candidate/tollix-bench-$$"
    if [ -f "$cgroup/cpuacct.usage" ]; then cpu_file=cpuacct.usage; else cpu_file=cpu.stat; fi
    break
  fi
done
cleanup_cgroup() { [ -n "$cgroup" ] && rmdir "$cgroup" 2>/dev/null || true; }
trap cleanup_cgroup EXIT
cgroup_cpu_ns() {
  if [ "$cpu_file" = cpuacct.usage ]; then cat "$cgroup/cpuacct.usage"
  else echo $(( $(sed -n 's/^usage_usec //p' "$cgroup/cpu.stat") * 1000 )); fi
}
# The prefix's server works in a folder named after the prefix's device and inode.
server_dir=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
server_pid() {
  local p
  for p in $(pgrep -x 'wineserver64|wineserver' || true); do
    [ "$(basename "$(readlink "/proc/$p/cwd" 2>/dev/null)")" = "$server_dir" ] && { echo "$p"; return; }
  done
}
# Empty when the server cannot be found (between two of Wine's own restarts of it).
server_ticks() {
  local p; p=$(server_pid)
  [ -n "$p" ] && awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null || true
}
ticks_per_s=$(getconf CLK_TCK)

# measure <case> <command...>: appends "case wall_ms cpu_ms server_ms peak_kb exit" to $results.
measure() {
  local name="$1"; shift
  local before_server start end peak=0 code p hwm cpu_before=0
  [ -n "$cgroup" ] && cpu_before=$(cgroup_cpu_ns)
  before_server=$(server_ticks)
  start=$(date +%s%N)
  (
    if [ -n "$cgroup" ]; then echo "$BASHPID" >"$cgroup/cgroup.procs"; fi
    "$@"
  ) >"$work/last-run.log" 2>&1 &
  local pid=$!
  while kill -0 "$pid" 2>/dev/null; do
    if [ -n "$cgroup" ]; then
      for p in $(cat "$cgroup/cgroup.procs" 2>/dev/null); do
        hwm=$(sed -n 's/^VmHWM:[[:space:]]*\([0-9]*\).*/\1/p' "/proc/$p/status" 2>/dev/null || true)
        [ -n "$hwm" ] && [ "$hwm" -gt "$peak" ] && peak=$hwm
      done
    fi
    sleep 0.02
  done
  code=0; wait "$pid" || code=$?
  end=$(date +%s%N)
  # What the run left behind (a helper of Wine's) still counts; wait for it a bounded time.
  local waited=0
  while [ -n "$cgroup" ] && [ -n "$(cat "$cgroup/cgroup.procs")" ] && [ $waited -lt 100 ]; do
    sleep 0.05; waited=$((waited + 1))
  done
  local cpu_ms=0
  [ -n "$cgroup" ] && cpu_ms=$(( ($(cgroup_cpu_ns) - cpu_before) / 1000000 ))
  local after_server server_ms=-
  after_server=$(server_ticks)
  if [ -n "$before_server" ] && [ -n "$after_server" ] && [ "$after_server" -ge "$before_server" ]; then
    server_ms=$(( (after_server - before_server) * 1000 / ticks_per_s ))
  fi
  echo "$name $(( (end - start) / 1000000 )) $cpu_ms $server_ms $peak $code" >>"$results"
  if [ "$code" != 0 ]; then
    echo "bench: $name ended with $code:" >&2
    tail -5 "$work/last-run.log" >&2
  fi
}

# ---- the padded package ------------------------------------------------------------------
# N files in all in the edition's folders: the sample's own plus nested padding under the
# private program files, sizes drawn (with a fixed seed) from a mix like a toolbar's: many
# small texts and images, some tens of kilobytes, a few modules of hundreds of kilobytes.
make_package() {
  local n="$1" dir="$2"
  rm -rf "$dir"
  cp -a "$build/package" "$dir"
  local have pad
  have=$(find "$dir/Private" -type f | wc -l)
  pad=$((n - have))
  [ "$pad" -gt 0 ] || return 0
  head -c $((1024 * 1024)) /dev/urandom >"$work/blob"
  awk -v n="$pad" -v seed="$n" 'BEGIN {
      srand(seed)
      split("xml txt png ico dll js css dat", kinds, " ")
      for (i = 0; i < n; i++) {
        r = rand()
        if (r < 0.45) size = 200 + int(rand() * 3900)
        else if (r < 0.85) size = 4096 + int(rand() * 28672)
        else if (r < 0.98) size = 32768 + int(rand() * 98304)
        else size = 163840 + int(rand() * 450000)
        printf "%d Content/g%02d/s%d/f%04d.%s\n", size, int(i / 100), int(i / 10) % 10, i, kinds[1 + i % 8]
      }
    }' | while read -r size path; do
      mkdir -p "$dir/Private/Vendor/ProgFiles/$(dirname "$path")"
      head -c "$size" "$work/blob" >"$dir/Private/Vendor/ProgFiles/$path"
    done
}

# The four trees the program copies: package folder and where the edition puts it.
trees="Runtime/ProgFiles Runtime/AllUsersData Vendor/ProgFiles Vendor/AllUsersData"

make_nsis() {
  local dir="$1"
  local script="$work/peer.nsi"
  {
    echo 'Unicode true'
    echo 'Name "Tollix bench peer"'
    echo "OutFile \"$dir/peer-setup.exe\""
    echo 'InstallDir "$PROGRAMFILES\TollixBenchPeer"'
    echo 'RequestExecutionLevel admin'
    echo 'SilentInstall silent'
    echo 'SilentUnInstall silent'
    echo 'Section'
    echo '  SetShellVarContext all'
    local tree
    for tree in $trees; do
      local w=${tree//\//\\}
      if [[ "$tree" == */ProgFiles ]]; then
        echo "  CreateDirectory \"\$INSTDIR\\$w\""
        echo "  CopyFiles /SILENT \"\$EXEDIR\\Private\\$w\\*.*\" \"\$INSTDIR\\$w\""
      else
        echo "  CreateDirectory \"\$APPDATA\\TollixBenchPeer\\$w\""
        echo "  CopyFiles /SILENT \"\$EXEDIR\\Private\\$w\\*.*\" \"\$APPDATA\\TollixBenchPeer\\$w\""
      fi
    done
    echo '  WriteUninstaller "$INSTDIR\uninst.exe"'
    echo '  WriteRegStr HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\TollixBenchPeer" "UninstallString" "$\"$INSTDIR\uninst.exe$\""'
    echo 'SectionEnd'
    echo 'Section Uninstall'
    echo '  SetShellVarContext all'
    echo '  RMDir /r "$INSTDIR\Runtime"'
    echo '  RMDir /r "$INSTDIR\Vendor"'
    echo '  RMDir /r "$APPDATA\TollixBenchPeer"'
    echo '  DeleteRegKey HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall\TollixBenchPeer"'
    echo '  Delete "$INSTDIR\uninst.exe"'
    echo '  RMDir "$INSTDIR"'
    echo 'SectionEnd'
  } >"$script"
  makensis -V1 "$script" >/dev/null
}

product=$(sed -n 's/^Product=//p' "$build/package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
vendor=$(sed -n 's/^Vendor=//p' "$build/package/Private/Vendor/ProgFiles/TollixSystemInfo.ini" | tr -d '\r')
arp="HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$product"
reg() { bench_wine reg "$@" "$view"; }

# Every install starts from a clean machine: what an uninstall left is removed by hand (and
# said), never counted.
ensure_clean() {
  local left=""
  local path
  for path in "$drive/$programs/$vendor/$product" "$drive/$programs/Nimbrel/Tollix Runtime" \
              "$drive/ProgramData/$vendor/$product" "$drive/ProgramData/Nimbrel/Tollix Runtime" \
              "$drive/Program Files (x86)/TollixBenchPeer" "$drive/ProgramData/TollixBenchPeer" \
              "$drive/$programs/TollixBenchFloor/Runtime/ProgFiles" "$drive/$programs/TollixBenchFloor/Vendor/ProgFiles" \
              "$drive/ProgramData/TollixBenchFloor/Runtime/AllUsersData" \
              "$drive/ProgramData/TollixBenchFloor/Vendor/AllUsersData"; do
    if [ -e "$path" ]; then left+=" ${path#"$drive/"}"; rm -rf "$path"; fi
  done
  # Folders that only held what was removed (the vendor's, the floor's own) go quietly.
  for path in "$drive/$programs/$vendor" "$drive/$programs/Nimbrel" "$drive/ProgramData/$vendor" \
              "$drive/ProgramData/Nimbrel"; do
    rmdir "$path" 2>/dev/null || true
  done
  rm -rf "$drive/$programs/TollixBenchFloor" "$drive/ProgramData/TollixBenchFloor"
  if reg query "$arp" >/dev/null 2>&1; then left+=" $arp"; reg delete "$arp" /f >/dev/null 2>&1 || true; fi
  [ -z "$left" ] || echo "bench: cleaned up what a run left:$left" >&2
}

work="$build/bench"
mkdir -p "$work"
results="$work/results.txt"
if [ "$report_only" = yes ]; then
  rounds=$(awk '$1 != "size" && $1 != "warmup" { n[$1 " " $2]++ } END { m = 0; for (k in n) if (n[k] > m) m = n[k]; print m }' "$results")
  sizes=$(awk '$1 == "size" { printf "%s%s", sep, $2; sep = " " }' "$results")
  grep -q ' nsis-' "$results" && nsis=yes || nsis=no
else
: >"$results"
answer="$(winpath "$build/tools/answer_dialogs.exe")"
floor="$(winpath "$build/tools/bench_floor.exe")"

load_start=$(cut -d' ' -f1 /proc/loadavg)
echo "load $load_start" >>"$results"
for n in $sizes; do
  package="$work/package-$n"
  echo "== $n files: laying out $package =="
  make_package "$n" "$package"
  [ "$nsis" = no ] || make_nsis "$package"
  files=$(find "$package/Private" -type f | wc -l)
  mib=$(du -sm --apparent-size "$package/Private" | cut -f1)
  echo "size $n $files $mib" >>"$results"
  copy_args=()
  remove_args=()
  for tree in $trees; do
    w=${tree//\//\\}
    if [[ "$tree" == */ProgFiles ]]; then dest="C:\\$programs\\TollixBenchFloor\\$w"; else dest="C:\\ProgramData\\TollixBenchFloor\\$w"; fi
    copy_args+=("$(winpath "$package/Private/$tree")" "$dest")
    remove_args+=("$dest")
  done
  ensure_clean
  for round in $(seq 0 "$rounds"); do
    # Round 0 warms the caches and Wine's own services; it is not counted.
    tag="$n"; [ "$round" = 0 ] && tag="warmup"
    echo "-- $n files, round $round"
    (cd "$package" && measure "$tag ours-install" run_ours "$(winpath "$package/TollixInstaller.exe")" /S)
    uninstall=$(reg query "$arp" /v UninstallString 2>/dev/null | sed -n 's/.*UninstallString *REG_SZ *//p' | tr -d '\r' || true)
    program=$(printf '%s' "$uninstall" | sed -n 's/^"\([^"]*\)".*/\1/p')
    options=${uninstall#"\"$program\""}
    # No status ping from the bench: the edition without its install id sends none.
    sed -i '/^InstallId=/d' "$drive/$programs/$vendor/$product/TollixSystemInfo.ini" 2>/dev/null || true
    # shellcheck disable=SC2086 # the options are separate words
    measure "$tag ours-uninstall" run_ours "$answer" --timeout 900 --answer "Toolbar Uninstallation=1" -- "$program" $options
    ensure_clean
    measure "$tag floor-install" run_ours "$floor" copy "${copy_args[@]}"
    measure "$tag floor-uninstall" run_ours "$floor" remove "${remove_args[@]}"
    ensure_clean
    [ "$nsis" = yes ] || continue
    (cd "$package" && measure "$tag nsis-install" run_nsis "$(winpath "$package/peer-setup.exe")" /S)
    # _?= runs the uninstaller where it is, so that the run is the uninstall (without it, it
    # starts a copy of itself and ends at once).
    measure "$tag nsis-uninstall" run_nsis "C:\\Program Files (x86)\\TollixBenchPeer\\uninst.exe" /S "_?=C:\\Program Files (x86)\\TollixBenchPeer"
    # With _?= the uninstaller cannot delete itself, nor so its folder: expected, not a leftover.
    rm -rf "$drive/Program Files (x86)/TollixBenchPeer"
    ensure_clean
  done
done
fi
load_start=$(awk '$1 == "load" { print $2; exit }' "$results")
[ -n "$load_start" ] || load_start=unknown

# ---- the report --------------------------------------------------------------------------
stats() {  # stats <size> <case> <column>: median min max
  awk -v n="$1" -v c="$2" -v col="$3" '$1 == n && $2 == c && $col ~ /^[0-9]+$/ { print $col }' "$results" | sort -n |
    awk '{ v[NR] = $1 } END { if (NR == 0) { print "- - -"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%d %d %d\n", m, v[1], v[NR] }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }
table=$(mktemp)
{
  echo "| files | MiB | case | rounds | wall ms median (min-max) | CPU ms median | wineserver CPU ms | peak RSS MB | wall / floor | wall / NSIS |"
  echo "|---:|---:|---|---:|---|---:|---:|---:|---:|---:|"
  for n in $sizes; do
    read -r _ _ files mib < <(grep "^size $n " "$results")
    for kind in install uninstall; do
      read -r floor_wall _ _ < <(stats "$n" "floor-$kind" 3)
      read -r nsis_wall _ _ < <(stats "$n" "nsis-$kind" 3)
      for who in ours floor nsis; do
        [ "$who" != nsis ] || [ "$nsis" = yes ] || continue
        read -r wall wmin wmax < <(stats "$n" "$who-$kind" 3)
        read -r cpu _ _ < <(stats "$n" "$who-$kind" 4)
        read -r server _ _ < <(stats "$n" "$who-$kind" 5)
        read -r peak _ _ < <(stats "$n" "$who-$kind" 6)
        peak_mb=$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')
        count=$(awk -v n="$n" -v c="$who-$kind" '$1 == n && $2 == c' "$results" | wc -l)
        echo "| $files | $mib | $who $kind | $count | $wall ($wmin-$wmax) | $cpu | $server | $peak_mb | $(ratio "$wall" "$floor_wall") | $(ratio "$wall" "$nsis_wall") |"
      done
    done
  done
} >"$table"
cat "$table"

failures=$(awk '$1 != "size" && $1 != "load" && $1 != "warmup" && $7 != 0' "$results" | wc -l)
cpu_model=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
measured=$(mktemp)
{
  echo "<!-- bench:begin (written by tools/bench.sh; the text outside these marks is kept) -->"
  echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') with \`tools/bench.sh --sizes \"$sizes\" --rounds $rounds\`"
  echo "on $cpu_model, $(nproc) cores, $(awk '/MemTotal/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo),"
  echo "Linux $(uname -r), $(wine --version 2>/dev/null), 32-bit programs: $mode; our program and the floor: the"
  echo "$arch build$([ "$arch" = i686 ] || echo ' (the shipped i686 build cannot run at native speed here)');"
  if [ "$nsis" = yes ]; then
    echo "NSIS $(makensis -VERSION 2>/dev/null) (32-bit$([ "$mode" = native ] || echo ', emulated here'))."
  else
    echo "NSIS not measured in this run (it makes 32-bit programs only, and this machine runs those only under emulation)."
  fi
  echo "Medians of $rounds rounds after one warm-up round; runs that failed: $failures. Load average"
  echo "(1 minute) at the start $load_start, at the end $(cut -d' ' -f1 /proc/loadavg): the machine is shared."
  echo
  cat "$table"
  echo "<!-- bench:end -->"
} >"$measured"
mkdir -p "$(dirname "$out")"
if [ -f "$out" ] && grep -q '<!-- bench:begin' "$out"; then
  awk -v f="$measured" '
    /<!-- bench:begin/ { while ((getline line < f) > 0) print line; skip = 1; next }
    /<!-- bench:end -->/ { skip = 0; next }
    !skip { print }' "$out" >"$out.new" && mv "$out.new" "$out"
else
  { echo "# Performance"; echo; cat "$measured"; } >"$out"
fi
rm -f "$table" "$measured"
echo "bench: wrote $out"
