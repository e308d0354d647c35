#!/usr/bin/env bash
# Every include between the product's folders points down the layers
# app -> removal -> ui -> paths -> data (resources/ is a leaf anyone may use),
# so each folder's library links against only the ones below it; and the
# author's tool (tools/) includes only the product headers listed here, so
# that its next reach into the product is a decision, not an accident. And
# the run changes the machine only through removal/machine.h: the calls that
# change something appear only in its Win32 twin and in what that twin calls,
# so that `quenrid plan`, which runs the same steps against its recording
# twin, can never make a change itself.
#   tests/e2e/check-layers.sh [SRC]
set -euo pipefail
src="${1:-$(cd "$(dirname "$0")/../../src" && pwd)}"

declare -A below=(
  [data]=""
  [paths]="data"
  [ui]="data"
  [removal]="ui paths data"
  [app]="removal ui paths data"
)
bad=0
for layer in "${!below[@]}"; do
  [ -d "$src/$layer" ] || { echo "no folder $src/$layer" >&2; exit 2; }
  while IFS=: read -r file line target; do
    case " $layer ${below[$layer]} resources " in
      *" $target "*) ;;
      *) echo "$file:$line: $layer includes $target, which is not below it"; bad=1 ;;
    esac
  done < <(grep -Hno '#include "\.\./[a-z]*/' "$src/$layer"/* |
           sed -E 's#^([^:]*):([0-9]*):\#include "\.\./([a-z]*)/#\1:\2:\3#')
done
tool_headers=" app/main_flow.h app/resolve.h app/switches.h data/data_offset.h data/file_io.h data/messages.h
  data/state.h data/uninstall_data.h data/working_buffer.h paths/ascii_case.h paths/backslash.h
  paths/folder_identity.h paths/folder_sources.h paths/macro_names.h paths/path_macros.h
  paths/protected_folders.h removal/machine.h removal/registry_guard.h removal/rules.h "
tools="$(dirname "$src")/tools"
while IFS=: read -r file line header; do
  case "$tool_headers" in
    *[[:space:]]"$header"[[:space:]]*) ;;
    *) echo "$file:$line: the tool includes $header, which is not on its list"; bad=1 ;;
  esac
done < <(grep -rHnoE '#include "(app|data|paths|removal|ui|resources)/[^"]*"' "$tools" |
         sed -E 's#^([^:]*):([0-9]*):\#include "([^"]*)"#\1:\2:\3#')
effects='\b(DeleteFile[AW]?|RemoveDirectory[AW]?|_rmdir|_mkdir|remove|rename|MoveFile\w*|CopyFile\w*|ReplaceFile\w*|CreateDirectory\w*|SHFileOperation\w*|SetFileTime|RegSetValue\w*|RegDelete\w*|RegCreateKey\w*|SetFileAttributes[AW]?|CreateProcess[AW]?|ShellExecute\w*|WinExec|RemoveFontResource\w*|CreateOutputFile|WriteFile|SetCurrentDirectory[AW]?|StartProcess|NtDeleteKey)\('
# The twin, what only it calls (the COM server's unregistration), the
# helpers it is made of, and the start-up, which the plan does not run.
effect_homes=" removal/machine_win32.cpp removal/com_server.cpp data/process_win32.cpp
  data/file_io_win32.cpp data/file_io_posix.cpp "
while IFS=: read -r file line call; do
  case "$effect_homes" in
    *[[:space:]]"${file#"$src"/}"[[:space:]]*) ;;
    *) echo "$file:$line: $call changes the machine outside removal/machine.h"; bad=1 ;;
  esac
done < <(grep -rHnoE "$effects" "$src" --include='*.cpp')
[ "$bad" = 0 ] && echo "includes point down the layers; the tool includes only its listed headers;" \
  "the machine changes only through removal/machine.h"
exit "$bad"
