# Sourced by the scripts: decides which Windows build runs under wine here.
# Where this machine runs 32-bit code, the shipped i686 build runs under
# 32-bit wine ("win32"); where it runs only 64-bit code, the same sources built
# for x86-64 run under wine64 ("win64"). QUENRID_WINE64=1 forces the 64-bit
# path on a machine that could run both.
#
# choose_wine_arch sets and exports QUENRID_WINE_ARCH and QUENRID_WINE_ARCH_WHY;
# a value already exported by a calling script is kept, so one run probes once.

# A 95-byte static i386 Linux program that exits with 42: it either runs and
# says so, or the kernel refuses it. Nothing else can produce that answer, so
# an installed but unrunnable 32-bit wine cannot pass for a working one.
runs_i386_code() {
  local probe status
  probe="$(mktemp "${TMPDIR:-/tmp}/quenrid-i386.XXXXXX")" || return 1
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5f\x00\x00\x00\x5f\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\x31\xdb\xb3\x2a\xb8\x01\x00\x00\x00\xcd\x80' >"$probe"
  chmod +x "$probe"
  "$probe" >/dev/null 2>&1
  status=$?
  rm -f "$probe"
  [ "$status" = 42 ]
}

choose_wine_arch() {
  if [ -n "${QUENRID_WINE_ARCH:-}" ]; then
    case "$QUENRID_WINE_ARCH" in
      win32|win64)
        : "${QUENRID_WINE_ARCH_WHY:=QUENRID_WINE_ARCH=$QUENRID_WINE_ARCH is set}"
        export QUENRID_WINE_ARCH QUENRID_WINE_ARCH_WHY
        return 0 ;;
      *) echo "QUENRID_WINE_ARCH must be win32 or win64, not '$QUENRID_WINE_ARCH'" >&2; return 1 ;;
    esac
  fi
  if [ "${QUENRID_WINE64:-0}" = 1 ]; then
    QUENRID_WINE_ARCH=win64
    QUENRID_WINE_ARCH_WHY="QUENRID_WINE64=1 forces the 64-bit path"
  elif runs_i386_code; then
    QUENRID_WINE_ARCH=win32
    QUENRID_WINE_ARCH_WHY="this machine runs 32-bit code"
  else
    QUENRID_WINE_ARCH=win64
    QUENRID_WINE_ARCH_WHY="this machine runs no 32-bit code (an i386 program does not execute)"
  fi
  export QUENRID_WINE_ARCH QUENRID_WINE_ARCH_WHY
}

# One line for the log: which build runs under which wine, and why.
describe_wine_arch() {
  case "$QUENRID_WINE_ARCH" in
    win32) echo "i686 build (uninst.exe) under 32-bit wine: $QUENRID_WINE_ARCH_WHY" ;;
    win64) echo "x86-64 build (uninst64.exe) under wine64: $QUENRID_WINE_ARCH_WHY" ;;
  esac
}

# Configures and builds the trees this path needs, the host first (options
# for its configure as arguments), since the Windows builds stamp their stubs
# with its quenrid. On the 64-bit path the i686 tree keeps only the checks
# that need no wine, and the x86-64 tree follows it (its tests read the i686
# stub).
build_trees() {
  local wine_tests=ON
  [ "$QUENRID_WINE_ARCH" = win64 ] && wine_tests=OFF
  : "${CMAKE_BUILD_PARALLEL_LEVEL:=$(nproc)}"
  export CMAKE_BUILD_PARALLEL_LEVEL
  cmake --preset host "$@" >/dev/null && cmake --build --preset host &&
    cmake --preset windows -DQUENRID_WINE_TESTS=$wine_tests >/dev/null &&
    cmake --build --preset windows || return 1
  [ "$wine_tests" = ON ] || { cmake --preset windows64 >/dev/null && cmake --build --preset windows64; }
}
