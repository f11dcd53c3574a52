#!/bin/sh
# display_modes_e2e.sh CASE KELVARA WITH_XORG_DUMMY WORKDIR
# Mode switches of the native saver on an Xorg with the dummy driver, whose
# one monitor runs 1024x768 at 60.00 Hz and also lists namesakes of it, as
# real monitors do: the same size at 59.95 Hz and interlaced.
#   namesakes  two runs at 800x600 in a row; each leaves the very mode (id and
#              clock), place and screen size it found; then two overlapping
#              runs at 800x600: the second ends at once with 0, its settings
#              untouched, and the display is as it was after both
#   segv, kill a run at 800x600 dies by that signal mid-run; the mode it found
#              is back within a second all the same
# Exit 77 when the server cannot be had here (not root).
set -u
case_name=$1 kelvara=$2 withxorg=$3 work=$4

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withxorg" 1024x768+0+0 sh "$0" "$@"
fi

dir="$work/$case_name"
rm -rf "$dir"
mkdir -p "$dir"
export XDG_CONFIG_HOME="$dir/config"
unset XSCREENSAVER_WINDOW
pid=""

fail() {
    echo "FAIL ($case_name): $*" >&2
    for f in "$dir"/stderr*; do
        [ -f "$f" ] && sed 's/^/  kelvara: /' "$f" >&2
    done
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null
    exit 1
}

# The namesakes, added after the driver's own 1024x768 (65 MHz, 60.00 Hz).
xrandr --newmode 1024x768_59.95 64.94 1024 1048 1184 1344 768 771 777 806 -hsync -vsync &&
    xrandr --addmode DUMMY0 1024x768_59.95 &&
    xrandr --newmode 1024x768i 32.50 1024 1048 1184 1344 768 771 777 806 interlace -hsync -vsync &&
    xrandr --addmode DUMMY0 1024x768i || fail "cannot add the namesake modes"

# The monitor's state as RandR tells it: screen size, place, rotation, and
# the current mode's id and timings (its clock included).
state() {
    xrandr --verbose --current | awk '
        /^Screen / { print }
        /^DUMMY0 / { print; out = 1; next }
        /^[A-Z]/ { out = 0 }
        out && /\*current/ { print; cur = 2; next }
        out && cur > 0 { print; cur-- }'
}
# The current mode's size alone, e.g. 1024x768.
current_size() {
    xrandr --current | sed -n 's/^DUMMY0 connected[^0-9]*\([0-9]*x[0-9]*\)+.*/\1/p'
}

state >"$dir/before"
echo "before:"
sed 's/^/   /' "$dir/before"
grep -q '1024x768 (0x[0-9a-f]*) 65.000MHz.*\*current' "$dir/before" || fail "the server does not run 1024x768 at 65 MHz"

case $case_name in
namesakes)
    for run in 1 2; do
        "$kelvara" --resW 800 --resH 600 --resC 24 --seconds 2 2>"$dir/stderr$run"
        status=$?
        [ "$status" -eq 0 ] || fail "run $run ended with $status"
        state >"$dir/after$run"
        diff "$dir/before" "$dir/after$run" >&2 || fail "run $run left the display in another mode"
    done
    # The second full-screen run sees the first and ends at once: it must not
    # take the first's 800x600 for the mode to give back.
    settings="$XDG_CONFIG_HOME/kelvara/settings"
    "$kelvara" --resW 800 --resH 600 --resC 24 --seconds 4 2>"$dir/stderr3" &
    pid=$!
    sleep 1.5
    [ "$(current_size)" = 800x600 ] || fail "the first of two overlapping runs did not switch"
    stored=$(stat -c %y "$settings")
    start=$(date +%s%N)
    "$kelvara" --resW 800 --resH 600 --resC 24 --seconds 6 2>"$dir/stderr4"
    status=$?
    took=$((($(date +%s%N) - start) / 1000000))
    echo "the second of two overlapping runs ended with $status after $took ms"
    [ "$status" -eq 0 ] || fail "the second of two overlapping runs ended with $status"
    [ "$took" -lt 1000 ] || fail "the second of two overlapping runs took $took ms, not ending at once"
    [ "$(wc -l <"$dir/stderr4")" -eq 1 ] && grep -q 'another full-screen kelvara covers this screen' "$dir/stderr4" ||
        fail "the second run did not say in one line why it ended"
    [ "$(stat -c %y "$settings")" = "$stored" ] || fail "the second run wrote the settings"
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "the first of two overlapping runs ended with $status"
    state >"$dir/after"
    diff "$dir/before" "$dir/after" >&2 || fail "two overlapping runs left the display in another mode"
    ;;
segv | kill)
    signal=$(echo "$case_name" | tr a-z A-Z)
    "$kelvara" --resW 800 --resH 600 --resC 24 --seconds 60 2>"$dir/stderr" &
    pid=$!
    i=0
    until [ "$(current_size)" = 800x600 ]; do
        i=$((i + 1))
        [ "$i" -gt 200 ] && fail "the run did not switch to 800x600"
        kill -0 "$pid" 2>/dev/null || fail "the run ended before it switched"
        sleep 0.05
    done
    # Drawing for a moment: the guard must hold through the run itself.
    sleep 1
    [ "$(current_size)" = 800x600 ] || fail "the mode did not stay switched during the run"
    start=$(date +%s%N)
    kill -"$signal" "$pid"
    wait "$pid"
    status=$?
    pid=""
    [ "$status" -gt 128 ] || fail "the run was not ended by SIG$signal (exit $status)"
    i=0
    until [ "$(current_size)" = 1024x768 ]; do
        i=$((i + 1))
        [ "$i" -gt 100 ] && fail "the display stayed at $(current_size) after SIG$signal"
        sleep 0.01
    done
    back=$((($(date +%s%N) - start) / 1000000))
    echo "1024x768 back ${back} ms after SIG$signal"
    [ "$back" -le 1000 ] || fail "the display came back after $back ms, not within a second"
    # The guard may still be finishing its screen size: give it a moment.
    sleep 0.3
    state >"$dir/after"
    diff "$dir/before" "$dir/after" >&2 || fail "the display did not come back as it was"
    ;;
*)
    fail "no such case"
    ;;
esac
echo "after:"
sed 's/^/   /' "$dir/after"
echo "ok ($case_name)"
exit 0
