#!/bin/sh
# gnome_e2e.sh KELVARA WITH_GNOME WORKDIR
# The saver on a fresh headless GNOME Shell with two monitors of different
# sizes (scripts/with-gnome), started as a user would start it there: a plain
# `kelvara`, which must pick Wayland itself, cover each monitor with a
# full-screen window of its own (the shell has no layer-shell) and take the
# desktop's picture from the desktop portal. The seat has no keyboard yet
# when it starts (the shell would crash on a client that asks for one too
# early).
#
# Each monitor's desktop is its own pattern (monitor_checks.sh), one
# background picture spanned over both. The portal is prepared as on a desktop
# whose user has answered its one-time question: started by activation for
# this display, the answer in the permission store; kelvara --allow-capture
# then gets its picture. Judged from the shell's own screenshots of each
# monitor: each shows its own desktop, upright and centred, moving, the top
# bar gone; a key ends the run with 0, the desktop shows again, the shell
# still answers, and no picture file is left in HOME.
set -u
kelvara=$1 withgnome=$2 work=$3 case_name=gnome
here=$(cd "$(dirname "$0")" && pwd)
bus="/usr/bin/python3 $here/desktop_bus.py"

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withgnome" sh "$0" "$@"
fi

. "$here/../monitor_checks.sh"
. "$here/../case_run.sh"

# "x y w h connector" per monitor, from the left (the order of the patterns).
$bus gnome-monitors | sort -n -k1,1 -k2,2 >"$dir/monitors" || fail "the shell does not list its monitors"
[ "$(wc -l <"$dir/monitors")" -eq 2 ] || fail "the shell has not two monitors: $(cat "$dir/monitors")"
first=$(head -n 1 "$dir/monitors" | awk '{ print $5 }')

shoot() { # prefix: PREFIX-CONNECTOR.png per monitor
    while read -r x y w h name; do
        $bus gnome-shot "$1-$name.png" "$x" "$y" "$w" "$h" || fail "no screenshot of $name"
    done <"$dir/monitors"
}
# looks CHECK PREFIX SECONDS: shoots every monitor until CHECK PREFIX holds
# (a shot takes a while here, so the limit is in time, not tries).
looks() {
    until_time=$(($(date +%s) + $3))
    until shoot "$2" && "$1" "$2"; do
        [ "$(date +%s)" -ge "$until_time" ] && return 1
        sleep 0.1
    done
}
each() { # check prefix [quiet]: CHECK on every monitor's picture
    ok=0 k=0
    while read -r _ _ w h name; do
        # shellcheck disable=SC2086
        "$1" "$2-$name.png" 0 0 "$w" "$h" "$k" ${3:-} || ok=1
        k=$((k + 1))
    done <"$dir/monitors"
    return "$ok"
}
# The bare desktop: every monitor its part of the picture below the top
# bar (32 pixels), pixel for pixel: nothing over it, no banner either.
bare() { # prefix
    while read -r x y w h name; do
        convert "$dir/desktop.png" -crop "${w}x$((h - 40))+$x+$((y + 40))" +repage "$dir/want.png"
        convert "$1-$name.png" -crop "${w}x$((h - 40))+0+40" +repage "$dir/got.png"
        n=$(compare -metric AE -fuzz 10% "$dir/want.png" "$dir/got.png" null: 2>&1 | sed 's/[.e].*//')
        [ "$n" -le $((w * h / 1000)) ] || return 1
    done <"$dir/monitors"
}
own() { each own_desktop "$1" "${2:-}"; } # prefix [quiet]
own_quiet() { own "$1" quiet; }
# The top bar's left end (its Activities button) against the bare desktop's.
bar_changed() { # file: pixels of that corner unlike the bare desktop's
    convert "$dir/before-$first.png" -crop 120x28+0+0 +repage "$dir/bar-before.png"
    convert "$1" -crop 120x28+0+0 +repage "$dir/bar-now.png"
    compare -metric AE -fuzz 10% "$dir/bar-before.png" "$dir/bar-now.png" null: 2>&1 | sed 's/[.e].*//'
}

# The desktops: one picture over the bounding box of the monitors, spanned.
sw=$(awk '{ if ($1 + $3 > m) m = $1 + $3 } END { print m }' "$dir/monitors")
sh=$(awk '{ if ($2 + $4 > m) m = $2 + $4 } END { print m }' "$dir/monitors")
draw_desktop "$dir/monitors" "$sw" "$sh" "$dir/desktop.png" || fail "cannot draw the desktop picture"
gsettings set org.gnome.desktop.background picture-options spanned &&
    gsettings set org.gnome.desktop.background picture-uri "file://$dir/desktop.png" &&
    gsettings set org.gnome.desktop.background picture-uri-dark "file://$dir/desktop.png" ||
    fail "gsettings cannot set the background"
# The shell's banner about the screen lock (it comes a while after the start)
# stays until the user is active after it showed: the pointer moves until it
# is gone.
nudged() { bare "$1" || { $bus gnome-nudge || fail "the pointer could not be moved"; return 1; }; }
looks nudged "$dir/before" 30 || fail "the shell does not show the painted desktops (see $dir/before-*.png)"

# The portal as a user's desktop has it after the one-time question.
$bus portal-allow || fail "the portal could not be prepared"
touch "$dir/marker"
"$kelvara" --allow-capture >"$dir/allow" 2>"$dir/stderr" || fail "--allow-capture: exit $?"
grep -q "^Allowed: " "$dir/allow" || fail "--allow-capture does not say the portal allowed it"
[ ! -s "$dir/stderr" ] || fail "--allow-capture said something on stderr"

mkdir -p "$(dirname "$settings")"
printf 'Mode=1\nenableMovement=0\n' >"$settings"
unset DISPLAY
started=$(date +%s%N)
start --stats "$dir/stats"
looks own_quiet "$dir/saver" 40 || { own "$dir/saver"; fail "not every monitor shows its own desktop"; }
echo "start-up: both monitors drawn after $((($(date +%s%N) - started) / 1000000)) ms" \
    "(to the end of the screenshot that showed it)"
own "$dir/saver" || fail "the monitors show something else"
sleep 1
looks own_quiet "$dir/later" 10 || fail "the monitors lost their desktops (see $dir/later-*.png)"
while read -r _ _ _ _ name; do
    moved=$(compare -metric AE -fuzz 2% "$dir/saver-$name.png" "$dir/later-$name.png" null: 2>&1 |
        sed 's/[.e].*//')
    echo "   $name: $moved pixels changed in a second"
    [ "$moved" -ge 500 ] || fail "$name does not move (see $dir/saver-$name.png, $dir/later-$name.png)"
done <"$dir/monitors"
n=$(bar_changed "$dir/later-$first.png")
echo "the top bar's corner: $n pixels unlike the bare desktop's (want over 50)"
[ "$n" -gt 50 ] || fail "the top bar shows over the saver (see $dir/later-$first.png)"

$bus gnome-keys space || fail "the key could not be sent"
ends_within "$pid" 100 || fail "a key did not end the run"
[ "$status" -eq 0 ] || fail "exit code $status after a key"
settings_written
# The shell lived through the run: it still takes screenshots, and they show
# the desktops again.
looks bare "$dir/after" 10 || fail "the desktops did not come back after the run (see $dir/after-*.png)"
[ ! -s "$dir/stderr" ] || fail "the saver said something"
grep -i -E 'start|capture' "$dir/stats" | sed 's/^/   saver: /'
# The portal writes its pictures to the user's pictures folder or home.
left=$(find "$HOME" -newer "$dir/marker" -type f \( -name '*.png' -o -name '*.jpg' \))
[ -z "$left" ] || fail "picture files left behind: $left"
echo "ok ($case_name)"
exit 0
