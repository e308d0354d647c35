#!/usr/bin/env bash
# The stub must run on a bare system: a GUI program that imports only from
# the system's own DLLs, never from a compiler runtime DLL.
#   tests/e2e/check-stub-imports.sh path/to/uninst.exe
set -uo pipefail

ALLOWED="KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL COMCTL32.DLL MSVCRT.DLL"
OBJDUMP="${OBJDUMP:-i686-w64-mingw32-objdump}"

[ $# -eq 1 ] || { echo "usage: $0 UNINST.EXE" >&2; exit 2; }
stub="$1"

headers="$("$OBJDUMP" -p "$stub")" || { echo "cannot read $stub" >&2; exit 1; }
status=0

if ! grep -q '^Subsystem[[:space:]]*0*2[[:space:]]' <<<"$headers"; then
  echo "FAIL: $stub is not a Windows GUI program:" >&2
  grep '^Subsystem' <<<"$headers" >&2
  status=1
fi

dlls="$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)"
echo "imports: $(echo $dlls)"
[ -n "$dlls" ] || { echo "FAIL: no imports found in $stub" >&2; status=1; }
for dll in $dlls; do
  case " $ALLOWED " in
    *" $dll "*) ;;
    *) echo "FAIL: imports from $dll" >&2; status=1 ;;
  esac
done
exit "$status"
