#!/bin/sh
# check_format.sh CLANG_FORMAT SOURCE_DIR FOLDER...
# Every product source file reads as clang-format writes it with the
# repository's .clang-format, so a change is never half reformatting. Names
# each file that differs (with the first lines that would change) and fails
# when there is one. To reformat: clang-format -i FILE.
set -u
tool=$1 src=$2
shift 2
cd "$src" || exit 1
bad=0
for dir in "$@"; do
    for file in "$dir"/*.cpp "$dir"/*.h "$dir"/*.c; do
        [ -e "$file" ] || continue
        if ! "$tool" --dry-run --Werror "$file" >/dev/null 2>&1; then
            echo "format: $file is not as clang-format writes it:" >&2
            "$tool" "$file" | diff "$file" - | head -8 | sed 's/^/    /' >&2
            bad=$((bad + 1))
        fi
    done
done
[ "$bad" -eq 0 ] || { echo "format: $bad files to reformat (clang-format -i FILE)" >&2; exit 1; }
echo "format: every product file as clang-format writes it"
