#!/usr/bin/env bash
# Every include between the product's folders points down the layers
# app -> removal -> ui -> paths -> data (resources/ is a leaf anyone may use),
# so each folder's library links against only the ones below it.
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
[ "$bad" = 0 ] && echo "includes point down the layers"
exit "$bad"
