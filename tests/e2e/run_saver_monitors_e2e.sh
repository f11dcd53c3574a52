#!/bin/sh
# run_saver_monitors_e2e.sh CASE SAVER.scr HELPER.exe WITH_XORG_DUMMY OUTDIR
# One several-monitor case of the Windows saver (/s under Wine) on an Xorg with
# the dummy driver whose monitors are placed as the case says. The helper
# paints each monitor's own pattern (monitor_checks.sh) over the whole virtual
# screen; Mode 1 with the camera still, every monitor must show its own
# desktop, upright, whole and centred. Exit 77 when the server cannot be had
# here (not root).
set -u
case_name=$1 scr=$2 helper=$3 withxorg=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)

. "$here/monitor_checks.sh"

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    layout=$(case_layout "$case_name") || { echo "FAIL: no such case $case_name" >&2; exit 1; }
    # shellcheck disable=SC2086
    KELVARA_E2E_INSIDE=1 exec "$withxorg" $layout sh "$0" "$@"
fi

dir="$out/$case_name"
rm -rf "$dir"
mkdir -p "$dir"
saver="" desktop=""
. "$here/wine_case.sh"

fail() {
    echo "FAIL ($case_name): $*" >&2
    [ -n "$saver" ] && kill "$saver" 2>/dev/null
    [ -n "$desktop" ] && kill "$desktop" 2>/dev/null
    wineserver -k >/dev/null 2>&1
    exit 1
}


# A preview is one viewport, whatever the monitors: the primary's desktop in
# the preview window, here one on the second monitor. It saves nothing.
preview_case() {
    read -r x1 y1 _ <<EOF
$(sed -n 2p "$dir/monitors")
EOF
    wine "$helper" preview "$(winepath -w "$scr")" 12 $((x1 + 300)) $((y1 + 250)) >"$dir/preview.log" 2>&1 &
    saver=$!
    i=0
    until grep -qs "preview ready" "$dir/preview.log"; do
        i=$((i + 1))
        [ "$i" -gt 200 ] && fail "the preview did not start: $(tr -d '\r' <"$dir/preview.log")"
        sleep 0.1
    done
    # Wine draws a child window's OpenGL into an X window of its own, kept
    # off the screen: that window is the preview's picture.
    look_until=$(($(date +%s) + 8))
    while :; do
        sleep 1
        gl=$(xwininfo -root -tree | awk '/ 320x240\+/ && !/Kelvara preview parent/ { print $1; exit }')
        if [ -n "$gl" ] && import -window "$gl" "$dir/preview.png" 2>/dev/null; then
            set -- $(identify -format '%w %h' "$dir/preview.png")
            own_desktop "$dir/preview.png" 0 0 "$1" "$2" 0 quiet && break
        fi
        [ "$(date +%s)" -lt "$look_until" ] || break
    done
    [ -n "$gl" ] || fail "no X window holds the preview's picture"
    echo "the preview (the primary's desktop, one viewport):"
    own_desktop "$dir/preview.png" 0 0 "$1" "$2" 0 ||
        picture_fault "the preview does not show the primary's desktop whole (see $dir/preview.png)"
    wait "$saver"
    rc=$?
    saver=""
    tr -d '\r' <"$dir/preview.log" | sed 's/^/   /'
    [ "$rc" -eq 0 ] || fail "the preview's checks failed"
    kill "$desktop" 2>/dev/null
    wait "$desktop" 2>/dev/null
    desktop=""
    wineserver -w
    n=$(wine reg query "$key" 2>/dev/null | grep -c REG_DWORD)
    [ "$n" -eq 2 ] || fail "$n values under the key after a preview, want the 2 set"
    wineserver -k >/dev/null 2>&1
    echo "ok ($case_name)"
}


monitors "$dir/monitors"
echo "monitors under X (x y w h primary):"
sed 's/^/   /' "$dir/monitors"
wine "$helper" monitors 2>/dev/null | tr -d '\r' >"$dir/wine-monitors"
echo "monitors under Wine:"
sed 's/^/   /' "$dir/wine-monitors"
[ "$(grep -c '^monitor ' "$dir/wine-monitors")" -eq "$(wc -l <"$dir/monitors")" ] ||
    fail "Wine does not see every monitor"

# One regedit run sets the run's settings afresh (each Wine start is slow).
{
    printf 'REGEDIT4\n\n[-HKEY_CURRENT_USER\\%s]\n\n[HKEY_CURRENT_USER\\%s]\n' "${key#HKCU\\}" "${key#HKCU\\}"
    printf '"Mode"=dword:00000001\n"enableMovement"=dword:00000000\n'
    if [ "$case_name" = mode_switch ]; then
        depth=$(wine "$helper" modes 2>/dev/null | tr -d '\r' | awk '$1 == "current" { split($2, m, "x"); print m[3] }')
        printf '"resW"=dword:%08x\n"resH"=dword:%08x\n"resC"=dword:%08x\n' 800 600 "$depth"
    fi
} >"$dir/settings.reg"
wine regedit /S "Z:$(echo "$dir/settings.reg" | tr / '\\')" >/dev/null 2>&1
[ "$(wine reg query "$key" 2>/dev/null | grep -c REG_DWORD)" -ge 2 ] || fail "cannot set the run's settings"
[ "$case_name" = mode_switch ] && xrandr --current >"$dir/xrandr-before"

# shellcheck disable=SC2046
wine "$helper" desktop 120 $(desktop_args "$dir/monitors") >"$dir/desktop.log" 2>&1 &
desktop=$!
i=0
until xdotool search --name '^Kelvara test desktop$' >/dev/null 2>&1; do
    i=$((i + 1))
    [ "$i" -gt 200 ] && fail "the test desktop did not appear"
    sleep 0.1
done
sleep 0.5
import -window root "$dir/desktop.png"

if [ "$case_name" = preview ]; then
    preview_case
    exit 0
fi

# Each value the saver stores is one registry write: the run's are counted.
WINEDEBUG=-all,+reg wine "$scr" /s 2>"$dir/reg-trace.log" &
saver=$!
i=0
until xdotool search --name '^Screen Saver$' >/dev/null 2>&1; do
    i=$((i + 1))
    [ "$i" -gt 200 ] && fail "no window titled Screen Saver"
    sleep 0.1
done
watch_saver "$saver" "$dir"

xdotool key space
wait_exit "$saver" 15
rc=$?
saver=""
[ "$rc" -eq 0 ] || fail "exit code $rc after a key"
kill "$desktop" 2>/dev/null
wait "$desktop" 2>/dev/null
desktop=""
wineserver -w
n=$(grep -c 'NtSetValueKey (.*L"resC"' "$dir/reg-trace.log")
[ "$n" -eq 1 ] || fail "the settings were saved $n times, not once"
n=$(wine reg query "$key" 2>/dev/null | grep -c REG_DWORD)
[ "$n" -eq 29 ] || fail "$n values saved, not 29"

if [ "$case_name" = mode_switch ]; then
    xrandr --current >"$dir/xrandr-after"
    diff "$dir/xrandr-before" "$dir/xrandr-after" >&2 || fail "the monitors did not come back as they were"
fi
wineserver -k >/dev/null 2>&1
echo "ok ($case_name)"
exit 0
