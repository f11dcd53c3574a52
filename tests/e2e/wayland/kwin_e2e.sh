#!/bin/sh
# kwin_e2e.sh KELVARA KEY WITH_KWIN WORKDIR
# The Wayland saver on a headless KWin of its own with two outputs, KWin's
# screenshot grant checked as on a real desktop (only its fake-input check is
# lifted, for the key): without a .desktop entry for the saver KWin refuses it
# its pictures and it shows the logo, saying why in one line; after
# kelvara --grant-capture each output shows its own desktop, animated. A key
# (KEY, through KWin's fake input) ends each run with 0, the desktops come
# back and no picture file is left behind. Pictures are taken through KWin's
# screenshot interface by desktop_bus.py, granted by an entry of its own
# (in a data folder added to XDG_DATA_DIRS).
set -u
case_name=kwin kelvara=$1 key=$2 withkwin=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    unset KWIN_SCREENSHOT_NO_PERMISSION_CHECKS
    # The test's own grant is in place before KWin first reads the entries:
    # KWin notices a later one by its folder's time, in whole seconds.
    rm -rf "$work/kwin-data"
    /usr/bin/python3 "$here/desktop_bus.py" grant-entry "$work/kwin-data/applications" || exit 1
    XDG_DATA_DIRS="$work/kwin-data:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
    export XDG_DATA_DIRS
    KELVARA_E2E_INSIDE=1 KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 exec "$withkwin" --outputs 2 --size 1024x768 \
        sh "$0" "$@"
fi

. "$here/../monitor_checks.sh"
. "$here/../case_run.sh"
shots="/usr/bin/python3 $here/desktop_bus.py"

# KWin's virtual outputs sit side by side, in order.
printf '0 0 1024 768 Virtual-0\n1024 0 1024 768 Virtual-1\n' >"$dir/outputs"

# shoot PREFIX: every output's picture, PREFIX-NAME.ppm; false when KWin gave
# none (the last answer in shot-error).
shoot() {
    while read -r _ _ _ _ name; do
        $shots kwin-shot "$name" "$1-$name.ppm" 2>"$dir/shot-error" || return 1
    done <"$dir/outputs"
}

# Each output's desktop: its group's four quarters, as a background layer.
k=0
while read -r _ _ w h name; do
    # shellcheck disable=SC2046
    set -- $(group_colours "$k")
    hw=$((w / 2)) hh=$((h / 2))
    convert -size "${w}x$h" xc:black -fill "#$1" -draw "rectangle 0,0 $((hw - 1)),$((hh - 1))" \
        -fill "#$2" -draw "rectangle $hw,0 $((w - 1)),$((hh - 1))" \
        -fill "#$3" -draw "rectangle 0,$hh $((hw - 1)),$((h - 1))" \
        -fill "#$4" -draw "rectangle $hw,$hh $((w - 1)),$((h - 1))" "$dir/desktop-$name.png" ||
        fail "cannot draw the desktop picture"
    swaybg -o "$name" -i "$dir/desktop-$name.png" -m stretch >/dev/null 2>&1 &
    pids="$pids $!"
    k=$((k + 1))
done <"$dir/outputs"

# looks CHECK PREFIX TENTHS: takes every output's picture until CHECK PREFIX
# holds (single pictures sometimes come back black) or time is up.
looks() {
    i=0
    until shoot "$2" && "$1" "$2"; do
        i=$((i + 1))
        [ "$i" -gt "$3" ] && return 1
        sleep 0.5
    done
}
bare() { # prefix: every output its own desktop with nothing over it
    k=0
    while read -r _ _ w h name; do
        read -r q0 q1 q2 q3 foreign _ <<EOF
$(judge "$1-$name.ppm" 0 0 "$w" "$h" "$k")
EOF
        for cell in "$q0" "$q1" "$q2" "$q3"; do [ "${cell#*:}" -ge 90 ] || return 1; done
        [ "$foreign" -le 5 ] || return 1
        k=$((k + 1))
    done <"$dir/outputs"
}
own() { # prefix [quiet]: every output shows the saver over its own desktop
    ok=0 k=0
    while read -r _ _ w h name; do
        # shellcheck disable=SC2086
        own_desktop "$1-$name.ppm" 0 0 "$w" "$h" "$k" ${2:-} || ok=1
        k=$((k + 1))
    done <"$dir/outputs"
    return "$ok"
}
own_quiet() { own "$1" quiet; }
logo() { # prefix: the logo's white on every output
    while read -r _ _ _ _ name; do
        [ "$(convert "$1-$name.ppm" -fuzz 25% -fill white -opaque '#ffffff' -fill black +opaque white \
            -colorspace gray -format '%[fx:int(mean*100)]' info:)" -ge 10 ] || return 1
    done <"$dir/outputs"
}
key_ends() {
    "$key" || fail "the fake key could not be pressed"
    ends_within "$pid" 100 || fail "a key did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a key"
    looks bare "$dir/after" 30 || fail "the desktops did not come back (see $dir/after-*.ppm)"
}

looks bare "$dir/desktop" 30 ||
    fail "KWin does not show the painted desktops (see $dir/desktop-*.ppm; $(cat "$dir/shot-error"))"
mkdir -p "$(dirname "$settings")"
printf 'Mode=1\nenableMovement=0\n' >"$settings"
touch "$dir/before"

# Not granted: KWin refuses, the portal gives nothing here, the logo shows.
start
looks logo "$dir/refused" 40 || fail "the logo does not show (see $dir/refused-*.ppm)"
! own "$dir/refused" quiet || fail "the desktop shows although KWin refused it"
key_ends
says 1 'org.kde.KWin.ScreenShot2.Error.NoAuthorized.*logo'

# Granted: each output its own desktop, animated. KWin notices the new entry
# by its folder's time, in whole seconds, against when it read the entries.
sleep 1.1
"$kelvara" --grant-capture >"$dir/grant" || fail "--grant-capture failed"
grep -q "kelvara-capture-.*\.desktop" "$dir/grant" || fail "--grant-capture does not say where the entry is"
start
looks own_quiet "$dir/saver" 40 || { own "$dir/saver"; fail "not every output shows its own desktop"; }
looks own_quiet "$dir/later" 10 || fail "the outputs lost their desktops (see $dir/later-*.ppm)"
while read -r _ _ _ _ name; do
    moved=$(compare -metric AE -fuzz 2% "$dir/saver-$name.ppm" "$dir/later-$name.ppm" null: 2>&1 |
        sed 's/[.e].*//')
    echo "   $name: $moved pixels changed"
    [ "$moved" -ge 500 ] || fail "$name does not move (see $dir/saver-$name.ppm, $dir/later-$name.ppm)"
done <"$dir/outputs"
key_ends
[ ! -s "$dir/stderr" ] || fail "the granted run said something"
settings_written
# Screenshots land in the user's pictures folder or home (this run's own).
left=$(find "$HOME" -newer "$dir/before" -type f \( -name '*.png' -o -name '*.jpg' \) ! -path "$dir/*")
[ -z "$left" ] || fail "picture files left behind: $left"
echo "PASS ($case_name)"
