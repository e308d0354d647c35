#!/usr/bin/env bash
# The stub runs on a bare system: a GUI program of its format that imports
# only from the system's own DLLs. Not from msvcrt.dll either: the stub brings
# the few string routines it calls, so a call that turns up here (a memcpy the
# compiler made, say) is bytes it need not carry. Prints its size and imports.
#   tests/e2e/check-stub-imports.sh UNINST.EXE pei-i386|pei-x86-64
set -uo pipefail
[ $# -eq 2 ] || { echo "usage: $0 UNINST.EXE pei-i386|pei-x86-64" >&2; exit 2; }
stub="$1" format="$2"
[ "$format" = pei-i386 ] && arch=i686 || arch=x86_64
headers="$("${OBJDUMP:-$arch-w64-mingw32-objdump}" -p "$stub")" || { echo "cannot read $stub" >&2; exit 1; }
echo "$stub: $(stat -c %s "$stub") bytes, $format"
status=0
fail() { echo "FAIL: $*" >&2; status=1; }
grep -q "file format $format\$" <<<"$headers" || fail "not of format $format"
grep -q '^Subsystem[[:space:]]*0*2[[:space:]]' <<<"$headers" || fail "not a Windows GUI program"
dlls="$(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$headers" | tr '[:lower:]' '[:upper:]' | sort -u)"
echo "imports: $(echo $dlls)"
[ -n "$dlls" ] || fail "no imports found"
for dll in $dlls; do
  case " KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL SHELL32.DLL OLE32.DLL COMCTL32.DLL " in
    *" $dll "*) ;;
    *) fail "imports from $dll" ;;
  esac
done
exit "$status"
