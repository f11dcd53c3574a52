#!/bin/sh
# run_saver_no_gl_e2e.sh SAVER.scr OUTDIR
# The Windows saver (/s under Wine) on an X server without GLX, so Wine has no
# OpenGL to give it (run it through scripts/with-xvfb with
# KELVARA_XVFB_ARGS="-extension GLX"): the run must say why in one line and end
# at once with 1, saving nothing, rather than leave a black window until input.
set -u
scr=$1 out=$2
mkdir -p "$out"
export WINEPREFIX="${KELVARA_E2E_WINEPREFIX:-$(dirname "$out")/wineprefix}"
export WINEARCH=win64
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
key='HKCU\Software\Quorvant\ss\kv\16'
trap 'wineserver -k >/dev/null 2>&1' EXIT

fail() {
    echo "FAIL: $*" >&2
    sed 's/^/   stderr: /' "$out/no-gl.log" >&2
    exit 1
}

(
    flock 9
    if [ ! -f "$WINEPREFIX/.kelvara-ready" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        touch "$WINEPREFIX/.kelvara-ready"
    fi
) 9>"$WINEPREFIX.lock"

wine reg delete "$key" /f >/dev/null 2>&1
wine reg add "$key" /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine "$scr" /s 2>"$out/no-gl.log" &
saver=$!
i=0
while kill -0 "$saver" 2>/dev/null && [ "$i" -lt 200 ]; do
    sleep 0.1
    i=$((i + 1))
done
if kill -0 "$saver" 2>/dev/null; then
    kill "$saver" 2>/dev/null
    fail "the saver went on for 20 s without OpenGL"
fi
wait "$saver"
rc=$?
[ "$rc" -eq 1 ] || fail "exit code $rc without OpenGL, not 1"
lines=$(tr -d '\r' <"$out/no-gl.log" | grep -c '^kelvara: ')
[ "$lines" -eq 1 ] || fail "$lines lines from the saver, not one"
tr -d '\r' <"$out/no-gl.log" | grep -Eq '^kelvara: wgl(CreateContext|MakeCurrent): refused \(error [0-9]+\); nothing to draw with$' ||
    fail "no line saying there is no OpenGL"
n=$(wine reg query "$key" 2>/dev/null | grep -c REG_DWORD)
[ "$n" -eq 1 ] || fail "$n values under the key after a run that drew nothing, want the 1 set"
echo "ok: no OpenGL: one line, exit code 1 after $((i / 10)) s, nothing saved"
