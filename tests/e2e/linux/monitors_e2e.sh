#!/bin/sh
# monitors_e2e.sh CASE KELVARA WITH_XORG_DUMMY WORKDIR [X_WINDOW]
# One several-monitor case of the native saver, full screen, on an Xorg with
# the dummy driver whose monitors are placed as the case says. Each monitor's
# desktop is its own pattern (monitor_checks.sh); Mode 1 with the camera
# still, every monitor must show its own desktop, upright, whole and centred.
# The preview case runs /p in a window X_WINDOW (tests/e2e/linux/x_window)
# makes instead.
# Exit 77 when the server cannot be had here (not root).
set -u
case_name=$1 kelvara=$2 withxorg=$3 work=$4 xwindow=${5:-}
here=$(cd "$(dirname "$0")" && pwd)

. "$here/../monitor_checks.sh"

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    layout=$(case_layout "$case_name") || { echo "FAIL: no such case $case_name" >&2; exit 1; }
    # shellcheck disable=SC2086
    KELVARA_E2E_INSIDE=1 exec "$withxorg" $layout sh "$0" "$@"
fi

. "$(dirname "$0")/../case_run.sh"

monitors "$dir/monitors"
echo "monitors (x y w h primary):"
sed 's/^/   /' "$dir/monitors"
# shellcheck disable=SC2046
set -- $(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*\)x\([0-9]*\) .*/\1 \2/p')
draw_desktop "$dir/monitors" "$1" "$2" "$dir/desktop.png" || fail "cannot draw the desktop picture"
# display answers 1 here even when the root shows the picture: look instead.
display -window root "$dir/desktop.png" 2>/dev/null
import -window root "$dir/root.png"
read -r x y _ <"$dir/monitors"
[ "$(convert "$dir/root.png" -format "%[pixel:p{$((x + 2)),$((y + 2))}]" info:)" = "srgb(255,0,0)" ] ||
    fail "cannot paint the root window"

mkdir -p "$(dirname "$settings")"
printf 'Mode=1\nenableMovement=0\n' >"$settings"
if [ "$case_name" = mode_switch ]; then
    printf 'resW=800\nresH=600\nresC=24\n' >>"$settings"
    xrandr --current >"$dir/xrandr-before"
fi

# A preview is one viewport, whatever the monitors: one scene of the whole
# root (a window handed over is one monitor), monitor 0's desktop in its left
# half and monitor 1's in its right. The window lies across the monitors'
# lower seam, clear of the middle of every quarter the capture shows. It saves
# nothing.
if [ "$case_name" = preview ]; then
    read -r x1 y1 _ h1 _ <<EOF
$(sed -n 2p "$dir/monitors")
EOF
    "$xwindow" --geometry "320x240+$((x1 - 160))+$((y1 + h1 - 240))" >"$dir/window" &
    helper=$!
    i=0
    while [ ! -s "$dir/window" ]; do
        i=$((i + 1))
        [ "$i" -gt 50 ] && fail "the test window did not appear"
        sleep 0.1
    done
    id=$(cat "$dir/window")
    cp "$settings" "$dir/settings-before"
    "$kelvara" /p "$id" 2>"$dir/stderr" &
    pid=$!
    look_until=$(($(date +%s) + 20))
    while :; do
        sleep 1
        kill -0 "$pid" 2>/dev/null || fail "the preview ended on its own"
        import -window "$id" "$dir/preview.png"
        shows_quarters "$dir/preview.png" 0 0 160 240 0 quiet &&
            shows_quarters "$dir/preview.png" 160 0 160 240 1 quiet && break
        [ "$(date +%s)" -lt "$look_until" ] || break
    done
    echo "the preview (one scene of both monitors' desktops):"
    shows_quarters "$dir/preview.png" 0 0 160 240 0 && shows_quarters "$dir/preview.png" 160 0 160 240 1 ||
        picture_fault "the preview is not one scene of the whole desktop (see $dir/preview.png)"
    kill "$pid"
    ends_within "$pid" 100 || fail "SIGTERM did not end the preview"
    pid=""
    kill "$helper"
    [ "$status" -eq 0 ] || fail "exit code $status after SIGTERM"
    cmp -s "$settings" "$dir/settings-before" || fail "the preview changed the settings"
    echo "ok ($case_name)"
    exit 0
fi

# The saves are counted by their renames onto the settings file.
strace -f -qq -e trace=rename,renameat,renameat2 -o "$dir/renames" "$kelvara" 2>"$dir/stderr" &
pid=$!

watch_saver "$pid" "$dir"

xdotool key a
ends_within "$pid" 100 || fail "a key did not end the run"
[ "$status" -eq 0 ] || fail "exit code $status after a key"
n=$(grep -c "\"$settings\") = 0" "$dir/renames")
[ "$n" -eq 1 ] || fail "the settings were saved $n times, not once"
n=$(grep -c '^[A-Za-z_0-9]*=-\{0,1\}[0-9][0-9]*$' "$settings")
[ "$n" -eq 29 ] || fail "the settings file holds $n values, not 29"
grep -qx 'Mode=1' "$settings" || fail "Mode was not kept"

if [ "$case_name" = mode_switch ]; then
    xrandr --current >"$dir/xrandr-after"
    diff "$dir/xrandr-before" "$dir/xrandr-after" >&2 || fail "the monitors did not come back as they were"
    grep -qx 'resW=800' "$settings" || fail "the display mode was not kept in the settings"
fi
echo "ok ($case_name)"
exit 0
