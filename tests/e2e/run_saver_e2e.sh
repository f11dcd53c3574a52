#!/bin/sh
# run_saver_e2e.sh SAVER.scr HELPER.exe OUTDIR
# The Windows saver started the way the system starts it, under Wine on the
# X display in $DISPLAY (run it through scripts/with-xvfb): input from xdotool,
# screenshots with import, exit codes and the registry checked afterwards.
# Screenshots and logs are left in OUTDIR. Exit code 0 when every case holds.
set -u

scr="$1"
helper="$2"
out="$3"
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.log
. "$(dirname "$0")/wine_case.sh"


failures=0
pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

trap 'wineserver -k >/dev/null 2>&1' EXIT

# wait_window TITLE SECONDS: true once an X window named exactly TITLE exists.
wait_window() {
    i=0
    while [ "$i" -lt $(($2 * 10)) ]; do
        xdotool search --name "^$1\$" >/dev/null 2>&1 && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}


# dismiss TITLE KEY: gives the window named TITLE the keyboard and presses KEY.
dismiss() {
    xdotool search --name "^$1\$" windowfocus --sync key "$2" 2>/dev/null ||
        xdotool search --name "^$1\$" key --window %1 "$2"
}

dword_count() { wine reg query "$key" 2>/dev/null | grep -c REG_DWORD; }
clear_settings() { wine reg delete "$key" /f >/dev/null 2>&1; }
set_setting() { wine reg add "$key" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1; }
stored_setting() { wine reg query "$key" /v "$1" 2>/dev/null | awk '$2 == "REG_DWORD" { print $3 + 0 }'; }

# Shares (per mille of 256 x 192 samples, not blended) of clearly red, green,
# blue and yellow pixels in a picture, as "r g b y".
pattern_colours() {
    convert "$1" -sample '256x192!' -depth 8 txt:- |
        sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' | awk '
        { r = $1; g = $2; b = $3; n++
          if (r > 120 && g < r / 2 && b < r / 2) red++
          else if (g > 120 && r < g / 2 && b < g / 2) green++
          else if (b > 120 && r < b / 2 && g < b / 2) blue++
          else if (r > 120 && g > 120 && b < r / 2 && b < g / 2) yellow++ }
        END { if (n == 0) n = 1
              printf "%d %d %d %d\n", 1000 * red / n, 1000 * green / n, 1000 * blue / n, 1000 * yellow / n }'
}

# current_mode: the display's mode as WxHxD.
current_mode() { wine "$helper" modes 2>/dev/null | tr -d '\r' | awk '$1 == "current" { print $2 }'; }

echo "== /s over a known desktop: the picture shows it, a key ends it, the settings are saved"
clear_settings
wine "$helper" pattern 40 >"$out/pattern.log" 2>&1 &
pattern=$!
wait_window "Kelvara test pattern" 20 || fail "pattern window did not appear"
sleep 0.5
import -window root "$out/desktop.png"
wine "$scr" /s &
saver=$!
if wait_window "Screen Saver" 20; then
    sleep 1.5
    import -window root "$out/saver-1.png"
    sleep 0.5
    import -window root "$out/saver-2.png"
    colours=$(pattern_colours "$out/saver-1.png")
    echo "   red green blue yellow (per mille): $colours (desktop: $(pattern_colours "$out/desktop.png"))"
    seen=$(echo "$colours" | awk '{ n = 0; for (i = 1; i <= 4; i++) if ($i >= 2) n++; print n }')
    [ "$seen" -ge 3 ] && pass "saver shows the pattern's colours" || fail "saver does not show the pattern's colours"
    if [ "$(compare -metric AE "$out/saver-1.png" "$out/desktop.png" null: 2>&1)" != "0" ]; then
        pass "saver's picture is not the desktop itself"
    else
        fail "the screen still shows the plain desktop"
    fi
    if [ "$(compare -metric AE "$out/saver-1.png" "$out/saver-2.png" null: 2>&1)" != "0" ]; then
        pass "picture moves"
    else
        fail "picture does not move"
    fi
else
    fail "no window titled Screen Saver"
fi
xdotool key space
wait_exit "$saver" 10
rc=$?
[ "$rc" -eq 0 ] && pass "key ends the saver with 0" || fail "saver after a key: exit code $rc"
n=$(dword_count)
[ "$n" -eq 29 ] && pass "29 REG_DWORD values saved" || fail "$n REG_DWORD values saved, want 29"
kill "$pattern" 2>/dev/null
wait "$pattern" 2>/dev/null

echo "== mouse: six moves leave it running, the seventh ends it"
wine "$scr" /s &
saver=$!
if wait_window "Screen Saver" 20; then
    sleep 1.5
    for x in 100 200 300 400 500 600; do
        xdotool mousemove "$x" 300
        sleep 0.2
    done
    sleep 0.5
    if kill -0 "$saver" 2>/dev/null; then pass "running after six moves"; else fail "ended before the seventh move"; fi
    xdotool mousemove 700 300
    wait_exit "$saver" 10
    rc=$?
    [ "$rc" -eq 0 ] && pass "seventh move ends it with 0" || fail "after the seventh move: exit code $rc"
else
    fail "no window titled Screen Saver"
    wait_exit "$saver" 1
fi

echo "== a measuring run: KELVARA_FRAMES ends it by itself, KELVARA_STATS says how it went"
rm -f "$out/stats.txt"
KELVARA_FRAMES=40 KELVARA_NO_VSYNC=1 KELVARA_SECONDS=soon KELVARA_STATS="$(winepath -w "$out/stats.txt")" \
    wine "$scr" /s 2>"$out/limits.log" &
saver=$!
wait_exit "$saver" 40
rc=$?
[ "$rc" -eq 0 ] && pass "KELVARA_FRAMES ends the run with 0" || fail "KELVARA_FRAMES run: exit code $rc"
frames=$(sed -n 's/^frames=//p' "$out/stats.txt" 2>/dev/null | tr -d '\r')
[ -n "$frames" ] && [ "$frames" -ge 40 ] && pass "statistics count $frames frames" ||
    fail "statistics count '$frames' frames, want 40 or more"
grep -q "KELVARA_SECONDS needs seconds" "$out/limits.log" && pass "a bad KELVARA_SECONDS is reported" ||
    fail "a bad KELVARA_SECONDS went unreported"
# Statistics asked for and not written: said, and not a success.
KELVARA_FRAMES=10 KELVARA_NO_VSYNC=1 KELVARA_STATS='Z:\no\such\folder\stats.txt' \
    wine "$scr" /s 2>"$out/stats-lost.log" &
saver=$!
wait_exit "$saver" 40
rc=$?
[ "$rc" -eq 1 ] && pass "statistics not written: exit code 1" || fail "statistics not written: exit code $rc, want 1"
tr -d '\r' <"$out/stats-lost.log" | grep -q '^kelvara: KELVARA_STATS: ' && pass "the lost statistics are reported" ||
    fail "the lost statistics went unreported"

echo "== a second /s while one runs exits 0 at once and changes nothing"
clear_settings
wine "$scr" /s &
saver=$!
if wait_window "Screen Saver" 20; then
    xdotool mousemove 512 384
    sleep 1
    wine "$scr" /s &
    second=$!
    wait_exit "$second" 8
    rc=$?
    [ "$rc" -eq 0 ] && pass "second /s exits 0" || fail "second /s: exit code $rc"
    [ "$(dword_count)" -eq 0 ] && pass "second /s saved nothing" || fail "settings written while the first runs"
    kill -0 "$saver" 2>/dev/null && pass "first saver still running" || fail "first saver ended"
    xdotool key space
    wait_exit "$saver" 10
    rc=$?
    [ "$rc" -eq 0 ] && pass "first ends with 0 on a key" || fail "first saver: exit code $rc"
else
    fail "no window titled Screen Saver"
    wait_exit "$saver" 1
fi

echo "== /p HWND: a child of the given window that ignores input and never saves"
clear_settings
set_setting Mode 1
wine "$helper" preview "$(winepath -w "$scr")" 3 >"$out/preview.log" 2>&1 &
helperpid=$!
if wait_window "Kelvara preview parent" 20; then
    i=0
    until grep -q "preview ready" "$out/preview.log" || [ "$i" -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
    parent=$(xdotool search --name "^Kelvara preview parent\$" | head -1)
    xdotool mousemove --window "$parent" 160 120 click 1 key space key Escape
    # The dialog saves a change while its preview still runs.
    set_setting Mode 2
    sleep 0.3
    import -window root "$out/preview.png"
fi
wait_exit "$helperpid" 20
rc=$?
sed 's/^/   /' "$out/preview.log" | tr -d '\r'
[ "$rc" -eq 0 ] && pass "preview checks" || fail "preview checks (helper exit code $rc)"
[ "$(stored_setting Mode)" = 2 ] && [ "$(dword_count)" -eq 1 ] && pass "the preview saved nothing" ||
    fail "the preview wrote settings (Mode $(stored_setting Mode), $(dword_count) values)"

echo "== /c and no argument: the configuration dialog; Escape cancels it (end code 2)"
for args in "/c" ""; do
    # shellcheck disable=SC2086
    wine "$scr" $args &
    pid=$!
    if wait_window "Kelvara Configuration" 20; then
        pass "configuration dialog for '$args'"
        sleep 0.5
        [ -z "$args" ] && import -window root "$out/config.png"
        dismiss "Kelvara Configuration" Escape
    else
        fail "no configuration dialog for '$args'"
    fi
    wait_exit "$pid" 10
    rc=$?
    [ "$rc" -eq 2 ] && pass "configuration run '$args' cancelled: exit code 2" ||
        fail "configuration run '$args': exit code $rc, want 2"
done

echo "== bad command lines exit with -1 (255)"
for args in "/x" "/p" "/p 0" "/p abc" "/a 1"; do
    # shellcheck disable=SC2086
    wine "$scr" $args &
    pid=$!
    wait_exit "$pid" 10
    rc=$?
    [ "$rc" -eq 255 ] && pass "'$args' exits 255" || fail "'$args': exit code $rc, want 255"
done

echo "== display modes"
wine "$helper" modes >"$out/modes.log" 2>&1
tr -d '\r' <"$out/modes.log" | sed 's/^/   /' | head -20
before=$(current_mode)
# A listed mode other than the current one when the display has one.
target=$(tr -d '\r' <"$out/modes.log" | awk -F'[x@]' -v cur="$before" \
    'NF == 4 && $3 > 8 { m = $1 "x" $2 "x" $3; if (m != cur) { print m; exit } }')
[ -z "$target" ] && target="$before"
echo "   current $before, switching to $target"
clear_settings
set_setting resW "$(echo "$target" | cut -dx -f1)"
set_setting resH "$(echo "$target" | cut -dx -f2)"
set_setting resC "$(echo "$target" | cut -dx -f3)"
# Wine 8 on Xvfb emulates depth changes inside the process that asks (the X
# server stays at 24 bits), so the mode is checked in the saver's own trace of
# its change requests, and from outside only that no error box appears.
WINEDEBUG=-all,+system wine "$scr" /s 2>"$out/modes-trace.log" &
saver=$!
if wait_window "Screen Saver" 20; then
    sleep 1
    if xdotool search --name "^SS Error\$" >/dev/null 2>&1 || xdotool search --name "^KVSS\$" >/dev/null 2>&1; then
        fail "error box for a listed mode"
    else
        pass "no error box for a listed mode"
    fi
    xdotool key space
    wait_exit "$saver" 10
    rc=$?
    [ "$rc" -eq 0 ] && pass "switched saver ends with 0" || fail "switched saver: exit code $rc"
    # Each change request is traced as a "flags=" line and its record's fields.
    requests=$(tr -d '\r' <"$out/modes-trace.log" | awk '
        /NtUserChangeDisplaySettings flags=/ { f = $0; sub(/.*flags=/, "", f); if (f == "") f = "-" }
        /trace_devmode/ { w = $0; sub(/.*dmPelsWidth=/, "", w); sub(/ .*/, "", w)
                          h = $0; sub(/.*dmPelsHeight=/, "", h); sub(/ .*/, "", h)
                          d = $0; sub(/.*dmBitsPerPel=/, "", d); sub(/ .*/, "", d)
                          print f, w "x" h "x" d }')
    echo "$requests" | sed 's/^/   change request: /'
    [ "$(echo "$requests" | head -1)" = "FULLSCREEN $target" ] && pass "switched to $target for the run" ||
        fail "first change request is not $target for the run"
    [ "$(echo "$requests" | tail -1)" = "- $before" ] && pass "mode $before restored at the end" ||
        fail "last change request does not restore $before"
    [ "$(stored_setting resC)" = "$(echo "$target" | cut -dx -f3)" ] && [ "$(dword_count)" -eq 29 ] &&
        pass "settings saved with the mode" || fail "settings after the switched run"
    [ "$(current_mode)" = "$before" ] && pass "display mode $before seen from outside" ||
        fail "display mode $(current_mode) after the run"
else
    fail "no saver window with a listed mode"
    wait_exit "$saver" 1
fi

clear_settings
set_setting resW 1234
set_setting resH 567
set_setting resC 32
wine "$scr" /s &
saver=$!
if wait_window "SS Error" 20; then
    pass "SS Error box for an unlisted mode"
    sleep 0.3
    import -window root "$out/ss-error.png"
    dismiss "SS Error" Return
else
    fail "no SS Error box"
fi
if wait_window "KVSS" 20; then
    pass "Error setting resolution box"
    sleep 0.3
    import -window root "$out/kvss.png"
    dismiss "KVSS" Return
else
    fail "no KVSS box"
fi
wait_exit "$saver" 10
rc=$?
[ "$rc" -eq 0 ] && pass "unlisted mode: saver ends with 0" || fail "unlisted mode: exit code $rc"
n=$(dword_count)
[ "$n" -eq 3 ] && pass "nothing saved after the failed switch" || fail "$n values under the key after the failed switch, want the 3 set"
[ "$(current_mode)" = "$before" ] && pass "mode unchanged after the failed switch" || fail "mode changed by the failed switch"

echo "== $failures failure(s); screenshots in $out"
[ "$failures" -eq 0 ]
