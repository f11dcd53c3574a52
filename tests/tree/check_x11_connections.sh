#!/bin/sh
# check_x11_connections.sh SOURCE_DIR
# One X11 connection per thread: the host's and the render thread's, handed to
# whatever asks the server on their behalf. A connection opened and closed
# beside them during the GL set-up once corrupted the heap. Prints each
# XOpenDisplay call outside its allowed owner (or a second one inside it) and
# fails when there is one.
set -eu
cd "$1"
# Each owner may open one connection, in one place.
OWNERS="host/saver_window_x11.cpp
render/gl_context_glx.cpp
display/display_xrandr.cpp"
# The last: the mode guard's forked process (it must not share its parent's
# connection) and a run with no host, which only lists the modes.

out=$(mktemp)
trap 'rm -f "$out"' EXIT
for dir in settings resources scene display capture render cli ui host tools; do
    [ -d "$dir" ] || continue
    for file in "$dir"/*.cpp "$dir"/*.h; do
        [ -e "$file" ] || continue
        # Calls only: string literals (failure lines naming the call) and
        # line comments dropped first.
        calls=$(sed -e 's/"\([^"\\]\|\\.\)*"/""/g' -e 's://.*$::' "$file" | grep -n 'XOpenDisplay *(' || true)
        [ -n "$calls" ] || continue
        count=$(echo "$calls" | wc -l)
        if ! echo "$OWNERS" | grep -qx "$file"; then
            echo "$calls" |
                sed "s|^\([0-9]*\):|$file:\1: opens an X11 connection of its own; take the owner's:|"
        elif [ "$count" -gt 1 ]; then
            echo "$calls" | sed "s|^\([0-9]*\):|$file:\1: opens more than one X11 connection:|"
        fi
    done
done > "$out"
if [ -s "$out" ]; then
    cat "$out"
    exit 1
fi
echo "x11-connections: XOpenDisplay only in $(echo "$OWNERS" | tr '\n' ' ')"
