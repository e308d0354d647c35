#!/usr/bin/env bash
# Builds the stub twice, each time from an empty build tree of its own, and
# checks that both builds give the same bytes. Two cross builds of the stub
# alone: a check of the host tree (label checks).
#   tests/e2e/check-reproducible.sh
# QUENRID_HOST_TOOL names the host quenrid used for stamping (default:
# build/host/tools/quenrid; build the host preset first).
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
HOST_TOOL="${QUENRID_HOST_TOOL:-$ROOT/build/host/tools/quenrid}"
[ -x "$HOST_TOOL" ] || { echo "no host tool at $HOST_TOOL: build the host preset first" >&2; exit 1; }

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quenrid-repro.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

build_stub() {
  local tree="$scratch/$1"
  cmake -S "$ROOT" -B "$tree" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DQUENRID_HOST_TOOL="$HOST_TOOL" >"$scratch/$1.log" 2>&1 &&
    cmake --build "$tree" --target uninst >>"$scratch/$1.log" 2>&1 || {
      echo "build $1 failed:" >&2
      tail -n 30 "$scratch/$1.log" >&2
      return 1
    }
  sha256sum <"$tree/src/uninst.exe" | cut -d' ' -f1
}

# The two trees differ in name, so a build path that leaks into the stub shows.
first="$(build_stub first-tree)"
second="$(build_stub second-build-tree)"
echo "first build:  $first"
echo "second build: $second"
if [ "$first" != "$second" ]; then
  echo "FAIL: two builds of the stub differ" >&2
  exit 1
fi
echo "the stub builds reproducibly"
