#!/usr/bin/env bash
# The author's tool on a real built stub (PE32 or PE32+): stamping it again
# changes nothing, a packed uninstaller begins with the stub's own bytes, and
# packing what dump reads back gives the same file, byte for byte. Signed
# afterwards with osslsigncode, it verifies and reads as before, and a signed
# file is neither packed onto nor stamped.
#   tests/e2e/check-pack-roundtrip.sh QUENRID STUB MANIFEST
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: $0 QUENRID STUB MANIFEST" >&2; exit 2; }
quenrid="$(realpath "$1")" stub="$(realpath "$2")" manifest="$(realpath "$3")"

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

cd "$scratch"
openssl req -x509 -newkey rsa:2048 -nodes -subj "/CN=Quenrid test" -days 2 -keyout key.pem \
  -out cert.pem 2>/dev/null
sign() { osslsigncode sign -certs cert.pem -key key.pem -n "Quenrid test" -in "$1" -out "$2" >/dev/null; }
sign first.exe signed.exe
osslsigncode verify -CAfile cert.pem -in signed.exe >/dev/null || fail "the signed uninstaller does not verify"
"$quenrid" dump signed.exe | cmp -s - dumped.json || fail "dump reads the signed uninstaller otherwise"
"$quenrid" lint signed.exe 2>/dev/null || fail "lint does not read the signed uninstaller"
sign stub.exe signed-stub.exe
refused() {  # a command that must fail, saying why
  if "$quenrid" "$@" 2>err; then fail "$* was not refused"; fi
  grep -q "is signed, and its signature covers the file as it is; pack the unsigned stub" err ||
    fail "$* was refused otherwise: $(cat err)"
}
refused pack --stub signed.exe --manifest "$manifest" -o again.exe
refused pack --stub signed-stub.exe --manifest "$manifest" -o again.exe
refused stamp signed-stub.exe
[ ! -e again.exe ] || fail "a refused pack wrote its output"
echo "$stub: stamp, pack, dump and pack again agree ($(stat -c %s first.exe) bytes packed);" \
  "signed, it verifies and reads alike, and is not packed onto"
