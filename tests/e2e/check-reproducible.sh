#!/usr/bin/env bash
# Two builds of the stub, each from an empty tree of another name (so that a
# build path leaking into the stub shows), must give the same bytes.
# QUENRID_HOST_TOOL: the host quenrid that stamps (default build/host/tools/quenrid).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tool="${QUENRID_HOST_TOOL:-$root/build/host/tools/quenrid}"
[ -x "$tool" ] || { echo "no host tool at $tool: build the host preset first" >&2; exit 1; }
scratch="$(mktemp -d "${TMPDIR:-/tmp}/quenrid-repro.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
build() {
  { cmake -S "$root" -B "$scratch/$1" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUENRID_HOST_TOOL="$tool" &&
    cmake --build "$scratch/$1" --target uninst; } >"$scratch/$1.log" 2>&1 ||
    { echo "build $1 failed:" >&2; tail -n 30 "$scratch/$1.log" >&2; return 1; }
  sha256sum <"$scratch/$1/src/uninst.exe" | cut -d' ' -f1
}
first="$(build first-tree)" second="$(build second-build-tree)"
echo "first build: $first; second build: $second"
[ "$first" = "$second" ] || { echo "FAIL: two builds of the stub differ" >&2; exit 1; }
