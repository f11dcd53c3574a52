#!/bin/sh
# check_layers.sh SOURCE_DIR
# The program's folders are layers: a folder includes only itself and the
# folders below it, so a lower part never needs a higher one to build or to be
# tested. Prints each include that reaches up and fails when there is one.
set -eu
cd "$1"
# Lowest first; folders on one line are side by side and do not include each other.
LAYERS="settings resources
scene
display bus
capture
render
cli ui
host
tools"

rank() {
    echo "$LAYERS" | awk -v d="$1" '{ for (i = 1; i <= NF; i++) if ($i == d) { print NR; exit } }'
}

out=$(mktemp)
trap 'rm -f "$out"' EXIT
for dir in $(echo "$LAYERS" | tr ' ' '\n'); do
    [ -d "$dir" ] || continue
    own=$(rank "$dir")
    for file in "$dir"/*.cpp "$dir"/*.h; do
        [ -e "$file" ] || continue
        grep -n '^#include "[a-z_]*/' "$file" | while IFS= read -r hit; do
            target=$(echo "$hit" | sed 's/^[0-9]*:#include "\([a-z_]*\)\/.*/\1/')
            [ "$target" = "$dir" ] && continue
            theirs=$(rank "$target")
            [ -n "$theirs" ] || continue
            if [ "$theirs" -ge "$own" ]; then
                echo "$file:${hit%%:*}: $dir includes $target, which is not below it: ${hit#*:}"
            fi
        done
    done
done > "$out"
if [ -s "$out" ]; then
    cat "$out"
    exit 1
fi
echo "layers: every include points down"
