# shellcheck shell=sh disable=SC2154
# Sourced by the native saver's whole-program cases (X11 and Wayland) once they
# run inside their display: the case's own folder and settings, and the ways
# they start the saver, wait for it and fail. The caller sets $case_name,
# $work and $kelvara.

dir="$work/$case_name"
rm -rf "$dir"
mkdir -p "$dir"
export XDG_CONFIG_HOME="$dir/config"
unset XSCREENSAVER_WINDOW
settings="$XDG_CONFIG_HOME/kelvara/settings"
pid=""
pids=""

# Ends the case with the saver's stderr shown and every saver it started gone.
fail() {
    echo "FAIL ($case_name): $*" >&2
    [ -f "$dir/stderr" ] && sed 's/^/  kelvara: /' "$dir/stderr" >&2
    for p in $pid $pids; do kill "$p" 2>/dev/null; done
    exit 1
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
gone() { ! kill -0 "$1" 2>/dev/null; }

# wait_until TENTHS WHY COMMAND...: up to TENTHS tenths of a second for
# COMMAND to succeed, else the case fails with WHY.
wait_until() {
    n=$1 why=$2
    shift 2
    i=0
    until "$@" >/dev/null 2>&1; do
        i=$((i + 1))
        [ "$i" -gt "$n" ] && fail "$why"
        sleep 0.1
    done
}

# The run's stderr is exactly $1 lines, one of them matching $2 (grep -E).
says() { # lines pattern
    n=$(wc -l <"$dir/stderr")
    [ "$n" -eq "$1" ] || fail "$n lines on stderr, not $1"
    grep -Eq -- "$2" "$dir/stderr" || fail "stderr does not say '$2'"
}

settings_written() {
    [ -f "$settings" ] || fail "no settings file at $settings"
    n=$(grep -c '^[A-Za-z_0-9]*=-\{0,1\}[0-9][0-9]*$' "$settings")
    [ "$n" -eq 29 ] || fail "the settings file holds $n values, not 29"
}
