#!/usr/bin/env bash
# The author's tool on a real built stub (PE32 or PE32+): stamping it again
# changes nothing, a packed uninstaller begins with the stub's own bytes, and
# packing what dump reads back gives the same file, byte for byte.
#   tests/e2e/check-pack-roundtrip.sh QUENRID STUB MANIFEST
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 QUENRID STUB MANIFEST" >&2; exit 2; }
quenrid="$1" stub="$2" manifest="$3"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/quenrid-roundtrip.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$stub" "$scratch/stub.exe"
"$quenrid" stamp "$scratch/stub.exe"
cmp -s "$stub" "$scratch/stub.exe" || fail "stamping the built stub $stub again changed it"

"$quenrid" pack --stub "$stub" --manifest "$manifest" -o "$scratch/first.exe"
size="$(stat -c %s "$stub")"
cmp -s -n "$size" "$stub" "$scratch/first.exe" || fail "the packed file does not begin with the stub"
[ "$(stat -c %s "$scratch/first.exe")" -gt "$size" ] || fail "nothing was appended to the stub"

"$quenrid" dump "$scratch/first.exe" >"$scratch/dumped.json"
"$quenrid" pack --stub "$scratch/first.exe" --manifest "$scratch/dumped.json" -o "$scratch/second.exe"
cmp "$scratch/first.exe" "$scratch/second.exe" || fail "packing the dump of $stub gave other bytes"
echo "$stub: stamp, pack, dump and pack again agree ($(stat -c %s "$scratch/first.exe") bytes packed)"
