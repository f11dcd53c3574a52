#!/bin/sh
# xscreensaver_e2e.sh one|two KELVARA SCRIPTS WORKDIR
# The saver under XScreenSaver's own daemon, started as a user starts it:
# "programs: GL: kelvara --root" in ~/.xscreensaver, then
# xscreensaver-command -select 1, over a desktop of four coloured quadrants.
# one: an Xvfb screen. two: two monitors side by side (Xorg's dummy driver,
# root only), where the daemon runs one program per monitor, each on that
# monitor's window with that monitor's screenshot.
# The daemon refuses to run as root: as root, the runs belong to the user
# kelvara-test (made when missing); otherwise to the user running the test.
set -u
layout=$1 kelvara=$2 scripts=$3 work=$4

if [ -z "${KELVARA_XSS_INSIDE:-}" ]; then
    export KELVARA_XSS_INSIDE=1
    case "$layout" in
    one) exec "$scripts/with-xvfb" sh "$0" "$@" ;;
    two) exec "$scripts/with-xorg-dummy" 1024x768+0+0,1024x768+1024+0 sh "$0" "$@" ;;
    *) echo "xscreensaver_e2e.sh: one or two, not $layout" >&2 && exit 2 ;;
    esac
fi

dir="$work/xscreensaver-$layout"
rm -rf "$dir"
mkdir -p "$dir"
unset XSCREENSAVER_WINDOW

# The user's side lives where that user may read it: the build folder may not
# be (CI builds under root's home).
tmp=$(mktemp -d /tmp/kelvara-xss.XXXXXX)
chmod 755 "$tmp"
home="$tmp/home"
mkdir -p "$home"
cp "$kelvara" "$tmp/kelvara"
chmod 755 "$tmp/kelvara"
as_user=""
if [ "$(id -u)" -eq 0 ]; then
    user="kelvara-test"
    # Another run may be making the same user just now.
    getent passwd "$user" >/dev/null ||
        useradd --system --no-create-home --shell /usr/sbin/nologin "$user" 2>/dev/null ||
        getent passwd "$user" >/dev/null || {
        echo "FAIL (xscreensaver-$layout): cannot make the user $user" >&2
        exit 1
    }
    chown -R "$user" "$home"
    as_user="runuser -u $user --"
fi
as_user() { # command...
    # shellcheck disable=SC2086
    $as_user env -i DISPLAY="$DISPLAY" HOME="$home" PATH="$PATH" LANG=C.UTF-8 "$@"
}

# True once no run of the saver is left, within 5 s (a run saves as it ends);
# else the runs are in $left.
runs_ended() {
    i=0
    while left=$(pgrep -f "^$tmp/kelvara " 2>/dev/null); do
        i=$((i + 1))
        [ "$i" -lt 50 ] || return 1
        sleep 0.1
    done
    return 0
}

daemon=""
cleanup() {
    if [ -n "$daemon" ]; then
        as_user xscreensaver-command -exit >/dev/null 2>&1
        i=0
        while kill -0 "$daemon" 2>/dev/null && [ "$i" -lt 50 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        kill "$daemon" 2>/dev/null
        wait "$daemon" 2>/dev/null
        daemon=""
    fi
    # Any run the daemon did not end is a fault, ended here.
    runs_ended
    # shellcheck disable=SC2086
    [ -n "$left" ] && kill $left 2>/dev/null
    rm -rf "$tmp"
    [ -z "$left" ]
}

fail() {
    echo "FAIL (xscreensaver-$layout): $*" >&2
    [ -f "$dir/daemon.log" ] && grep -E 'kelvara|forked|screenshot' "$dir/daemon.log" | sed 's/^/  daemon: /' >&2
    cleanup
    exit 1
}

# Tenths of a percent of a picture whose pixels clearly have a colour, however
# dimly lit: r g b y, or w for the logo's near-white.
hue_share() { # file r|g|b|y|w
    case $2 in
    r) expr='r>2*g && r>2*b && r>0.02' ;;
    g) expr='g>2*r && g>2*b && g>0.02' ;;
    b) expr='b>2*r && b>2*g && b>0.02' ;;
    y) expr='r>2*b && g>2*b && g>0.6*r && r>0.6*g && r>0.02' ;;
    w) expr='r>0.6 && g>0.6 && b>0.6' ;;
    esac
    convert "$1" -alpha off -scale 160x120! -fx "$expr" -colorspace gray -format '%[fx:int(mean*1000)]' info:
}

# The colours a picture shows, of r g b y, as a word: "rgby", "rg", ...
colours() { # file
    seen=""
    for c in r g b y; do
        [ "$(hue_share "$1" $c)" -ge 5 ] && seen="$seen$c"
    done
    echo "$seen"
}

# The share (per mille) of a picture's lit pixels tinted light blue like the
# logo's lettering.
light_blue() { # file
    convert "$1" -alpha off -scale 160x120! -depth 8 txt:- |
        sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
        awk '$1 + $2 + $3 > 60 { n++; if ($3 - $1 > 40 && $3 - $2 > 10) t++ }
             END { if (n == 0) n = 1; printf "%d\n", 1000 * t / n }'
}

# The monitors' pictures of a screenshot of the root.
monitor_shots() { # root.png prefix
    if [ "$layout" = two ]; then
        convert "$1" -crop 1024x768+0+0 +repage "$2-1.png"
        convert "$1" -crop 1024x768+1024+0 +repage "$2-2.png"
    else
        cp "$1" "$2-1.png"
    fi
}

# What each monitor must show of the desktop's colours.
if [ "$layout" = two ]; then wanted="rg by"; else wanted="rgby"; fi
monitors=$(echo "$wanted" | wc -w)

# Waits up to 40 s (a busy machine draws its first frames late) until every
# monitor of the screen shows its own colours; the shot is left in $1.
wait_for_desktop() { # prefix
    tries=0
    while :; do
        sleep 1
        import -window root "$1.png"
        monitor_shots "$1.png" "$1"
        n=1
        ok=1
        for want in $wanted; do
            [ "$(colours "$1-$n.png")" = "$want" ] || ok=0
            n=$((n + 1))
        done
        [ "$ok" -eq 1 ] && return 0
        tries=$((tries + 1))
        [ "$tries" -lt 40 ] || return 1
    done
}

# Waits up to 40 s until every monitor shows the logo's white; the shot is
# left in $1.
wait_for_logo() { # prefix
    tries=0
    while :; do
        sleep 1
        import -window root "$1.png"
        monitor_shots "$1.png" "$1"
        ok=1
        for n in $(seq "$monitors"); do
            [ "$(hue_share "$1-$n.png" w)" -ge 50 ] || ok=0
        done
        [ "$ok" -eq 1 ] && return 0
        tries=$((tries + 1))
        [ "$tries" -lt 40 ] || return 1
    done
}

# The programs: the saver as a user adds it, and the same showing the logo
# by its own setting, to compare with.
write_prefs() { # grabDesktopImages value
    cat >"$home/.xscreensaver" <<EOF
mode:		one
selected:	0
timeout:	1:00:00
cycle:		1:00:00
lock:		False
splash:		False
fade:		False
unfade:		False
grabDesktopImages:	$1
programs:	GL: $tmp/kelvara --root \\n\\
		GL: $tmp/kelvara --root --useOGL 1 \\n
EOF
    [ -z "$as_user" ] || chown "$user" "$home/.xscreensaver"
}

write_prefs True
as_user xscreensaver -no-splash -verbose >"$dir/daemon.log" 2>&1 &
daemon=$!
trap 'cleanup; exit 130' INT TERM
i=0
until as_user xscreensaver-command -version >/dev/null 2>&1; do
    i=$((i + 1))
    [ "$i" -gt 100 ] && fail "the daemon did not start"
    sleep 0.1
done

# The desktop, painted once the daemon runs (it clears the root as it starts):
# red, blue above, green, yellow below; on two monitors the left one shows red
# and green, the right one blue and yellow.
size=$(xdpyinfo | sed -n 's/^ *dimensions: *\([0-9]*x[0-9]*\) pixels.*/\1/p')
w=${size%x*} h=${size#*x}
convert -size "$size" xc:red -fill blue -draw "rectangle $((w / 2)),0 $w,$((h / 2 - 1))" \
    -fill lime -draw "rectangle 0,$((h / 2)) $((w / 2 - 1)),$h" \
    -fill yellow -draw "rectangle $((w / 2)),$((h / 2)) $w,$h" "$dir/desktop.png" ||
    fail "cannot draw the desktop"
display -window root "$dir/desktop.png" 2>/dev/null
import -window root "$dir/root.png"
monitor_shots "$dir/root.png" "$dir/root"
n=1
for want in $wanted; do
    [ "$(colours "$dir/root-$n.png")" = "$want" ] || fail "cannot paint the desktop"
    n=$((n + 1))
done

echo "== Grab Desktop Images on: each monitor shows its own desktop, animated"
as_user xscreensaver-command -select 1 >/dev/null || fail "xscreensaver-command -select 1 failed"
wait_for_desktop "$dir/saver" || fail "the saver does not show the desktop's colours"
sleep 1
import -window root "$dir/saver-later.png"
[ "$(compare -metric AE "$dir/saver.png" "$dir/saver-later.png" null: 2>&1)" != 0 ] ||
    fail "the picture does not move"
# Not the bare desktop: the scene's black space shows between the pieces.
black=$(convert "$dir/saver.png" -alpha off -scale 160x120! -fx 'r+g+b<0.06' -colorspace gray \
    -format '%[fx:int(mean*1000)]' info:)
[ "$black" -ge 50 ] || fail "the screen shows the desktop, not the saver"
runs=$(grep -c "forked \"$tmp/kelvara --root\"" "$dir/daemon.log")
[ "$runs" -eq "$monitors" ] || fail "the daemon started $runs runs, not $monitors"
! grep -q '^kelvara:' "$dir/daemon.log" || fail "a run complained"

echo "== Grab Desktop Images off: the logo, said once by each run"
# The runs save their settings as they end: the still view the logo is
# compared in goes in once they have.
as_user xscreensaver-command -deactivate >/dev/null
runs_ended || fail "the runs did not end when the daemon stopped them"
mkdir -p "$home/.config/kelvara"
printf 'Mode=1\nenableMovement=0\n' >"$home/.config/kelvara/settings"
[ -z "$as_user" ] || chown -R "$user" "$home/.config"
# The logo as the saver shows it by its own setting, to compare with.
as_user xscreensaver-command -select 2 >/dev/null || fail "xscreensaver-command -select 2 failed"
wait_for_logo "$dir/logo" || fail "the saver does not show the logo with --useOGL 1"
as_user xscreensaver-command -deactivate >/dev/null
runs_ended || fail "the runs did not end when the daemon stopped them"
write_prefs False
as_user xscreensaver-command -select 1 >/dev/null || fail "xscreensaver-command -select 1 failed"
wait_for_logo "$dir/off" || fail "the logo does not show on every monitor with desktop grabs off"
for n in $(seq "$monitors"); do
    [ -z "$(colours "$dir/off-$n.png")" ] || fail "monitor $n shows the desktop's colours with desktop grabs off"
    # The picture of the logo by its setting, but for the wave's motion (the
    # desktop's colours differ from it by over 0.5), with as much of the
    # lettering's light blue (a bare white scene has none).
    differ=$(compare -metric RMSE "$dir/off-$n.png" "$dir/logo-$n.png" null: 2>&1 |
        sed -n 's/.*(\([0-9.e-]*\)).*/\1/p')
    blue=$(light_blue "$dir/off-$n.png")
    logo_blue=$(light_blue "$dir/logo-$n.png")
    echo "   monitor $n: differs from the logo by $differ (RMSE); light blue $blue/1000, the logo's $logo_blue/1000"
    awk -v d="$differ" 'BEGIN { exit !(d != "" && d < 0.25) }' ||
        fail "monitor $n: the picture differs from the logo's by $differ (RMSE)"
    d=$((blue - logo_blue))
    [ "$blue" -ge 20 ] && [ $((${d#-} * 10)) -le $((logo_blue * 4)) ] ||
        fail "monitor $n: light blue $blue/1000 is not the logo's $logo_blue/1000"
done
said=$(grep -c '^kelvara: XScreenSaver.s "Grab Desktop Images" is off (grabDesktopImages: False in ~/.xscreensaver); showing the logo instead$' "$dir/daemon.log")
[ "$said" -eq "$monitors" ] || fail "$said runs said the desktop grabs are off, not $monitors"

cleanup || fail "runs of the saver were left behind"
echo "ok (xscreensaver-$layout)"
exit 0
