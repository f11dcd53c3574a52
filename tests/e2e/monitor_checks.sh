# shellcheck shell=sh disable=SC2154
# Sourced by the several-monitor end-to-end scripts of both builds.
#
# Each monitor's desktop is four saturated quarters from a hue group of its
# own: the k-th monitor from the left (then from the top) gets hues
# k*120 + 0, 30, 60, 90 degrees for its top left, top right, bottom left and
# bottom right quarters. A group spans 90 degrees, so the blends the scene's
# texture filtering and lighting make stay inside it; 30 degrees are left
# between groups. A screenshot is then judged per monitor: which hue fills
# each quarter, how much of another monitor's hues shows, and how much of the
# saver's black is there (else the bare desktop would pass).
#
# Needs: xrandr, convert (ImageMagick), import, awk. The caller defines
# fail() and sets $case_name.

# case_layout CASE: the with-xorg-dummy arguments of a case, the same for both
# builds. Windows puts a monitor left of the primary at negative coordinates.
case_layout() {
    case "$1" in
    side_by_side | mode_switch | preview) echo "1024x768+0+0,1024x768+1024+0" ;;
    mixed_sizes) echo "1024x768+0+0,800x600+1024+0" ;;
    left_of_primary) echo "--primary 2 800x600+0+0,1024x768+800+0" ;;
    three) echo "1024x768+0+0,800x600+1024+0,1024x768+1824+0" ;;
    # Any other layout, by hand: KELVARA_E2E_LAYOUT="[--primary N] WxH+X+Y,...".
    layout) echo "${KELVARA_E2E_LAYOUT:?set KELVARA_E2E_LAYOUT}" ;;
    *) return 1 ;;
    esac
}

# monitors FILE: the server's monitors as "x y w h primary" lines, ordered by
# x, then y (the order the hue groups follow).
monitors() {
    # " 0: +*DUMMY0 1024/271x768/203+800+0  DUMMY0", the star on the primary
    xrandr --listmonitors | awk 'NR > 1 {
        split($3, f, "+"); split(f[1], s, "x"); sub(/\/.*/, "", s[1]); sub(/\/.*/, "", s[2])
        print f[2], f[3], s[1], s[2], ($2 ~ /\*/) ? 1 : 0 }' | sort -n -k1,1 -k2,2 >"$1"
}

# group_colours K: monitor K's four colours as hex, TL TR BL BR.
group_colours() {
    case $(($1 % 3)) in
    0) echo ff0000 ff8000 ffff00 80ff00 ;;
    1) echo 00ff00 00ff80 00ffff 0080ff ;;
    2) echo 0000ff 8000ff ff00ff ff0080 ;;
    esac
}

# draw_desktop MONITORS WIDTH HEIGHT OUT.png: the pattern as one picture of
# the whole X screen (for painting the root window).
draw_desktop() {
    # shellcheck disable=SC2034 # out is read by the eval below
    list=$1 sw=$2 sh=$3 out=$4
    args=""
    k=0
    while read -r x y w h _; do
        # shellcheck disable=SC2046
        set -- $(group_colours "$k")
        hw=$((w / 2)) hh=$((h / 2))
        args="$args -fill '#$1' -draw 'rectangle $x,$y $((x + hw - 1)),$((y + hh - 1))'"
        args="$args -fill '#$2' -draw 'rectangle $((x + hw)),$y $((x + w - 1)),$((y + hh - 1))'"
        args="$args -fill '#$3' -draw 'rectangle $x,$((y + hh)) $((x + hw - 1)),$((y + h - 1))'"
        args="$args -fill '#$4' -draw 'rectangle $((x + hw)),$((y + hh)) $((x + w - 1)),$((y + h - 1))'"
        k=$((k + 1))
    done <"$list"
    eval "convert -size ${sw}x$sh xc:black $args \"\$out\""
}

# desktop_args MONITORS: the Windows helper's arguments, one "c1,c2,c3,c4"
# per monitor in the same order.
desktop_args() {
    k=0
    while read -r _; do
        group_colours "$k" | tr ' ' ','
        k=$((k + 1))
    done <"$1" | tr '\n' ' '
}

# judge SHOT X Y W H K: one line about monitor K's part of the screenshot:
#   "q0 q1 q2 q3 foreign dark", where qN is the group index (0-3) of the
#   hue that fills most of quarter N's middle (-1 for none) with its share in
#   percent after a colon, foreign the per mille of samples in another
#   group's hues, dark the least percent of nearly black samples in a band
#   along any of the monitor's four edges.
judge() {
    convert "$1" -crop "${4}x$5+$2+$3" +repage -sample '128x96!' -depth 8 txt:- | awk -v own="$6" '
        function hueof(r, g, b,   mx, mn, d, h) {
            mx = r; if (g > mx) mx = g; if (b > mx) mx = b
            mn = r; if (g < mn) mn = g; if (b < mn) mn = b
            d = mx - mn
            if (mx < 40 || d / mx < 0.55) return -1
            if (mx == r) h = 60 * (g - b) / d
            else if (mx == g) h = 60 * ((b - r) / d + 2)
            else h = 60 * ((r - g) / d + 4)
            if (h < 0) h += 360
            return h
        }
        # The palette entry (0-11, group*4 + quarter) within 12 degrees, or -1.
        function entry(h,   i, c, dd) {
            if (h < 0) return -1
            for (i = 0; i < 12; i++) {
                c = int(i / 4) * 120 + (i % 4) * 30
                dd = h - c; if (dd < 0) dd = -dd; if (dd > 180) dd = 360 - dd
                if (dd <= 12) return i
            }
            return -1
        }
        # Middle of each quarter, clear of the picture edge and its seams.
        function quarter(x, y,   qx, qy) {
            if (x >= 26 && x < 54) qx = 0; else if (x >= 74 && x < 102) qx = 1; else return -1
            if (y >= 24 && y < 40) qy = 0; else if (y >= 58 && y < 74) qy = 1; else return -1
            return qy * 2 + qx
        }
        /^[0-9]/ {
            split($1, p, /[,:]/)
            s = $2; gsub(/[()]/, "", s); split(s, c, ",")
            r = c[1] + 0; g = c[2] + 0; b = c[3] + 0
            n++
            x = p[1] + 0; y = p[2] + 0
            # The frame round the picture, black when the monitor shows its
            # own picture whole and centred.
            black = r < 30 && g < 30 && b < 30
            if (x < 8) { band[0]++; dark[0] += black }
            if (x >= 120) { band[1]++; dark[1] += black }
            if (y < 6) { band[2]++; dark[2] += black }
            if (y >= 90) { band[3]++; dark[3] += black }
            e = entry(hueof(r, g, b))
            if (e >= 0 && int(e / 4) != own % 3) foreign++
            q = quarter(x, y)
            if (q >= 0) { total[q]++; if (e >= 0 && int(e / 4) == own % 3) seen[q, e % 4]++ }
        }
        END {
            if (n == 0) n = 1
            for (q = 0; q < 4; q++) {
                best = -1; bn = 0
                for (i = 0; i < 4; i++) if (seen[q, i] > bn) { bn = seen[q, i]; best = i }
                printf "%d:%d ", best, total[q] ? int(100 * bn / total[q]) : 0
            }
            least = 100
            for (i = 0; i < 4; i++) if (int(100 * dark[i] / band[i]) < least) least = int(100 * dark[i] / band[i])
            printf "%d %d\n", int(1000 * foreign / n), least
        }'
}

# own_desktop SHOT X Y W H K [quiet]: true when monitor K's part of SHOT
# (W x H at X,Y) shows its own picture whole (a black frame round it) with the
# four colours where they are on its desktop and nearly none of another
# monitor's. Prints one line unless quiet.
own_desktop() {
    read -r q0 q1 q2 q3 foreign dark <<EOF
$(judge "$1" "$2" "$3" "$4" "$5" "$6")
EOF
    good=0
    q=0
    for cell in "$q0" "$q1" "$q2" "$q3"; do
        [ "${cell%%:*}" -eq "$q" ] && [ "${cell#*:}" -ge 40 ] || good=1
        q=$((q + 1))
    done
    [ "$foreign" -le 5 ] && [ "$dark" -ge 90 ] || good=1
    [ -n "${7:-}" ] ||
        echo "   monitor $6 (${4}x$5+$2+$3): quarters $q0 $q1 $q2 $q3 (want 0 1 2 3 over 40%)," \
            "other monitors' colours ${foreign} per mille (at most 5), edges at least $dark% black (want 90)"
    return "$good"
}

# shows_quarters SHOT X Y W H K [quiet]: true when the part of SHOT (W x H
# at X,Y) shows monitor K's four colours where they are on its desktop, over
# 40% of each quarter's middle (a part of a picture: no frame asked for).
shows_quarters() {
    read -r q0 q1 q2 q3 _ <<EOF
$(judge "$1" "$2" "$3" "$4" "$5" "$6")
EOF
    [ -n "${7:-}" ] || echo "   monitor $6 in ${4}x$5+$2+$3: quarters $q0 $q1 $q2 $q3 (want 0 1 2 3 over 40%)"
    q=0
    for cell in "$q0" "$q1" "$q2" "$q3"; do
        [ "${cell%%:*}" -eq "$q" ] && [ "${cell#*:}" -ge 40 ] || return 1
        q=$((q + 1))
    done
}

# shows_own_desktops SHOT MONITORS [quiet]: true when every monitor of the
# list shows its own picture (own_desktop).
shows_own_desktops() {
    shot=$1 list=$2 quiet=${3:-}
    ok=0
    k=0
    while read -r x y w h _; do
        # shellcheck disable=SC2086 # quiet is one word or none
        own_desktop "$shot" "$x" "$y" "$w" "$h" "$k" $quiet || ok=1
        k=$((k + 1))
    done <"$list"
    return "$ok"
}

# watch_saver PID DIR: screenshots the root into DIR/shot.png until every
# monitor shows its own desktop (the first frames may take a while on a busy
# machine) or 20 s have passed, then prints the verdict. The monitors are
# those in DIR/monitors; in the mode_switch case they are read again
# (DIR/monitors-run), as the primary's mode changed for the run.
watch_saver() {
    list="$2/monitors"
    look_until=$(($(date +%s) + 20))
    while :; do
        sleep 1
        kill -0 "$1" 2>/dev/null || fail "the saver ended on its own"
        if [ "$case_name" = mode_switch ]; then
            monitors "$2/monitors-run"
            list="$2/monitors-run"
        fi
        import -window root "$2/shot.png"
        shows_own_desktops "$2/shot.png" "$list" quiet && break
        [ "$(date +%s)" -lt "$look_until" ] || break
    done
    echo "the saver's screen:"
    shows_own_desktops "$2/shot.png" "$list" ||
        picture_fault "not every monitor shows its own desktop (see $2/shot.png)"
    if [ "$case_name" = mode_switch ]; then
        echo "monitors during the run:"
        sed 's/^/   /' "$2/monitors-run"
        awk '$5 == 1 { print $3 "x" $4 }' "$2/monitors-run" | grep -qx 800x600 ||
            fail "the primary monitor was not switched to 800x600"
        [ "$(wc -l <"$2/monitors-run")" -eq "$(wc -l <"$2/monitors")" ] ||
            picture_fault "a monitor went away with the switch"
    fi
}

# picture_fault MESSAGE: fails, or with KELVARA_E2E_MONITOR_PICTURES=0 (a
# build without several-monitor drawing) only notes it: the run, the key, the
# save and the restore still count.
picture_fault() {
    if [ "${KELVARA_E2E_MONITOR_PICTURES:-1}" = 0 ]; then
        echo "NOTE ($case_name): $* (not counted: KELVARA_E2E_MONITOR_PICTURES=0)"
    else
        fail "$*"
    fi
}
