#!/bin/sh
# run_saver_no_gl_e2e.sh SAVER.scr OUTDIR
# The Windows saver (/s under Wine) on an X server without GLX, so Wine has no
# OpenGL to give it (run it through scripts/with-xvfb with
# KELVARA_XVFB_ARGS="-extension GLX"): the run must say why in one line and end
# at once with 1, saving nothing, rather than leave a black window until input.
set -u
scr=$1 out=$2
mkdir -p "$out"
. "$(dirname "$0")/wine_case.sh"
trap 'wineserver -k >/dev/null 2>&1' EXIT

fail() {
    echo "FAIL: $*" >&2
    sed 's/^/   stderr: /' "$out/no-gl.log" >&2
    exit 1
}

wine reg delete "$key" /f >/dev/null 2>&1
wine reg add "$key" /v Mode /t REG_DWORD /d 2 /f >/dev/null 2>&1
wine "$scr" /s 2>"$out/no-gl.log" &
saver=$!
wait_exit "$saver" 20
rc=$?
[ "$rc" -ne 124 ] || fail "the saver went on for 20 s without OpenGL"
[ "$rc" -eq 1 ] || fail "exit code $rc without OpenGL, not 1"
lines=$(tr -d '\r' <"$out/no-gl.log" | grep -c '^kelvara: ')
[ "$lines" -eq 1 ] || fail "$lines lines from the saver, not one"
tr -d '\r' <"$out/no-gl.log" | grep -Eq '^kelvara: wgl(CreateContext|MakeCurrent): refused \(error [0-9]+\); nothing to draw with$' ||
    fail "no line saying there is no OpenGL"
n=$(wine reg query "$key" 2>/dev/null | grep -c REG_DWORD)
[ "$n" -eq 1 ] || fail "$n values under the key after a run that drew nothing, want the 1 set"
echo "ok: no OpenGL: one line, exit code 1 after $((i / 10)) s, nothing saved"
