#!/bin/sh
# gnome_idle_e2e.sh KELVARA HIDE_GLOBAL WITH_GNOME WORKDIR
# The idle watch on GNOME: headless GNOME Shell (scripts/with-gnome) offers
# neither Wayland idle protocol, so the watch takes the seat's idle time from
# org.gnome.Mutter.IdleMonitor. No gnome-session runs there: its
# IsInhibited is stood in for by python3-dbusmock, answering from a flag
# file. The savers are kept from drawing (wl_compositor hidden from them), so
# that each start is one line and an exit at once, whatever the saver can do
# on GNOME: the watch's back-off is what shows. Keys come through mutter's
# RemoteDesktop (desktop_bus.py).
set -u
kelvara=$1 hide_global=$2 withgnome=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withgnome" sh "$0" "$@"
fi
case_name=gnome_idle
. "$here/../case_run.sh"
export GSETTINGS_BACKEND=keyfile

/usr/bin/python3 -m dbusmock --session org.gnome.SessionManager /org/gnome/SessionManager \
    org.gnome.SessionManager >"$dir/mock.log" 2>&1 &
pids="$pids $!"
wait_until 100 "the gnome-session stand-in did not start" gdbus introspect --session -d org.gnome.SessionManager -o /
gdbus call --session -d org.gnome.SessionManager -o /org/gnome/SessionManager \
    -m org.freedesktop.DBus.Mock.AddMethod org.gnome.SessionManager IsInhibited u b \
    "ret = os.path.exists('$dir/inhibited')" >/dev/null || fail "cannot teach the stand-in IsInhibited"

key() { /usr/bin/python3 "$here/desktop_bus.py" gnome-keys space || fail "the shell took no key"; }

# GNOME blanks after 1 s, sooner than the watch's 2 s: said once.
gsettings set org.gnome.desktop.session idle-delay 1 || fail "gsettings cannot set idle-delay"
: >"$dir/inhibited"
LD_PRELOAD=$hide_global KELVARA_HIDE_GLOBALS=wl_compositor "$kelvara" --idle 2 2>"$dir/stderr" &
watch=$!
pids="$pids $watch"
sleep 5
says 1 'GNOME blanks the screen after 1 s'
echo "idle 5 s while gnome-session says idle is inhibited: no saver"
rm "$dir/inhibited"
key
sleep 9
starts=$(grep -c 'wl_compositor\|zwlr_layer_shell_v1' "$dir/stderr")
[ "$starts" -eq 3 ] || fail "$starts savers started in 9 s, not 3 (then backing off)"
[ "$(grep -c 'failed 3 times in a row' "$dir/stderr")" -eq 1 ] || fail "the failures were not reported once"
echo "after a key and the next idle period: three savers, each failing at once, reported once"
kill -TERM "$watch"
ends_within "$watch" 50 || fail "SIGTERM did not end the watch"
[ "$status" -eq 0 ] || fail "exit code $status of the watch after SIGTERM"
echo "ok ($case_name)"
exit 0
