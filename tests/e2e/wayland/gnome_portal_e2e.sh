#!/bin/sh
# gnome_portal_e2e.sh KELVARA WITH_GNOME WORKDIR
# The desktop portal's screenshot on a headless GNOME Shell of its own, as
# kelvara --allow-capture asks for it: the portal started by D-Bus activation
# for this desktop, the permission store holding the answer the one-time
# question would leave. The portal must answer with a picture, kelvara must
# say so and exit 0, and the picture's file must be gone.
set -u
case_name=gnome_portal kelvara=$1 withgnome=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)

if [ -z "${KELVARA_E2E_INSIDE:-}" ]; then
    KELVARA_E2E_INSIDE=1 exec "$withgnome" sh "$0" "$@"
fi

. "$here/../case_run.sh"

/usr/bin/python3 "$here/desktop_bus.py" portal-allow || fail "the portal could not be prepared"
touch "$dir/before"
"$kelvara" --allow-capture >"$dir/stdout" 2>"$dir/stderr"
status=$?
cat "$dir/stdout"
[ "$status" -eq 0 ] || fail "--allow-capture: exit $status"
grep -q "^Allowed: " "$dir/stdout" || fail "--allow-capture does not say the portal allowed it"
[ ! -s "$dir/stderr" ] || fail "--allow-capture said something on stderr"
left=$(find "$HOME" -newer "$dir/before" -type f -name '*.png')
[ -z "$left" ] || fail "the portal's picture is left behind: $left"
echo "PASS ($case_name)"
