# Shared by the project's scripts: where things are, and how Windows programs are run here.
# Sourced, not run.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${OSTRABEL_BUILD:-$top/build}

# True when this machine's kernel executes 32-bit x86 code. Some virtual machines cannot (their
# kernel refuses 32-bit code segments: "Exec format error"); there 32-bit programs run through
# qemu's user-mode emulator instead (see i386_way).
can_run_i386() {
  local probe="$build/.probe-i386"
  mkdir -p "$build"
  if [ ! -x "$probe" ]; then
    # A 93-byte static i386 ELF program whose only instruction is exit(0).
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\135\000\000\000\135\000\000\000\005\000\000\000\000\020\000\000\270\001\000\000\000\061\333\315\200' > "$probe"
    chmod +x "$probe"
  fi
  "$probe" 2>/dev/null
}

# Where the kit for emulated 32-bit code lives: qemu-i386, root/ (Debian's 32-bit Wine and its
# libraries, unpacked), fonts.conf and the 32-bit fontconfig cache, binfmt/ (a mount point).
# scripts/setup makes it, and writes "ready" last.
i386_kit="$build/i386"

# How 32-bit x86 programs run here: "native" where the kernel executes them, "emulated" where it
# does not but setup has made the kit (scripts/with-i386 runs them), "none" otherwise.
i386_way() {
  if [ -n "${OSTRABEL_I386_WAY:-}" ]; then echo "$OSTRABEL_I386_WAY"
  elif can_run_i386; then echo native
  elif [ -f "$i386_kit/ready" ]; then echo emulated
  else echo none; fi
}

# True when 32-bit programs need scripts/with-i386 around them and this process is not in it yet.
needs_i386_namespace() {
  [ -z "${OSTRABEL_I386_NS:-}" ] && [ "$(i386_way)" = emulated ]
}

# The Windows builds whose tests run here: the shipped 32-bit one wherever 32-bit code runs,
# natively or emulated; the 64-bit twin of the same sources only where it cannot run at all.
# OSTRABEL_WINE_ARCHS="32 64" runs both.
wine_archs() {
  if [ -n "${OSTRABEL_WINE_ARCHS:-}" ]; then echo "$OSTRABEL_WINE_ARCHS"
  elif [ "$(i386_way)" = none ]; then echo 64
  else echo 32; fi
}

# The Windows build whose timings mean something here (scripts/bench): win32 where 32-bit code
# runs natively, else the 64-bit twin, since emulated figures would measure the emulator.
wine_arch() {
  if [ -n "${OSTRABEL_WINE_ARCH:-}" ]; then echo "$OSTRABEL_WINE_ARCH"
  elif [ "$(i386_way)" = native ]; then echo 32
  else echo 64; fi
}

# Environment for Wine in the project's own prefix for the given arch (32 or 64).
wine_env() {
  local arch=$1
  export WINEPREFIX="$build/wine$arch"
  if [ "$arch" = 32 ]; then export WINEARCH=win32; else export WINEARCH=win64; fi
  export WINEDLLOVERRIDES="mscoree=;mshtml="
  wine_loader_env "$arch"
}

# Environment the Wine loader of the given arch needs, whatever the prefix. Emulated, qemu finds
# the 32-bit libraries below QEMU_LD_PREFIX, the 32-bit processes share the native 64-bit
# wineserver, and the 32-bit fontconfig keeps its cache in the kit instead of the system's.
wine_loader_env() {
  export WINEDEBUG=${WINEDEBUG:--all}
  if [ "$1" = 32 ] && [ "$(i386_way)" = emulated ]; then
    export QEMU_LD_PREFIX="$i386_kit/root" FONTCONFIG_FILE="$i386_kit/fonts.conf"
    export WINESERVER=$(wineserver_bin)
  fi
}

wine_bin() {
  if [ "$1" = 64 ]; then echo /usr/lib/wine/wine64
  elif [ "$(i386_way)" = emulated ]; then echo "$i386_kit/root/usr/lib/wine/wine"
  else echo /usr/lib/wine/wine; fi
}

wineserver_bin() {
  if [ -x /usr/lib/wine/wineserver64 ]; then echo /usr/lib/wine/wineserver64
  else echo /usr/lib/wine/wineserver32; fi
}

# Starts an Xvfb display of our own; sets DISPLAY and xvfb_pid.
start_xvfb() {
  # A file of this process's own: two runs at once (the demo beside a test run) would otherwise
  # read each other's display number.
  local fifo="$build/.xvfb-display.$$"
  rm -f "$fifo"; mkdir -p "$build"
  exec 9> >(cat > "$fifo")
  Xvfb -displayfd 9 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  exec 9>&-
  local i
  for i in $(seq 1 100); do
    [ -s "$fifo" ] && break
    sleep 0.1
  done
  DISPLAY=":$(tr -d '\n' < "$fifo")"
  export DISPLAY
  rm -f "$fifo"
}

# Where the databases made by real SourceSafe are (test data, never part of the repository): the
# variable OSTRABEL_VSS_SAMPLES, else shared/vss-samples beside the source tree or a folder above
# it, else beside the repository this one was cloned from (a clean clone made elsewhere). Prints
# nothing when there are none.
vss_samples_dir() {
  if [ -n "${OSTRABEL_VSS_SAMPLES:-}" ]; then echo "$OSTRABEL_VSS_SAMPLES"; return; fi
  local at
  for at in "$top" "$(git -C "$top" remote get-url origin 2>/dev/null)"; do
    [ -n "$at" ] && [ -d "$at" ] || continue
    at=$(cd "$at" && pwd)
    while :; do
      if [ -d "$at/shared/vss-samples" ]; then echo "$at/shared/vss-samples"; return; fi
      [ "$at" = / ] && break
      at=$(dirname "$at")
    done
  done
}

# Where Microsoft's own SourceSafe 6.0d programs are (SSAPI.DLL, SS.EXE, ...): never part of the
# repository, its package or ../shared/. The variable OSTRABEL_SOURCESAFE, else a folder
# "sourcesafe" beside the source tree or a folder above it, else beside the repository this one was
# cloned from. Prints nothing when they are not there; the tests that need them are skipped then.
sourcesafe_dir() {
  if [ -n "${OSTRABEL_SOURCESAFE:-}" ]; then
    [ -f "$OSTRABEL_SOURCESAFE/SSAPI.DLL" ] && echo "$OSTRABEL_SOURCESAFE"
    return 0
  fi
  local at
  for at in "$top" "$(git -C "$top" remote get-url origin 2>/dev/null)"; do
    [ -n "$at" ] && [ -d "$at" ] || continue
    at=$(cd "$at" && pwd)
    while :; do
      if [ -f "$at/sourcesafe/SSAPI.DLL" ]; then echo "$at/sourcesafe"; return 0; fi
      [ "$at" = / ] && break
      at=$(dirname "$at")
    done
  done
}

# Configures and builds one configuration: native, win32 or win64.
build_config() {
  local config=$1 args=()
  case "$config" in
    native) args=(-DCMAKE_BUILD_TYPE=Debug) ;;
    native-release) args=(-DCMAKE_BUILD_TYPE=Release -DOSTRABEL_SANITIZE=OFF) ;;
    win32) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake") ;;
    win64) args=(-DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-x86_64.cmake") ;;
  esac
  if [ ! -f "$build/$config/build.ninja" ]; then
    cmake -S "$top" -B "$build/$config" -G Ninja "${args[@]}" >/dev/null
  fi
  cmake --build "$build/$config"
}

# Starts Wine's own background processes (services, explorer) with no output attached. Started
# by the first test instead, they would inherit its output pipe and keep CTest waiting for it.
wine_warm_up() {
  "$(wine_bin "$1")" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# A Windows test run by scripts/test-windows runs in the lane CTest gives it (RESOURCE_GROUPS
# lanes:1): lane 0 is the prefix and X display that test-windows set up; lane N is a copy of that
# prefix, "$WINEPREFIX.laneN", with a wineserver and a display of its own (the display's number
# in $build/.laneN.display). Two tests at once then never share windows, focus or clipboard.
if [[ -z "${OSTRABEL_LANE:-}" && -n "${WINEPREFIX:-}" &&
      "${CTEST_RESOURCE_GROUP_0_LANES:-}" =~ id:([0-9]+) ]]; then
  export OSTRABEL_LANE=${BASH_REMATCH[1]}
  if [ "$OSTRABEL_LANE" != 0 ]; then
    export WINEPREFIX="$WINEPREFIX.lane$OSTRABEL_LANE"
    DISPLAY=":$(cat "$build/.lane$OSTRABEL_LANE.display")"
    export DISPLAY
  fi
fi
