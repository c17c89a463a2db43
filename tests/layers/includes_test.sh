#!/usr/bin/env bash
# Includes point downwards: each folder of src/ may include only itself and the
# folders below it. A folder that is not in the table fails too, so a new one
# gets its place before it gets code.
# Usage: includes_test.sh SOURCE_DIR
set -uo pipefail
src="${1:?source dir}/src"

declare -A may=(
  [platform]="platform"
  [common]="common platform"
  [video]="video common platform"
  [doorphone]="doorphone video common platform"
  [sip]="sip common platform"
  [lingo]="lingo common platform"
  [app]="app doorphone video sip lingo common platform"
)

bad=0
for dir in "$src"/*/; do
  area=$(basename "$dir")
  if [ -z "${may[$area]+x}" ]; then
    echo "src/$area has no place in the layer table of $0"
    bad=1
    continue
  fi
  # Quoted includes only: <...> are system and library headers.
  while IFS=: read -r file line text; do
    target=""
    [[ $text =~ \"([^\"]*)\" ]] && target=${BASH_REMATCH[1]}
    top=${target%%/*}
    ok=0
    if [ "$top" != "$target" ]; then
      for allowed in ${may[$area]}; do [ "$top" = "$allowed" ] && ok=1; done
    fi
    if [ $ok = 0 ]; then
      echo "${file#"$src"/}:$line includes \"$target\"; src/$area may include only: ${may[$area]}"
      bad=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$dir" --include='*.h' --include='*.cpp' || true)
done
[ $bad = 0 ] && echo "includes point downwards"
exit $bad
