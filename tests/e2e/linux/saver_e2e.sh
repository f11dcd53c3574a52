#!/bin/sh
# saver_e2e.sh CASE KELVARA X_WINDOW WITH_XVFB WORKDIR [REFUSE_GET_IMAGE]
# One end-to-end case of the native saver, run inside an Xvfb of its own.
set -u
case_name=$1 kelvara=$2 xwindow=$3 withxvfb=$4 work=$5 refuse_get_image=${6:-}

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    case "$1" in
    no_glx) export KELVARA_XVFB_ARGS="-extension GLX" ;;
    # The default screen a palette one, with no OpenGL configuration; GLX
    # lives on the second.
    palette)
        export KELVARA_XVFB_SIZE=1024x768x8
        export KELVARA_XVFB_ARGS="-screen 1 1024x768x24"
        ;;
    esac
    KELVARA_E2E_INSIDE=1 exec "$withxvfb" sh "$0" "$@"
fi

. "$(dirname "$0")/../case_run.sh"

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
    g) expr='g>2*r && g>2*b && g>0.02' ;;
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

# A settings file the run must leave exactly as it is.
keep_settings() { # printf-format
    mkdir -p "$(dirname "$settings")"
    # shellcheck disable=SC2059
    printf "$1" >"$settings"
    cp "$settings" "$dir/before"
}
kept() { cmp -s "$settings" "$dir/before" || fail "the settings file was changed"; }

# XScreenSaver's "Grab Desktop Images" for the runs that follow, in a home
# folder of the test's own (Debian's system default is off).
allow_desktop_grabs() { # True|False
    export HOME="$dir/home"
    mkdir -p "$HOME"
    printf 'grabDesktopImages:\t%s\n' "$1" >"$HOME/.xscreensaver"
}

# Starts the test window with the given arguments; sets $window.
open_window() { # x_window arguments...
    "$xwindow" "$@" >"$dir/window" &
    pids="$pids $!"
    helper=$!
    i=0
    while [ ! -s "$dir/window" ]; do
        i=$((i + 1))
        [ "$i" -gt 50 ] && fail "the test window did not appear"
        sleep 0.1
    done
    window=$(cat "$dir/window")
    rm -f "$dir/window"
}

# Ends the run in the test window by closing the window.
close_window() {
    kill -TERM "$helper"
    ends_within "$pid" 50 || fail "the run did not end with its window"
    [ "$status" -eq 0 ] || fail "exit code $status after the window went away"
    wait "$helper"
}

case "$case_name" in
fullscreen)
    paint_root
    # A setting given for the run must not be saved.
    start --x_div 30
    # The first frames may take a while on a busy machine: look for up to 15 s.
    tries=0
    while :; do
        sleep 1
        still_running "$pid" || fail "the saver ended on its own"
        import -window root "$dir/shot.png"
        # Not the bare root: the saver's black space around the pieces.
        if [ "$(share "$dir/shot.png" '#000000')" -ge 5 ] && [ "$(hue_share "$dir/shot.png" r)" -ge 5 ] &&
            [ "$(hue_share "$dir/shot.png" b)" -ge 5 ]; then
            break
        fi
        tries=$((tries + 1))
        [ "$tries" -lt 15 ] || break
    done
    shows_desktop "$dir/shot.png"
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
    # The window XScreenSaver names in the environment, with -root, where the
    # user lets XScreenSaver's programs grab the desktop.
    allow_desktop_grabs True
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
no_display)
    keep_settings 'Mode=2\n'
    for run in "" --window -root --list-modes; do
        # shellcheck disable=SC2086
        env -u DISPLAY "$kelvara" $run 2>"$dir/stderr"
        status=$?
        [ "$status" -eq 1 ] || fail "'$run' without DISPLAY exited with $status, not 1"
        says 1 '^kelvara: .*cannot open the display'
    done
    env -u DISPLAY "$kelvara" 2>"$dir/stderr"
    says 1 'DISPLAY is not set$'
    DISPLAY=:3999 "$kelvara" 2>"$dir/stderr"
    status=$?
    [ "$status" -eq 1 ] || fail "a display that is not there exited with $status, not 1"
    says 1 '^kelvara: XOpenDisplay\(":3999"\): cannot open the display$'
    kept
    ;;
no_glx)
    # No OpenGL on the server: every kind of run says so at once and ends,
    # leaving no window and the settings as they were.
    keep_settings 'Mode=2\nresW=1024\nresH=768\nresC=24\n'
    for run in "" --window -root; do
        # shellcheck disable=SC2086
        start $run
        ends_within "$pid" 50 || fail "'$run' went on without OpenGL"
        [ "$status" -eq 1 ] || fail "'$run' without OpenGL exited with $status, not 1"
        says 1 '^kelvara: glXQueryExtension: .*no GLX; nothing to draw with$'
    done
    kept
    [ -z "$(xwininfo -root -children | grep -i kelvara)" ] || fail "a window was left behind"
    ;;
palette)
    # No OpenGL configuration for the screen: the render thread says why and
    # the run ends at once, drawing nothing, saving nothing.
    keep_settings 'Mode=2\n'
    for run in -root --window; do
        start $run
        ends_within "$pid" 50 || fail "'$run' went on with no OpenGL configuration"
        [ "$status" -eq 1 ] || fail "'$run' exited with $status with no OpenGL configuration, not 1"
        grep -Eq "^kelvara: glXGetFBConfigs: no double-buffered RGBA configuration( for visual 0x[0-9a-f]+)?; nothing to draw with$" "$dir/stderr" ||
            fail "no reason given for the missing configuration"
        # The palette's pixels give no colours: the capture says so too.
        grep -q '^kelvara: XGetImage(root): a 8-bit palette picture: no colours to use$' "$dir/stderr" ||
            fail "no reason given for the failed capture"
    done
    kept
    ;;
screenshot)
    # A window carrying XScreenSaver's screenshot: that picture, not the
    # screen's; a bad one is said in one line and the run goes on.
    paint_root
    allow_desktop_grabs True
    open_window --daemon-class --screenshot good
    start -window-id "$window" --Mode 0 --enableMovement 0
    sleep 3
    import -window "$window" "$dir/good.png"
    [ "$(hue_share "$dir/good.png" g)" -ge 5 ] || fail "the screenshot's green does not show"
    [ "$(hue_share "$dir/good.png" r)" -lt 5 ] && [ "$(hue_share "$dir/good.png" b)" -lt 5 ] ||
        fail "the screen was taken, not the screenshot"
    close_window
    [ ! -s "$dir/stderr" ] || fail "a good screenshot was complained about"
    # On the daemon's window the screen under it is the daemon's: the logo.
    open_window --daemon-class --screenshot gone
    start -window-id "$window" --Mode 1 --enableMovement 0
    sleep 3
    import -window "$window" "$dir/gone.png"
    [ "$(share "$dir/gone.png" '#ffffff')" -ge 10 ] || fail "a freed screenshot does not give the logo"
    close_window
    says 1 "^kelvara: XScreenSaver's screenshot 0x[0-9a-f]+ \\(_SCREENSAVER_SCREENSHOT of window 0x[0-9a-f]+\\): it is gone; showing the logo instead$"
    open_window --daemon-class
    start -window-id "$window" --Mode 1 --enableMovement 0
    sleep 2
    close_window
    says 1 "^kelvara: XScreenSaver's window 0x[0-9a-f]+ holds no screenshot of the desktop .*; showing the logo instead$"
    # On a window of someone else's, the screen instead.
    open_window --screenshot small
    start -window-id "$window" --Mode 0 --enableMovement 0
    sleep 3
    import -window "$window" "$dir/small.png"
    shows_desktop "$dir/small.png"
    close_window
    says 1 ": 320x240, not the window's 640x480; taking the screen instead$"
    # The user's "Grab Desktop Images" off: the logo, said once.
    allow_desktop_grabs False
    open_window --daemon-class --screenshot good
    start -window-id "$window" --Mode 1 --enableMovement 0
    sleep 3
    import -window "$window" "$dir/off.png"
    [ "$(hue_share "$dir/off.png" g)" -lt 5 ] || fail "the screenshot shows although desktop grabs are off"
    [ "$(share "$dir/off.png" '#ffffff')" -ge 10 ] || fail "the logo's white does not show"
    close_window
    says 1 '^kelvara: XScreenSaver.s "Grab Desktop Images" is off \(grabDesktopImages: False in ~/.xscreensaver\); showing the logo instead$'
    settings_written
    grep -qx 'useOGL=0' "$settings" || fail "the logo was saved as the user's setting"
    ;;
capture_fails)
    # A desktop that cannot be read: the logo instead, said once, and the
    # fallback is not saved as the user's choice.
    paint_root
    LD_PRELOAD=$refuse_get_image "$kelvara" --Mode 1 --enableMovement 0 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    sleep 3
    still_running "$pid" || fail "the run ended without a desktop picture"
    import -window root "$dir/shot.png"
    [ "$(hue_share "$dir/shot.png" r)" -lt 5 ] || fail "the desktop's red shows although it was never captured"
    [ "$(share "$dir/shot.png" '#ffffff')" -ge 10 ] || fail "the logo's white does not show"
    xdotool key a
    ends_within "$pid" 50 || fail "a key did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a failed capture"
    says 2 '^kelvara: no picture of the desktop; showing the logo instead$'
    grep -q '^kelvara: XGetImage(root): refused$' "$dir/stderr" || fail "no reason given for the failed capture"
    settings_written
    grep -qx 'useOGL=0' "$settings" || fail "the logo fallback was saved as the user's setting"
    ;;
bad_settings)
    # Not a settings file: read as nothing, said once, and kept at the end.
    keep_settings '\211PNG\r\n\032\n\000\000\000\rIHDR'
    start --frames 3 --no-vsync
    ends_within "$pid" 300 || fail "the run did not end"
    [ "$status" -eq 0 ] || fail "exit code $status with a binary settings file"
    says 2 "^kelvara: cannot read settings file $settings: not a text file.*; using defaults$"
    grep -q "^kelvara: not saving settings to $settings: it could not be read" "$dir/stderr" ||
        fail "no word that the settings were not saved"
    kept
    # Someone else's file, named on the command line.
    printf 'shopping:\nmilk\n' >"$dir/notes"
    start --settings "$dir/notes" --frames 3 --no-vsync
    ends_within "$pid" 300 || fail "the run did not end"
    [ "$status" -eq 0 ] || fail "exit code $status with someone else's file"
    says 2 "cannot read settings file $dir/notes: no line in it is NAME=NUMBER"
    [ "$(cat "$dir/notes")" = "$(printf 'shopping:\nmilk')" ] || fail "someone else's file was replaced"
    # A folder is a command-line mistake.
    "$kelvara" --settings "$dir" 2>"$dir/stderr"
    status=$?
    [ "$status" -eq 2 ] || fail "a folder as --settings exited with $status, not 2"
    says 1 "^kelvara: --settings '$dir' is a folder, not a file \(try --help\)$"
    # A file it may not read: as another user where the tests run as root.
    keep_settings 'Mode=2\n'
    chmod 000 "$settings"
    as_user=""
    [ "$(id -u)" -eq 0 ] && as_user="setpriv --reuid=65534 --regid=65534 --clear-groups"
    # shellcheck disable=SC2086
    $as_user "$kelvara" --frames 3 --no-vsync 2>"$dir/stderr"
    status=$?
    [ "$status" -eq 0 ] || fail "exit code $status with an unreadable settings file"
    says 2 "^kelvara: cannot read settings file $settings: Permission denied; using defaults$"
    chmod 644 "$settings"
    kept
    # Values it cannot use: each keeps its default, one line says so, the
    # rest is read and the save writes whole values again.
    long=$(printf '%2000s' '')
    printf 'Mode=1\nx_div=abc\ny_div=99999999999\nresW=%s640\nzoom0=2' "$long" >"$settings"
    start --frames 3 --no-vsync
    ends_within "$pid" 300 || fail "the run did not end"
    [ "$status" -eq 0 ] || fail "exit code $status with unusable values"
    says 1 "^kelvara: settings file $settings, line 2: 'x_div=abc' is not NAME=NUMBER.* \(and 2 more such lines\); "
    [ "$(wc -c <"$dir/stderr")" -lt 300 ] || fail "the message is longer than a line should be"
    settings_written
    grep -qx 'Mode=1' "$settings" || fail "a good value was lost"
    grep -qx 'zoom0=2' "$settings" || fail "the last line, without its newline, was lost"
    grep -qx 'x_div=25' "$settings" || fail "x_div did not keep its default"
    grep -qx 'resW=0' "$settings" || fail "the over-long line was read"
    ;;
odd_options)
    # However odd the words, one line and exit 2.
    long=$(printf '%5000s' '' | tr ' ' x)
    for word in "--$long" "$(printf 'two\nlines')" "$(printf '\377\376')" "" "--x_div=$(printf '\033[31m')"; do
        "$kelvara" "$word" 2>"$dir/stderr" >/dev/null
        status=$?
        [ "$status" -eq 2 ] || fail "an odd word exited with $status, not 2"
        says 1 '^kelvara: .*\(try --help\)$'
        [ "$(wc -c <"$dir/stderr")" -lt 300 ] || fail "the message is longer than a line should be"
    done
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
