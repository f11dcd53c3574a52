#!/bin/sh
# saver_e2e.sh CASE KELVARA X_WINDOW WITH_XVFB WORKDIR
# One end-to-end case of the native saver, run inside an Xvfb of its own.
set -u
case_name=$1 kelvara=$2 xwindow=$3 withxvfb=$4 work=$5

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withxvfb" sh "$0" "$@"
fi

dir="$work/$case_name"
rm -rf "$dir"
mkdir -p "$dir"
export XDG_CONFIG_HOME="$dir/config"
unset XSCREENSAVER_WINDOW
settings="$XDG_CONFIG_HOME/kelvara/settings"
pids=""

fail() {
    echo "FAIL ($case_name): $*" >&2
    [ -f "$dir/stderr" ] && sed 's/^/  kelvara: /' "$dir/stderr" >&2
    for p in $pids; do kill "$p" 2>/dev/null; done
    exit 1
}

# A desktop of two known colours: red above, blue below.
paint_root() {
    convert -size 1024x768 xc:'#ff0000' -fill '#0000ff' -draw 'rectangle 0,384 1023,767' "$dir/desktop.png" ||
        fail "cannot draw the desktop picture"
    # display answers 1 here even when the root shows the picture: look instead.
    display -window root "$dir/desktop.png" 2>/dev/null
    import -window root "$dir/root.png"
    [ "$(share "$dir/root.png" '#ff0000')" -ge 45 ] || fail "cannot paint the root window"
}

# Share of the picture's pixels near a colour, in percent.
share() { # file colour
    convert "$1" -alpha off -fuzz 25% -fill white -opaque "$2" -fill black +opaque white \
        -colorspace gray -format '%[fx:int(mean*100)]' info:
}

# Share of pixels where one channel clearly leads, however dimly lit, in
# tenths of a percent: the scene's light darkens the picture unevenly, and the
# camera's zoom may leave the picture small.
hue_share() { # file r|g|b
    case $2 in
    r) expr='r>2*g && r>2*b && r>0.02' ;;
    b) expr='b>2*r && b>2*g && b>0.02' ;;
    esac
    convert "$1" -alpha off -scale 160x120! -fx "$expr" -colorspace gray -format '%[fx:int(mean*1000)]' info:
}

shows_desktop() { # file
    red=$(hue_share "$1" r)
    blue=$(hue_share "$1" b)
    [ "$red" -ge 5 ] && [ "$blue" -ge 5 ] ||
        fail "$1 shows red ${red}0/00 and blue ${blue}0/00, not the desktop's colours"
}

start() { # args...
    "$kelvara" "$@" 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
}

# Waits up to $2 tenths of a second for process $1 to end; sets $status.
ends_within() {
    i=0
    while kill -0 "$1" 2>/dev/null; do
        i=$((i + 1))
        [ "$i" -gt "$2" ] && return 1
        sleep 0.1
    done
    wait "$1"
    status=$?
    return 0
}

still_running() { kill -0 "$1" 2>/dev/null; }

settings_written() {
    [ -f "$settings" ] || fail "no settings file at $settings"
    n=$(grep -c '^[A-Za-z_0-9]*=-\{0,1\}[0-9][0-9]*$' "$settings")
    [ "$n" -eq 29 ] || fail "the settings file holds $n values, not 29"
}

case "$case_name" in
fullscreen)
    paint_root
    # A setting given for the run must not be saved.
    start --x_div 30
    sleep 3
    still_running "$pid" || fail "the saver ended on its own"
    import -window root "$dir/shot.png"
    shows_desktop "$dir/shot.png"
    # Not the bare root: the saver's black space around the pieces.
    [ "$(share "$dir/shot.png" '#000000')" -ge 5 ] || fail "the screen shows no saver"
    xdotool key a
    ends_within "$pid" 50 || fail "a key did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a key"
    settings_written
    grep -qx 'x_div=25' "$settings" || fail "the run's --x_div was saved"
    # A mouse button ends it as well.
    start
    sleep 2
    xdotool click 1
    ends_within "$pid" 50 || fail "a button did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a button"
    ;;
motion)
    start --no-vsync
    sleep 2
    for x in 10 20 30 40 50 60; do
        xdotool mousemove "$x" 100
        sleep 0.1
    done
    sleep 1
    still_running "$pid" || fail "six motions ended the run"
    xdotool mousemove 70 100
    ends_within "$pid" 50 || fail "the seventh motion did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after the seventh motion"
    settings_written
    ;;
signal)
    start
    sleep 2
    kill -TERM "$pid"
    ends_within "$pid" 50 || fail "SIGTERM did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after SIGTERM"
    settings_written
    rm -f "$settings"
    # XScreenSaver's root run ends only by a signal.
    start -root
    sleep 2
    still_running "$pid" || fail "the -root run ended on its own"
    kill -INT "$pid"
    ends_within "$pid" 50 || fail "SIGINT did not end the -root run"
    [ "$status" -eq 0 ] || fail "exit code $status after SIGINT"
    settings_written
    ;;
window_id)
    paint_root
    "$xwindow" >"$dir/window" &
    helper=$!
    pids="$pids $helper"
    i=0
    while [ ! -s "$dir/window" ]; do
        i=$((i + 1))
        [ "$i" -gt 50 ] && fail "the test window did not appear"
        sleep 0.1
    done
    id=$(cat "$dir/window")
    start -window-id "$id" --Mode 0 --enableMovement 0
    sleep 3
    import -window "$id" "$dir/shot.png"
    shows_desktop "$dir/shot.png"
    # Upright: red above blue, as on the desktop.
    convert "$dir/shot.png" -crop 100%x30%+0+0 "$dir/top.png"
    convert "$dir/shot.png" -gravity south -crop 100%x30%+0+0 "$dir/bottom.png"
    [ "$(hue_share "$dir/top.png" r)" -gt "$(hue_share "$dir/top.png" b)" ] &&
        [ "$(hue_share "$dir/bottom.png" b)" -gt "$(hue_share "$dir/bottom.png" r)" ] ||
        fail "the picture in the window is not upright"
    # Keys and motion belong to the window's owner here.
    xdotool mousemove 300 300 mousemove 310 310 mousemove 320 320 mousemove 330 330 \
        mousemove 340 340 mousemove 350 350 mousemove 360 360 mousemove 370 370 key a
    sleep 0.5
    still_running "$pid" || fail "input ended a -window-id run"
    kill -TERM "$helper"
    ends_within "$pid" 50 || fail "the run did not end with its window"
    [ "$status" -eq 0 ] || fail "exit code $status after the window went away"
    wait "$helper"
    settings_written
    # The window XScreenSaver names in the environment, with -root.
    "$xwindow" >"$dir/window2" &
    helper=$!
    pids="$pids $helper"
    sleep 1
    XSCREENSAVER_WINDOW=$(cat "$dir/window2") "$kelvara" -root 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    sleep 2
    import -window "$(cat "$dir/window2")" "$dir/shot2.png"
    shows_desktop "$dir/shot2.png"
    kill -TERM "$helper"
    ends_within "$pid" 50 || fail "the XSCREENSAVER_WINDOW run did not end with its window"
    [ "$status" -eq 0 ] || fail "exit code $status after the XSCREENSAVER_WINDOW window went away"
    wait "$helper"
    ;;
limits)
    # A measuring run ends by itself, as a key would, and says how it went.
    start --frames 40 --no-vsync --stats "$dir/stats" --x_div 30
    ends_within "$pid" 300 || fail "--frames 40 did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after --frames"
    settings_written
    grep -qx 'x_div=25' "$settings" || fail "the run's --x_div was saved"
    frames=$(sed -n 's/^frames=//p' "$dir/stats")
    [ -n "$frames" ] && [ "$frames" -ge 40 ] || fail "the statistics count '$frames' frames, not 40 or more"
    for key in run_seconds fps frame_ms_mean frame_ms_median frame_ms_p99 startup_ms capture_ms peak_rss_kib; do
        grep -q "^$key=[0-9][0-9.]*$" "$dir/stats" || fail "the statistics lack $key"
    done
    rss=$(sed -n 's/^peak_rss_kib=//p' "$dir/stats")
    [ "$rss" -gt 1000 ] || fail "peak memory $rss KiB is not believable"
    # A time limit, with no frame limit, and nothing written where it cannot be.
    start --seconds 1.5 --stats "$dir/no/such/folder/stats"
    sleep 0.5
    still_running "$pid" || fail "--seconds 1.5 ended the run too early"
    ends_within "$pid" 100 || fail "--seconds 1.5 did not end the run"
    [ "$status" -eq 1 ] || fail "exit code $status when the statistics could not be written"
    grep -q '^kelvara: --stats: .*stats: ' "$dir/stderr" || fail "no clear message for the unwritable statistics"
    ;;
options)
    for args in "--bogus" "--x_div abc" "--Mode" "-window-id 0" "/q" "/p" "--window /s" "-root --window" \
        "--frames 0" "--seconds -2" "--stats"; do
        # shellcheck disable=SC2086
        "$kelvara" $args 2>"$dir/stderr" >/dev/null
        status=$?
        [ "$status" -eq 2 ] || fail "'$args' exited with $status, not 2"
        grep -q '^kelvara: .*(try --help)$' "$dir/stderr" || fail "'$args' gave no clear message"
    done
    "$kelvara" --help >"$dir/help" || fail "--help failed"
    for word in -root -window-id --window --fullscreen --settings --no-vsync --fps --list-modes /s /p /c --x_div --resC; do
        grep -q -- "$word" "$dir/help" || fail "--help does not mention $word"
    done
    "$kelvara" -window-id 0x7ffffff 2>"$dir/stderr"
    status=$?
    [ "$status" -eq 1 ] || fail "a missing window exited with $status, not 1"
    "$kelvara" /c >"$dir/config" || fail "/c failed"
    grep -q "^Settings file: $settings" "$dir/config" || fail "/c does not name the settings file"
    [ "$(grep -c '=' "$dir/config")" -eq 29 ] || fail "/c does not list 29 values"
    ;;
display)
    "$kelvara" --list-modes >"$dir/modes" || fail "--list-modes failed"
    grep -qx '1024x768x24' "$dir/modes" || fail "--list-modes does not list the screen's 1024x768x24"
    mkdir -p "$(dirname "$settings")"
    # The screen's own mode can be set; the run goes as usual.
    printf 'resW=1024\nresH=768\nresC=24\n' >"$settings"
    start
    sleep 2
    still_running "$pid" || fail "the screen's own mode ended the run"
    xdotool key a
    ends_within "$pid" 50 || fail "a key did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status"
    grep -qx 'resW=1024' "$settings" || fail "the display mode was not kept"
    # A depth the screen does not have: the failure text, exit 1, nothing saved.
    printf 'resW=1024\nresH=768\nresC=16\n' >"$settings"
    cp "$settings" "$dir/before"
    start
    ends_within "$pid" 50 || fail "an impossible mode did not end the run"
    [ "$status" -eq 1 ] || fail "exit code $status for an impossible mode, not 1"
    grep -q 'The video mode 1024x768x16-bit color is not supported' "$dir/stderr" || fail "no failure text"
    grep -q 'Error setting resolution' "$dir/stderr" || fail "no 'Error setting resolution'"
    cmp -s "$settings" "$dir/before" || fail "the settings were saved after a failed switch"
    ;;
*)
    fail "no such case"
    ;;
esac

for p in $pids; do
    still_running "$p" && fail "process $p was left behind"
done
echo "ok ($case_name)"
exit 0
