#!/usr/bin/env bash
# The program's folders form floors, lowest first; a folder may include only from its own floor
# and the floors below it. Run by the build, so an include that reaches up fails to build.
# Usage: tools/check_layers.sh <source folder> <floor>...
set -u
top=$1
shift
floors=("$@")
status=0
for ((i = 0; i < ${#floors[@]}; i++)); do
  folder=${floors[i]}
  for ((j = i + 1; j < ${#floors[@]}; j++)); do
    upper=${floors[j]}
    while IFS= read -r hit; do
      [ -n "$hit" ] || continue
      echo "check_layers: $hit: $folder/ is below $upper/ and may not include it" >&2
      status=1
    done < <(cd "$top" && grep -nE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$upper/" "$folder"/*.h "$folder"/*.cpp 2>/dev/null)
  done
done
exit $status
