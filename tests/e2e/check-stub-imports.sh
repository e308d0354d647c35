#!/usr/bin/env bash
# The stub must run on a bare system: a GUI program of its architecture that
# imports only from the system's own DLLs, never from a compiler runtime DLL.
# Not from msvcrt.dll either: the stub brings the few string routines it
# calls (src/app/string_routines.cpp), each smaller than its import, so a
# call that turns up here (a memcpy or memset the compiler made, say) is
# bytes the stub need not carry. Prints its size and imports.
#   tests/e2e/check-stub-imports.sh path/to/uninst.exe [pei-i386|pei-x86-64]
set -uo pipefail

ALLOWED="KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL COMCTL32.DLL"

[ $# -ge 1 ] && [ $# -le 2 ] || { echo "usage: $0 UNINST.EXE [pei-i386|pei-x86-64]" >&2; exit 2; }
stub="$1"
format="${2:-pei-i386}"
case "$format" in
  pei-i386) OBJDUMP="${OBJDUMP:-i686-w64-mingw32-objdump}" ;;
  pei-x86-64) OBJDUMP="${OBJDUMP:-x86_64-w64-mingw32-objdump}" ;;
  *) echo "unknown format $format" >&2; exit 2 ;;
esac

headers="$("$OBJDUMP" -p "$stub")" || { echo "cannot read $stub" >&2; exit 1; }
status=0
echo "$stub: $(stat -c %s "$stub") bytes, $format"

if ! grep -q "file format $format\$" <<<"$headers"; then
  echo "FAIL: $stub is not of format $format:" >&2
  grep 'file format' <<<"$headers" >&2
  status=1
fi

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
