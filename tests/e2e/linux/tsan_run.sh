#!/bin/sh
# tsan_run.sh KELVARA WITH_XVFB WORKDIR
# The native saver built with ThreadSanitizer (the tsan preset), in an Xvfb of
# its own: a windowed and a full-screen run with a random preset (so the
# render thread writes the settings record the host saves at the end), each
# ended by its run limit, the second with statistics (filled on the render
# thread, written by the host). Fails on a race report or a non-zero exit.
set -u
kelvara=$1 withxvfb=$2 work=$3

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withxvfb" sh "$0" "$@"
fi

dir="$work/tsan_run"
rm -rf "$dir"
mkdir -p "$dir"
export XDG_CONFIG_HOME="$dir/config"
unset XSCREENSAVER_WINDOW

status=0
run() { # name args...
    name=$1
    shift
    "$kelvara" "$@" 2>"$dir/$name.stderr"
    code=$?
    if [ "$code" -ne 0 ] || grep -q 'ThreadSanitizer' "$dir/$name.stderr"; then
        echo "FAIL ($name): exit $code" >&2
        sed 's/^/  /' "$dir/$name.stderr" >&2
        status=1
    else
        echo "ok ($name)"
    fi
}

run window --window --seconds 3 --randPreset 1
run fullscreen --frames 60 --randPreset 1 --Mode 0 --stats "$dir/stats.txt"
[ -s "$XDG_CONFIG_HOME/kelvara/settings" ] || { echo "FAIL: no settings saved" >&2; status=1; }
exit "$status"
