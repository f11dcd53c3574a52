# shellcheck shell=sh disable=SC2154
# Sourced by the Windows saver's whole-program cases once they run inside their
# display: the Wine prefix they share (made once, by whichever case comes
# first, kept), the saver's registry key and the wait for a process to end.
# The caller sets $out, the case's output folder.

export WINEPREFIX="${KELVARA_E2E_WINEPREFIX:-$(cd "$out/.." && pwd)/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
key='HKCU\Software\Quorvant\ss\kv\16'

# A new prefix shows its first program's windows only once wineboot is done;
# cases running side by side wait for the one that makes it.
(
    flock 9
    if [ ! -f "$WINEPREFIX/.kelvara-ready" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.kelvara-ready"
    fi
) 9>"$WINEPREFIX.lock"

# wait_exit PID SECONDS: the process's exit code, or 124 (after killing it)
# when it is still running at the end.
wait_exit() {
    i=0
    while kill -0 "$1" 2>/dev/null && [ "$i" -lt $(($2 * 10)) ]; do
        sleep 0.1
        i=$((i + 1))
    done
    if kill -0 "$1" 2>/dev/null; then
        kill "$1" 2>/dev/null
        wait "$1" 2>/dev/null
        return 124
    fi
    wait "$1"
}
