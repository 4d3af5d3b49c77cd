#!/bin/bash
# Removes coverage notes of objects no build rule makes any more (a source moved to another target or
# deleted): gcovr would merge them with the current ones and stop on their old line numbers.
set -euo pipefail
build=${1:?usage: prune-coverage.sh build-folder}
rules=$(mktemp)
trap 'rm -f "$rules"' EXIT
find "$build" -name build.make -exec grep -ho '^[^ :]*\.o:' {} + | sort -u >"$rules"
find "$build" -name '*.gcno' -o -name '*.gcda' | while read -r note; do
  object=${note#"$build"/}
  object=${object%.*}.o:
  grep -qxF "$object" "$rules" || rm -f "$note"
done
