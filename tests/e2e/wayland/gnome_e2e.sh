#!/bin/sh
# gnome_e2e.sh KELVARA WITH_GNOME WORKDIR
# The saver on a fresh headless GNOME Shell with two monitors
# (scripts/with-gnome), started as a user would start it there: a plain
# `kelvara`, which must pick Wayland itself and, the shell having no
# layer-shell, cover each monitor with a full-screen window of its own. The
# seat has no keyboard yet when it starts (the shell would crash on a client
# that asks for one too early). Judged from the shell's own screenshots of each
# monitor: no desktop left showing, the top bar gone; a key ends the run with
# 0 and the desktop shows again, the shell still answering.
set -u
kelvara=$1 withgnome=$2 work=$3 case_name=gnome
here=$(cd "$(dirname "$0")" && pwd)
bus="/usr/bin/python3 $here/desktop_bus.py"

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withgnome" sh "$0" "$@"
fi

. "$here/../case_run.sh"

# "x y w h connector" per monitor.
$bus gnome-monitors >"$dir/monitors" || fail "the shell does not list its monitors"
[ "$(wc -l <"$dir/monitors")" -eq 2 ] || fail "the shell has not two monitors: $(cat "$dir/monitors")"

shoot() { # prefix: PREFIX-CONNECTOR.png per monitor
    while read -r x y w h name; do
        $bus gnome-shot "$1-$name.png" "$x" "$y" "$w" "$h" || fail "no screenshot of $name"
    done <"$dir/monitors"
}

# Per mille of the picture in the desktop's own colour.
desktop_share() { # file
    convert "$1" -alpha off -fuzz 10% -transparent "$desktop" -alpha extract -negate \
        -format '%[fx:int(mean*1000)]' info:
}

# The top bar's left end (its Activities button), as the desktop shows it.
bar_changed() { # file: pixels of that corner unlike the bare desktop's
    convert "$dir/before-$first.png" -crop 120x28+0+0 +repage "$dir/bar-before.png"
    convert "$1" -crop 120x28+0+0 +repage "$dir/bar-now.png"
    compare -metric AE -fuzz 10% "$dir/bar-before.png" "$dir/bar-now.png" null: 2>&1 | sed 's/[.e].*//'
}

first=$(head -n 1 "$dir/monitors" | awk '{ print $5 }')
shoot "$dir/before"
desktop=$(convert "$dir/before-$first.png" -format '%[pixel:p{512,400}]' info:)
while read -r _ _ _ _ name; do
    [ "$(desktop_share "$dir/before-$name.png")" -ge 800 ] ||
        fail "$name does not show its desktop before the run"
done <"$dir/monitors"

mkdir -p "$(dirname "$settings")"
printf 'Mode=1\n' >"$settings"
unset DISPLAY
start
look_until=$(($(date +%s) + 20))
while :; do
    sleep 1
    still_running "$pid" || fail "the saver ended on its own"
    shoot "$dir/saver"
    covered=1
    while read -r _ _ _ _ name; do
        share=$(desktop_share "$dir/saver-$name.png")
        [ "$share" -le 5 ] || covered=0
    done <"$dir/monitors"
    [ "$covered" = 1 ] && [ "$(bar_changed "$dir/saver-$first.png")" -gt 50 ] && break
    [ "$(date +%s)" -lt "$look_until" ] || break
done
while read -r _ _ _ _ name; do
    share=$(desktop_share "$dir/saver-$name.png")
    echo "$name: $share per mille of the desktop's colour left showing (want at most 5)"
    [ "$share" -le 5 ] || fail "$name is not covered (see $dir/saver-$name.png)"
done <"$dir/monitors"
n=$(bar_changed "$dir/saver-$first.png")
echo "the top bar's corner: $n pixels unlike the bare desktop's (want over 50)"
[ "$n" -gt 50 ] || fail "the top bar shows over the saver (see $dir/saver-$first.png)"

$bus gnome-keys space || fail "the key could not be sent"
ends_within "$pid" 100 || fail "a key did not end the run"
[ "$status" -eq 0 ] || fail "exit code $status after a key"
settings_written
# The shell lived through the run: it still takes screenshots, and they show
# the desktop again.
desktops_back() {
    shoot "$dir/after"
    while read -r _ _ _ _ name; do
        [ "$(desktop_share "$dir/after-$name.png")" -ge 800 ] || return 1
    done <"$dir/monitors"
}
i=0
until desktops_back; do
    i=$((i + 1))
    [ "$i" -gt 30 ] && fail "the desktop did not come back after the run (see $dir/after-*.png)"
    sleep 0.1
done
# No screencopy here: the logo and one line saying so, nothing else.
[ "$(wc -l <"$dir/stderr")" -le 1 ] || fail "more than one line on stderr"
echo "ok ($case_name)"
exit 0
