# Shared helpers of the scripts: paths, builds, private X server, private
# PulseAudio server and Wine prefixes. Sourced, not run.

REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
BUILD="$REPO/build"
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver
[ -x "$WINESERVER" ] || WINESERVER="$(command -v wineserver || echo wineserver)"
JOBS="${JOBS:-2}"

log() { echo "[$(basename "$0")] $*"; }
die() { echo "[$(basename "$0")] ERROR: $*" >&2; exit 1; }

# PIDs of everything a script started; stopped in reverse order on exit.
STARTED_PIDS=()
remember_pid() { STARTED_PIDS+=("$1"); }
stop_started() {
  local i pid
  for ((i = ${#STARTED_PIDS[@]} - 1; i >= 0; i--)); do
    pid="${STARTED_PIDS[$i]}"
    if kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      for _ in 1 2 3 4 5 6 7 8 9 10; do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
      kill -9 "$pid" 2>/dev/null || true
    fi
  done
  STARTED_PIDS=()
}

# set_source_date_epoch: exports SOURCE_DATE_EPOCH, the time every build
# takes for "now": GCC gives it as __DATE__ (the About box's build date) and
# the release zip stamps its files with it, so a rebuild of the same commit on
# another machine, on another day, gives the same bytes. A value given by the
# caller stands; in a git checkout it is the commit's time; elsewhere (sources
# from an archive) the newest source file's time, which `git archive` sets to
# the commit's, said as such. Once per script.
set_source_date_epoch() {
  [ -n "${SOURCE_DATE_EPOCH_FROM:-}" ] && return 0
  if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH_FROM="given in SOURCE_DATE_EPOCH"
  elif [ -e "$REPO/.git" ] && SOURCE_DATE_EPOCH="$(git -C "$REPO" log -1 --format=%ct 2>/dev/null)" &&
    [ -n "$SOURCE_DATE_EPOCH" ]; then
    SOURCE_DATE_EPOCH_FROM="the time of commit $(git -C "$REPO" log -1 --format=%h)"
  else
    SOURCE_DATE_EPOCH="$(find "$REPO" -path "$BUILD" -prune -o -type f -printf '%T@\n' | sort -n | tail -n 1)"
    SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH%.*}"
    SOURCE_DATE_EPOCH_FROM="no git checkout: the time of the newest source file"
  fi
  [[ "$SOURCE_DATE_EPOCH" =~ ^[0-9]+$ ]] || die "SOURCE_DATE_EPOCH must be seconds since 1970, not '$SOURCE_DATE_EPOCH'"
  export SOURCE_DATE_EPOCH SOURCE_DATE_EPOCH_FROM
  case "$SOURCE_DATE_EPOCH_FROM" in
    "the time of commit"*) ;;
    *) log "build date $(source_date_text) ($SOURCE_DATE_EPOCH_FROM; SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)" >&2 ;;
  esac
}

# source_date_text: SOURCE_DATE_EPOCH as a UTC date and time.
source_date_text() {
  date -u -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S UTC'
}

# build_config native|native32|win64|win32 [DIR SOURCE TARGET]: configure
# (once) and build one build tree, by default build/KIND from this checkout
# and every target; DIR, SOURCE and TARGET build one target of the sources in
# SOURCE in the tree DIR instead. native32 is the unit tests alone as static
# 32-bit x86 code, run under qemu-i386-static (see run_native32).
# Several scripts may run at once (a developer's system-test beside a full
# test run): one build at a time per tree.
# The win64 tree, which the system tests and benchmarks run, has the
# measurements compiled in; the win32 tree builds the released program,
# which reads no environment, and nothing else: the system tests and the
# Wine benchmarks drive the 32-bit program from their 64-bit builds, so
# their 32-bit builds would only compile the same sources once more.
build_config() {
  local kind="$1" dir="${2:-$BUILD/$1}" src="${3:-$REPO}" target=() args=() measure="" logfile lockfile
  [ "$kind" = win32 ] && target=(--target dudorori)
  [ -n "${4:-}" ] && target=(--target "$4")
  if [ -n "${2:-}" ]; then
    logfile="$dir.cmake.log" lockfile="$dir.lock"
  else
    logfile="$BUILD/cmake-$kind.log" lockfile="$BUILD/.lock-$kind"
  fi
  case "$kind" in
    native) ;;
    native32) args=(-DCMAKE_TOOLCHAIN_FILE="$src/cmake/linux-i386.cmake") ;;
    win64) args=(-DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-x86_64.cmake"); measure=ON ;;
    win32) args=(-DCMAKE_TOOLCHAIN_FILE="$src/cmake/mingw-i686.cmake"); measure=OFF ;;
    *) die "unknown build kind $kind" ;;
  esac
  if [ -n "$measure" ]; then args+=(-DDUDORORI_MEASUREMENTS="$measure"); fi
  set_source_date_epoch
  mkdir -p "$BUILD" "$(dirname "$dir")"
  (
    flock 9
    # A tree configured before the option existed, or with the other value,
    # is configured again.
    if [ ! -f "$dir/CMakeCache.txt" ] ||
      { [ -n "$measure" ] && ! grep -q "^DUDORORI_MEASUREMENTS:BOOL=$measure\$" "$dir/CMakeCache.txt"; }; then
      cmake -S "$src" -B "$dir" -DCMAKE_BUILD_TYPE=Release "${args[@]}" >"$logfile" 2>&1 \
        || { cat "$logfile" >&2; exit 1; }
    fi
    cmake --build "$dir" -j"$JOBS" "${target[@]}"
  ) 9>"$lockfile"
}

# i386_runs_natively: whether this kernel runs 32-bit x86 programs itself
# (its IA32 emulation; some kernels leave it out or switch it off). Asked of
# Wine's 32-bit loader, which scripts/setup installs, and only while no
# emulator is registered for such programs: with one registered, the loader
# would start under the emulator whatever the kernel can do.
i386_runs_natively() {
  [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# run_i386 PROGRAM ARGS...: runs a 32-bit x86 Linux program, by the kernel
# where it can, else under user-mode emulation (real x87 and SSE2 results
# either way; emulated, about a minute's worth of tests in three, the
# sixteen-bit volume and scarce-memory tests most).
run_i386() {
  if i386_runs_natively; then "$@"; else qemu-i386-static "$@"; fi
}

# run_native32 PROGRAM ARGS...: runs one of the 32-bit unit test programs
# (unit_tests, detailed_unit_tests).
run_native32() {
  local program="$1"
  shift
  run_i386 "$BUILD/native32/$program" "$@"
}

# enable_i386_emulation: lets this 64-bit machine start 32-bit x86 programs
# (Wine's 32-bit loader). A kernel that runs them itself needs nothing, and
# gets no emulator in its way. Otherwise qemu-i386-static runs them, by
# mounting binfmt_misc and registering the emulator for 32-bit x86 ELF files.
# Already registered: nothing to do. Fails (status 1) where binfmt_misc cannot
# be mounted or written, e.g. without root or in a container that forbids it.
enable_i386_emulation() {
  local fs=/proc/sys/fs/binfmt_misc
  i386_runs_natively && return 0
  [ -x /usr/bin/qemu-i386-static ] || return 1
  if [ ! -e "$fs/register" ]; then
    mount -t binfmt_misc binfmt_misc "$fs" 2>/dev/null || return 1
  fi
  if [ ! -e "$fs/qemu-i386" ]; then
    # Flag F: the kernel opens the emulator now, so it is found in any mount
    # namespace later.
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      >"$fs/register" 2>/dev/null || return 1
  fi
  grep -q '^enabled' "$fs/qemu-i386" 2>/dev/null || return 1
  # Wine reserves the Windows address ranges in 64 KiB units and then maps
  # the shared user data at 0x7ffe0000. The emulator hands out 4 KiB pages
  # top-down from 0x40000000, so whether those reservations stay aligned
  # depended on the size of /etc/ld.so.cache ("failed to map the shared user
  # data"). 64 KiB emulator pages keep every mapping aligned.
  export QEMU_PAGESIZE=65536
}

# disable_i386_emulation: removes the registration again. Only for a script
# that made it itself: while it is there, every new Wine prefix also sets up
# its 32-bit side under emulation, which takes minutes instead of seconds.
disable_i386_emulation() {
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 >/proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
  return 0
}

# await_ready PID TENTHS COMMAND...: waits up to TENTHS tenths of a second
# until COMMAND succeeds while the process PID still runs. Fails, and stops
# the process, when it ends or the time is up.
await_ready() {
  local pid="$1" tenths="$2"
  shift 2
  for _ in $(seq 1 "$tenths"); do
    "$@" >/dev/null 2>&1 && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  kill "$pid" 2>/dev/null || true
  return 1
}

# start_xvfb: starts a private Xvfb with a window manager and exports
# DISPLAY. Users' desktops have a window manager, and Wine relies on one: with
# none, it waits about 2 s for every closed window to be withdrawn (a dialog's
# OK, a message box's close; a playing sound stops that long).
# Xvfb picks a free display number itself (-displayfd) and says which once it
# takes connections: runs started at the same moment (a test run's system
# tests beside its 32-bit smoke test) could otherwise both pick the same
# free-looking number, and the second, whose server gave up, would find the
# first one's display answering.
start_xvfb() {
  local n tries numberfile logfile pid
  for tries in 1 2 3 4 5; do
    numberfile="$(mktemp "$BUILD/xvfb-display.XXXXXX")" logfile="$numberfile.log"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$numberfile" >"$logfile" 2>&1 &
    pid=$!
    if await_ready "$pid" 50 grep -q '^[0-9][0-9]*$' "$numberfile" &&
      n="$(head -n 1 "$numberfile")" && await_ready "$pid" 50 env DISPLAY=":$n" xdpyinfo; then
      rm -f "$numberfile"
      mv -f "$logfile" "$BUILD/xvfb-$n.log"
      remember_pid "$pid"; export DISPLAY=":$n"; XVFB_PID=$pid
      start_window_manager
      return 0
    fi
    rm -f "$numberfile"
  done
  die "Xvfb did not start (see $BUILD/xvfb-display.*.log)"
}

# start_window_manager: openbox on $DISPLAY, stopped with the display. Waits
# until it has taken the screen (it owns the selection WM_S0 then), so that
# the first window a test opens is already managed.
start_window_manager() {
  command -v openbox >/dev/null 2>&1 || die "openbox is missing (scripts/setup installs it)"
  local home
  home="$(mktemp -d "${TMPDIR:-/tmp}/openbox.XXXXXX")"
  HOME="$home" XDG_CONFIG_HOME="$home" openbox --sm-disable >"$BUILD/openbox-${DISPLAY#:}.log" 2>&1 &
  local pid=$!
  if await_ready "$pid" 100 sh -c "xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'"; then
    remember_pid "$pid"; WM_PID=$pid
    return 0
  fi
  cat "$BUILD/openbox-${DISPLAY#:}.log" >&2
  die "openbox did not start on $DISPLAY"
}

# start_pulse DIR: a private PulseAudio server whose runtime directory is
# DIR/run and whose HOME is DIR/home (holding the .asoundrc that routes ALSA,
# and so Wine, to this server). A null sink "spk" and a 441 Hz sine source
# "mic" (the default source). Exports XDG_RUNTIME_DIR and HOME.
start_pulse() {
  local dir="$1"
  mkdir -p "$dir/run" "$dir/home"
  chmod 700 "$dir/run"
  write_asoundrc "$dir/home"
  XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pulseaudio -n --daemonize=no \
    --exit-idle-time=-1 --disallow-exit --use-pid-file=no --log-target=stderr \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=spk" \
    --load="module-sine-source source_name=mic rate=44100 frequency=441" \
    --load=module-always-sink >"$dir/pulse.log" 2>&1 &
  local pid=$!
  if await_ready "$pid" 100 env XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pactl info; then
    remember_pid "$pid"; PULSE_PID=$pid
    XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pactl set-default-source mic >/dev/null
    XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pactl set-default-sink spk >/dev/null
    export XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home"
    return 0
  fi
  cat "$dir/pulse.log" >&2
  return 1
}

write_asoundrc() {
  printf 'pcm.!default { type pulse }\nctl.!default { type pulse }\n' >"$1/.asoundrc"
}

# wine_prefix_template: a Wine prefix created once under build/ with Wine's
# audio routed through ALSA. Copying it is much faster than creating a prefix.
# WINE_TEMPLATE names the template; the 32-bit runs use their own,
# "wineprefix-template32", made while 32-bit programs can run (see
# enable_i386_emulation), so that it holds Wine's 32-bit side too.
wine_prefix_template() {
  local name="${WINE_TEMPLATE:-wineprefix-template}"
  local tpl="$BUILD/$name"
  if [ -f "$tpl/.dudorori-ready" ]; then echo "$tpl"; return 0; fi
  mkdir -p "$BUILD"
  (
    flock 9
    [ -f "$tpl/.dudorori-ready" ] && exit 0
    rm -rf "$tpl" "$tpl.tmp"
    if [ "$name" = wineprefix-template32 ]; then
      log "creating the Wine prefix template with its 32-bit side (once; under emulation about 30 s)" >&2
    else
      log "creating the Wine prefix template (once, about 20 s)" >&2
    fi
    export WINEPREFIX="$tpl.tmp" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY
    "$WINE64" wineboot -i >/dev/null 2>&1 || true
    "$WINE64" reg add 'HKCU\Software\Wine\Drivers' /v Audio /d alsa /f >/dev/null 2>&1
    "$WINESERVER" -w
    grep -q '"Audio"="alsa"' "$tpl.tmp/user.reg" || { echo "Wine prefix template: the Audio=alsa key is missing" >&2; exit 1; }
    touch "$tpl.tmp/.dudorori-ready"
    mv "$tpl.tmp" "$tpl"
  ) 9>"$BUILD/.lock-$name" || return 1
  echo "$tpl"
}

# new_wine_prefix DEST: a fresh copy of the template.
new_wine_prefix() {
  local tpl
  tpl="$(wine_prefix_template)" || return 1
  rm -rf "$1"
  cp -a "$tpl" "$1"
}

# to_windows_path PATH: the path as the Wine prefix sees it (drive Z: is /).
to_windows_path() {
  local p
  p="$(realpath -m "$1")"
  echo "Z:${p//\//\\}"
}
