#!/bin/sh
# sway_e2e.sh CASE KELVARA POINTER HIDE_GLOBAL WITH_SWAY WORKDIR INHIBIT
# One end-to-end case of the Wayland saver on a headless sway of its own
# whose outputs are placed as the case says. Each output's desktop is its own
# pattern (monitor_checks.sh), painted as the compositor's background; with
# Mode 1 and the camera still, every output must show its own desktop,
# upright, whole and centred, judged from grim's picture of that output, and
# show the bare desktop again after the run. POINTER moves the pointer;
# HIDE_GLOBAL is preloaded to take a global away from the saver; INHIBIT
# holds an idle inhibitor. In the key case a second run starts while the first
# one shows, and ends at once.
set -u
case_name=$1 kelvara=$2 pointer=$3 hide_global=$4 withsway=$5 work=$6 inhibit=${7:-}
here=$(cd "$(dirname "$0")" && pwd)

. "$here/../monitor_checks.sh"

# The with-sway layout of a case.
sway_layout() {
    case "$1" in
    side_by_side) echo "1024x768+0+0,1024x768+1024+0" ;;
    mixed_sizes | toplevels) echo "1024x768+0+0,800x600+1024+0" ;;
    # The first output (HEADLESS-1) with a second one left of it.
    left_of_first) echo "1024x768+800+0,800x600+0+0" ;;
    three) echo "1024x768+0+0,800x600+1024+0,1024x768+1824+0" ;;
    # The second output's 1024x768 pixels cover 512x384 of the layout.
    scale_2) echo "1024x768+0+0,1024x768+1024+0@2" ;;
    output_off | idle_watch) echo "1024x768+0+0,800x600+1024+0" ;;
    key | motion | signal | limits | capture_refused | no_shell | swayidle | auto_pick | idle_rules | idle_bus)
        echo "1024x768+0+0" ;;
    *) return 1 ;;
    esac
}

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    layout=$(sway_layout "$case_name") || { echo "FAIL: no such case $case_name" >&2; exit 1; }
    KELVARA_E2E_INSIDE=1 exec "$withsway" --layout "$layout" sh "$0" "$@"
fi

. "$(dirname "$0")/../case_run.sh"

# The outputs as "x y w h name" lines, x and y in the layout, w and h the
# output's pixels, ordered by x, then y (the order the hue groups follow).
outputs() {
    swaymsg -p -t get_outputs | awk '
        /^Output / { name = $2 }
        /Current mode:/ { split($3, m, "x") }
        /Position:/ { split($2, p, ","); print p[1], p[2], m[1], m[2], name }' | sort -n -k1,1 -k2,2 >"$1"
}

# Each output's desktop: its group's four quarters, at the output's pixels.
paint_desktops() {
    k=0
    while read -r _ _ w h name; do
        # shellcheck disable=SC2046
        set -- $(group_colours "$k")
        hw=$((w / 2)) hh=$((h / 2))
        file="$KELVARA_SWAY_FILES/desktop-$name.png"
        convert -size "${w}x$h" xc:black \
            -fill "#$1" -draw "rectangle 0,0 $((hw - 1)),$((hh - 1))" \
            -fill "#$2" -draw "rectangle $hw,0 $((w - 1)),$((hh - 1))" \
            -fill "#$3" -draw "rectangle 0,$hh $((hw - 1)),$((h - 1))" \
            -fill "#$4" -draw "rectangle $hw,$hh $((w - 1)),$((h - 1))" "$file" ||
            fail "cannot draw the desktop picture"
        chmod 644 "$file"
        swaymsg -q output "$name" bg "$file" stretch || fail "sway does not take $name's desktop picture"
        k=$((k + 1))
    done <"$dir/outputs"
}

# shoot PREFIX: grim's picture of every output, PREFIX-NAME.png.
shoot() {
    while read -r _ _ _ _ name; do
        grim -o "$name" "$1-$name.png" || fail "grim cannot take $name's picture"
    done <"$dir/outputs"
}

# bare_desktops PREFIX: true when every output's picture is its own desktop
# and nothing over it: each quarter nearly all its colour, no black edges.
bare_desktops() {
    k=0
    while read -r _ _ w h name; do
        read -r q0 q1 q2 q3 foreign dark <<EOF
$(judge "$1-$name.png" 0 0 "$w" "$h" "$k")
EOF
        q=0
        for cell in "$q0" "$q1" "$q2" "$q3"; do
            [ "${cell%%:*}" -eq "$q" ] && [ "${cell#*:}" -ge 90 ] || return 1
            q=$((q + 1))
        done
        [ "$foreign" -le 5 ] && [ "$dark" -le 10 ] || return 1
        k=$((k + 1))
    done <"$dir/outputs"
    return 0
}

# saver_shows [quiet]: true when every output's picture (saver-NAME.png)
# shows the saver over that output's own desktop.
saver_shows() {
    ok=0
    k=0
    while read -r _ _ w h name; do
        # shellcheck disable=SC2086 # quiet is one word or none
        own_desktop "$dir/saver-$name.png" 0 0 "$w" "$h" "$k" ${1:-} || ok=1
        k=$((k + 1))
    done <"$dir/outputs"
    return "$ok"
}

# Paints the desktops and waits until the compositor shows them.
set_up_desktops() {
    outputs "$dir/outputs"
    echo "outputs (x y w h name):"
    sed 's/^/   /' "$dir/outputs"
    paint_desktops
    i=0
    until shoot "$dir/desktop" && bare_desktops "$dir/desktop"; do
        i=$((i + 1))
        [ "$i" -gt 50 ] && fail "the compositor does not show the painted desktops (see $dir/desktop-*.png)"
        sleep 0.1
    done
}

# Looks at every output until each shows its own desktop under the saver (the
# first frames may take a while on a busy machine) or 20 s have passed.
watch_outputs() {
    look_until=$(($(date +%s) + 20))
    while :; do
        sleep 1
        still_running "$1" || fail "the saver ended on its own"
        shoot "$dir/saver"
        saver_shows quiet && break
        [ "$(date +%s)" -lt "$look_until" ] || break
    done
    echo "the saver's outputs:"
    saver_shows || fail "not every output shows its own desktop (see $dir/saver-*.png)"
}

# After a run every output shows its bare desktop again.
desktops_back() {
    i=0
    until shoot "$dir/after" && bare_desktops "$dir/after"; do
        i=$((i + 1))
        [ "$i" -gt 30 ] && fail "the desktop did not come back after the run (see $dir/after-*.png)"
        sleep 0.1
    done
}

# Share of pixels near white over every output's picture, in percent.
white_share() { # prefix
    convert "$1"-*.png -append -alpha off -fuzz 25% -fill white -opaque '#ffffff' -fill black +opaque white \
        -colorspace gray -format '%[fx:int(mean*100)]' info:
}

# A key ends a run with exit 0 and saves the settings; the desktop comes back.
key_ends() { # pid
    wtype -s 500 -k space || fail "wtype could not press a key"
    ends_within "$1" 100 || fail "a key did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a key"
    settings_written
    desktops_back
}

# changed NAME: how many of output NAME's pixels change in a second.
changed() {
    grim -o "$1" "$dir/moving-$1-a.png" || fail "grim cannot take $1's picture"
    sleep 1
    grim -o "$1" "$dir/moving-$1-b.png" || fail "grim cannot take $1's picture"
    compare -metric AE -fuzz 2% "$dir/moving-$1-a.png" "$dir/moving-$1-b.png" null: 2>&1 | sed 's/[.e].*//'
}

# saver_of WATCH TENTHS WHY: the saver the idle watch WATCH runs, as $pid,
# waited for up to TENTHS tenths of a second.
saver_of() {
    wait_until "$2" "$3" pgrep -P "$1"
    pid=$(pgrep -P "$1")
}

# mock_bus NAME: a private bus for the service stand-ins at $dir/NAME_bus.
mock_bus() {
    env -u XDG_RUNTIME_DIR dbus-daemon --session --nofork --address="unix:path=$dir/$1_bus" \
        >>"$dir/mocks.log" 2>&1 &
    services="${services:-} $!" pids="$pids $!"
    wait_until 100 "dbus-daemon would not start: $(cat "$dir/mocks.log")" test -S "$dir/$1_bus"
}

# mock_service BUS_OPTION NAME ARGS...: python3-dbusmock serving NAME on the
# session (--session) or stand-in system (--system) bus, once it answers.
mock_service() {
    bus=$1 name=$2
    shift 2
    /usr/bin/python3 -m dbusmock "$bus" "$@" >>"$dir/mocks.log" 2>&1 &
    services="$services $!" pids="$pids $!"
    wait_until 100 "the stand-in for $name did not come up" gdbus introspect "$bus" -d "$name" -o /
}

still_picture() {
    mkdir -p "$(dirname "$settings")"
    printf 'Mode=1\nenableMovement=0\n' >"$settings"
}

case "$case_name" in
side_by_side | mixed_sizes | left_of_first | three | scale_2 | key)
    set_up_desktops
    still_picture
    start --wayland
    watch_outputs "$pid"
    if [ "$case_name" = scale_2 ]; then
        # Drawn at half the pixels and doubled by the compositor, the picture
        # would be made of 2x2 blocks: it must differ from its blocked copy
        # (at the edges of the picture and along the light's gradients).
        convert "$dir/saver-HEADLESS-2.png" -sample 50% -sample 200% "$dir/blocked.png"
        n=$(compare -metric AE -fuzz 2% "$dir/saver-HEADLESS-2.png" "$dir/blocked.png" null: 2>&1)
        echo "HEADLESS-2 (scale 2): $n pixels differ from the picture in 2x2 blocks (want over 1000)"
        [ "${n%%.*}" -gt 1000 ] 2>/dev/null || fail "the scale-2 output was not drawn at its own pixels"
    fi
    if [ "$case_name" = key ]; then
        # A second run on the same display ends at once with 0, drawing
        # nothing and writing no settings; the first goes on and ends on a key.
        stored=$(stat -c %y "$settings" 2>/dev/null)
        "$kelvara" --wayland --seconds 6 2>"$dir/stderr2" &
        second=$!
        pids="$pids $second"
        ends_within "$second" 10 || fail "a second run did not end at once"
        [ "$status" -eq 0 ] || fail "exit code $status of a second run"
        [ "$(wc -l <"$dir/stderr2")" -eq 1 ] && grep -q 'another kelvara covers this Wayland display' "$dir/stderr2" ||
            fail "a second run did not say in one line why it ended"
        [ "$(stat -c %y "$settings" 2>/dev/null)" = "$stored" ] || fail "a second run wrote the settings"
        shoot "$dir/saver"
        saver_shows || fail "the first run's picture did not stay alone (see $dir/saver-*.png)"
    fi
    key_ends "$pid"
    grep -qx 'Mode=1' "$settings" || fail "Mode was not kept"
    ;;
toplevels)
    # Without layer-shell (as on GNOME) each output gets a full-screen window
    # of its own, drawn and ended as the overlay is.
    set_up_desktops
    still_picture
    LD_PRELOAD=$hide_global KELVARA_HIDE_GLOBALS=zwlr_layer_shell_v1 "$kelvara" 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    watch_outputs "$pid"
    key_ends "$pid"
    [ ! -s "$dir/stderr" ] || fail "the run had something to say"
    ;;
output_off)
    # An output the compositor is told to take away: the other goes on
    # moving, the run still ends at once, and the output is drawn afterwards.
    # Headless sway 1.7 answers both "dpms off" and "disable" with success and
    # keeps the output active (get_outputs says so), so the saver's pause of
    # a dark output cannot be brought about here: this case only proves that
    # the requests neither stall nor end the run. The pause itself is covered
    # by the render loop's unit tests.
    set_up_desktops
    start --wayland --Mode 1
    sleep 3
    still_running "$pid" || fail "the saver ended on its own"
    swaymsg -q output HEADLESS-2 disable || fail "sway cannot disable HEADLESS-2"
    sleep 2
    echo "HEADLESS-2 after disable: $(swaymsg -t get_outputs | grep -c '"active": false') output(s) inactive"
    still_running "$pid" || fail "the saver ended when HEADLESS-2 was disabled"
    n=$(changed HEADLESS-1)
    echo "HEADLESS-2 disabled: $n pixels of HEADLESS-1 changed in a second (want over 1000)"
    [ "$n" -gt 1000 ] || fail "HEADLESS-1 stood still while HEADLESS-2 was disabled (see $dir/moving-*.png)"
    swaymsg -q output HEADLESS-2 enable || fail "sway cannot enable HEADLESS-2"
    sleep 2
    n=$(changed HEADLESS-2)
    echo "HEADLESS-2 enabled again: $n of its pixels changed in a second (want over 1000)"
    [ "$n" -gt 1000 ] || fail "HEADLESS-2 was not drawn again once enabled (see $dir/moving-*.png)"
    swaymsg -q output HEADLESS-2 disable || fail "sway cannot disable HEADLESS-2"
    sleep 2
    key_started=$(date +%s)
    wtype -s 500 -k space || fail "wtype could not press a key"
    ends_within "$pid" 50 || fail "a key did not end the run with an output disabled"
    [ "$status" -eq 0 ] || fail "exit code $status after a key"
    echo "the key ended the run within $(($(date +%s) - key_started)) s"
    swaymsg -q output HEADLESS-2 enable
    settings_written
    desktops_back
    ;;
auto_pick)
    # Wayland is picked without being asked for, even with an X display
    # named (one that is not there: a run on X would fail at once).
    set_up_desktops
    still_picture
    DISPLAY=:3999 "$kelvara" 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    watch_outputs "$pid"
    key_ends "$pid"
    ;;
motion)
    set_up_desktops
    still_picture
    start --wayland
    watch_outputs "$pid"
    "$pointer" -s 300 move 5 0 move 5 0 move 5 0 move 5 0 move 5 0 || fail "the pointer helper failed"
    sleep 1
    still_running "$pid" || fail "five motions ended the run"
    "$pointer" -s 100 move 5 0 move 5 0 move 5 0 move 5 0 move 5 0 move 5 0 move 5 0 move 5 0 ||
        fail "the pointer helper failed"
    ends_within "$pid" 50 || fail "thirteen motions did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after pointer motion"
    settings_written
    desktops_back
    # A button ends it as well.
    start --wayland
    watch_outputs "$pid"
    "$pointer" -s 500 click || fail "the pointer helper failed"
    ends_within "$pid" 50 || fail "a button did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after a button"
    ;;
signal)
    set_up_desktops
    for sig in TERM INT; do
        rm -f "$settings"
        still_picture
        start --wayland
        watch_outputs "$pid"
        kill -"$sig" "$pid"
        ends_within "$pid" 50 || fail "SIG$sig did not end the run"
        [ "$status" -eq 0 ] || fail "exit code $status after SIG$sig"
        settings_written
        desktops_back
    done
    ;;
limits)
    # A measuring run ends by itself, as a key would, and says how it went;
    # the display mode it asks for is not switched, in one line.
    start --wayland --frames 40 --no-vsync --stats "$dir/stats" --x_div 30 --resW 800 --resH 600 --resC 24
    ends_within "$pid" 300 || fail "--frames 40 did not end the run"
    [ "$status" -eq 0 ] || fail "exit code $status after --frames"
    says 1 '^kelvara: resW/resH/resC: a Wayland client cannot switch display modes; the outputs keep theirs$'
    settings_written
    grep -qx 'x_div=25' "$settings" || fail "the run's --x_div was saved"
    frames=$(sed -n 's/^frames=//p' "$dir/stats")
    [ -n "$frames" ] && [ "$frames" -ge 40 ] || fail "the statistics count '$frames' frames, not 40 or more"
    for key in run_seconds fps frame_ms_mean frame_ms_median frame_ms_p99 startup_ms capture_ms peak_rss_kib; do
        grep -q "^$key=[0-9][0-9.]*$" "$dir/stats" || fail "the statistics lack $key"
    done
    # A time limit, with no frame limit, and nothing written where it cannot be.
    start --wayland --seconds 1.5 --stats "$dir/no/such/folder/stats"
    sleep 0.5
    still_running "$pid" || fail "--seconds 1.5 ended the run too early"
    ends_within "$pid" 100 || fail "--seconds 1.5 did not end the run"
    [ "$status" -eq 1 ] || fail "exit code $status when the statistics could not be written"
    grep -q '^kelvara: --stats: .*stats: ' "$dir/stderr" || fail "no clear message for the unwritable statistics"
    ;;
capture_refused)
    # A compositor without screencopy (as KDE's): the logo, said once.
    set_up_desktops
    still_picture
    LD_PRELOAD=$hide_global KELVARA_HIDE_GLOBALS=zwlr_screencopy_manager_v1 "$kelvara" --wayland \
        2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    sleep 4
    still_running "$pid" || fail "the run ended without a desktop picture"
    shoot "$dir/saver"
    [ "$(white_share "$dir/saver")" -ge 10 ] || fail "the logo's white does not show (see $dir/saver-*.png)"
    ! saver_shows quiet || fail "the desktop shows although it was never captured"
    key_ends "$pid"
    says 1 'screencopy'
    grep -qi 'logo' "$dir/stderr" || fail "the line does not say the logo is shown instead"
    grep -qx 'useOGL=0' "$settings" || fail "the logo fallback was saved as the user's setting"
    ;;
no_shell)
    # A compositor with neither layer-shell nor xdg-shell: one clear line,
    # exit 1, nothing drawn, the settings as they were; the same for a
    # protocol error at the start.
    mkdir -p "$(dirname "$settings")"
    printf 'Mode=2\n' >"$settings"
    cp "$settings" "$dir/before"
    LD_PRELOAD=$hide_global KELVARA_HIDE_GLOBALS="zwlr_layer_shell_v1 xdg_wm_base" "$kelvara" --wayland \
        2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    ends_within "$pid" 100 || fail "the run went on without a shell to cover the outputs"
    [ "$status" -eq 1 ] || fail "exit code $status without layer-shell and xdg-shell, not 1"
    says 1 'zwlr_layer_shell_v1.*xdg_wm_base'
    cmp -s "$settings" "$dir/before" || fail "the settings file was changed"
    # A protocol error (a global bound under a name never offered): named, exit 1.
    LD_PRELOAD=$hide_global KELVARA_MISNAME_GLOBALS=wl_compositor "$kelvara" --wayland 2>"$dir/stderr" &
    pid=$!
    pids="$pids $pid"
    ends_within "$pid" 100 || fail "the run went on after a protocol error"
    [ "$status" -eq 1 ] || fail "exit code $status after a protocol error, not 1"
    grep -Eq '^kelvara: wl_display: the compositor raised protocol error [0-9]+ on wl_registry@2 ' \
        "$dir/stderr" || fail "the protocol error is not named"
    cmp -s "$settings" "$dir/before" || fail "the settings file was changed"
    ;;
swayidle)
    # The user's idle daemon starts it as the README's recipe does (the saver
    # backgrounded, so that swayidle -w goes on to the locker while it runs);
    # each start leaves the saver's pid and, when it ends, its exit code. The
    # locker stands in as a command that notes when it ran.
    set_up_desktops
    still_picture
    : >"$dir/started"
    swayidle -w timeout 2 "( \"$kelvara\" --wayland 2>>\"$dir/stderr\" & echo \$! >>\"$dir/started\";
        wait \$!; echo \$? >>\"$dir/codes\" ) &" timeout 4 "date +%s >>\"$dir/locked\"" \
        >"$dir/swayidle.log" 2>&1 &
    idle=$!
    pids="$pids $idle"
    i=0
    until [ -s "$dir/started" ]; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && fail "swayidle did not start the saver within 10 s"
        sleep 0.1
    done
    pid=$(head -n 1 "$dir/started")
    pids="$pids $pid"
    watch_outputs "$pid"
    i=0
    until [ -s "$dir/locked" ]; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && fail "the locker's timeout did not come while the saver ran"
        sleep 0.1
    done
    still_running "$pid" || fail "the saver ended before the locker's timeout"
    echo "the locker ran at the later timeout, the saver still up"
    wtype -s 500 -k space || fail "wtype could not press a key"
    i=0
    while still_running "$pid"; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && fail "a key did not end the run swayidle started"
        sleep 0.1
    done
    # Stop the daemon before it counts two idle seconds again.
    kill "$idle"
    wait "$idle" 2>/dev/null
    for p in $(cat "$dir/started"); do kill "$p" 2>/dev/null; done
    i=0
    until [ -s "$dir/codes" ]; do
        i=$((i + 1))
        [ "$i" -gt 20 ] && break
        sleep 0.1
    done
    [ "$(head -n 1 "$dir/codes" 2>/dev/null)" = 0 ] ||
        fail "the run swayidle started ended with '$(head -n 1 "$dir/codes" 2>/dev/null)', not 0"
    settings_written
    desktops_back
    ;;
idle_watch)
    # The watch starts the saver after 3 idle seconds, over each output's own
    # desktop; a key ends that saver, not the watch, and the next idle period
    # starts another; SIGTERM ends the watch and its saver, which saves.
    set_up_desktops
    still_picture
    "$kelvara" --idle 3 2>"$dir/stderr" &
    watch=$!
    pids="$pids $watch"
    sleep 1
    timeout 10 "$kelvara" --idle 3 2>"$dir/second" || fail "a second watch did not exit 0 at once"
    grep -q 'already runs' "$dir/second" || fail "a second watch did not say that one runs"
    [ -z "$(pgrep -P "$watch")" ] || fail "the saver started before the idle time"
    for round in 1 2; do
        saver_of "$watch" 100 "no saver within 10 s of the idle time (round $round)"
        echo "round $round: the watch started saver $pid"
        watch_outputs "$pid"
        [ "$round" -eq 2 ] && break
        wtype -s 500 -k space || fail "wtype could not press a key"
        wait_until 50 "a key did not end the saver the watch started" gone "$pid"
        still_running "$watch" || fail "the watch ended with its saver"
        desktops_back
    done
    kill -TERM "$watch"
    ends_within "$watch" 50 || fail "SIGTERM did not end the watch"
    [ "$status" -eq 0 ] || fail "exit code $status of the watch after SIGTERM"
    ! still_running "$pid" || fail "the saver outlived its watch"
    settings_written
    desktops_back
    grep -v 'already runs' "$dir/stderr" | grep . && fail "the watch or its savers said more than expected"
    ;;
idle_rules)
    # No idle source at all: one line naming what is missing, exit 1.
    LD_PRELOAD=$hide_global KELVARA_HIDE_GLOBALS=org_kde_kwin_idle "$kelvara" --idle 2 2>"$dir/stderr"
    status=$?
    [ "$status" -eq 1 ] || fail "exit code $status without an idle source, not 1"
    says 1 'neither ext_idle_notifier_v1 nor org_kde_kwin_idle'
    # A window holding an idle inhibitor (a video playing) keeps the saver
    # from starting; once it goes, the next idle period starts the saver.
    "$inhibit" >"$dir/inhibit.out" 2>&1 &
    holder=$!
    pids="$pids $holder"
    wait_until 50 "the inhibitor helper did not start" grep -q inhibiting "$dir/inhibit.out"
    "$kelvara" --idle 2 2>"$dir/stderr" &
    watch=$!
    pids="$pids $watch"
    sleep 6
    [ -z "$(pgrep -P "$watch")" ] || fail "the saver started while an idle inhibitor held"
    echo "no saver in 6 s with an inhibitor held (idle time 2 s)"
    kill "$holder"
    wait "$holder" 2>/dev/null
    saver_of "$watch" 80 "no saver within 8 s of the inhibitor's end"
    echo "the saver started once the inhibitor was gone"
    # A hung saver (stopped: it takes no key and no SIGTERM) is killed a few
    # seconds after the user is back; the watch goes on.
    sleep 1
    kill -STOP "$pid"
    wtype -s 500 -k space || fail "wtype could not press a key"
    wait_until 120 "the hung saver was not ended within 12 s of the user's return" gone "$pid"
    still_running "$watch" || fail "the watch ended with its hung saver"
    echo "the hung saver was killed, the watch still runs"
    kill -INT "$watch"
    ends_within "$watch" 50 || fail "SIGINT did not end the watch"
    [ "$status" -eq 0 ] || fail "exit code $status of the watch after SIGINT"
    ;;
idle_bus)
    # The desktop's services on private buses, stood in for by python3-dbusmock
    # (no GNOME session or logind runs here): the screen saver's lock state
    # on the session bus, logind on a second bus standing in for the system
    # bus. A saver started by hand ends when the desktop's locker takes over
    # and when the machine goes to sleep; the watch starts none while the
    # session is locked, and none again in an idle period whose saver the
    # locker ended.
    mock_bus session
    mock_bus system
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$dir/session_bus" DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/system_bus"
    mock_service --session org.gnome.ScreenSaver --template gnome_screensaver
    mock_service --system org.freedesktop.login1 --template logind
    lock() { # true|false
        gdbus call --session -d org.gnome.ScreenSaver -o /org/gnome/ScreenSaver \
            -m org.gnome.ScreenSaver.SetActive "$1" >/dev/null || fail "the screen saver stand-in failed"
    }
    set_up_desktops
    still_picture
    for what in locker sleep; do
        start --wayland
        watch_outputs "$pid"
        if [ "$what" = locker ]; then
            lock true
        else
            gdbus call --system -d org.freedesktop.login1 -o /org/freedesktop/login1 \
                -m org.freedesktop.DBus.Mock.EmitSignal org.freedesktop.login1.Manager PrepareForSleep b \
                '[<true>]' >/dev/null || fail "the logind stand-in failed"
        fi
        ends_within "$pid" 50 || fail "the saver went on after the $what took over"
        [ "$status" -eq 0 ] || fail "exit code $status after the $what took over"
        says 1 "$([ "$what" = locker ] && echo 'locker or blanking took over' || echo 'going to sleep')"
        lock false
    done
    lock true
    "$kelvara" --idle 2 2>"$dir/stderr" &
    watch=$!
    pids="$pids $watch"
    sleep 5
    [ -z "$(pgrep -P "$watch")" ] || fail "the watch started a saver while the session was locked"
    lock false
    wtype -s 500 -k space || fail "wtype could not press a key"
    saver_of "$watch" 80 "no saver in the first idle period after unlocking"
    watch_outputs "$pid"
    lock true
    wait_until 50 "the watch's saver went on after the locker took over" gone "$pid"
    sleep 4
    [ -z "$(pgrep -P "$watch")" ] || fail "the watch started another saver in the same idle period"
    kill -TERM "$watch"
    ends_within "$watch" 50 || fail "SIGTERM did not end the watch"
    for p in $services; do
        kill "$p"
        wait "$p" 2>/dev/null
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
