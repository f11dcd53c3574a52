#!/bin/sh
# deb_test.sh BUILD_DIR VERSION OPTION_FILE [WITH_KWIN]
# Makes the Debian package from a native build with CPack, checks its files and
# fields, installs it on this machine with dpkg -i, runs what it installed and
# removes it with dpkg -r. Needs root; exits 77 (skipped) without it, or when
# this machine already has a kelvara that the test did not put there.
# OPTION_FILE is the option file the build installs, to compare with. With
# WITH_KWIN (scripts/with-kwin) the installed kelvara runs on a headless KWin
# whose screenshot grant check is on: its .desktop entry must get it each
# output's picture.
set -u
build="$1"
version="$2"
option_file="$3"
with_kwin="${4:-}"

fail() {
    echo "deb_test: FAIL: $*" >&2
    exit 1
}
skip() {
    echo "deb_test: skipped: $*"
    exit 77
}

[ "$(id -u)" = 0 ] || skip "dpkg -i needs root"
for tool in cpack dpkg-deb dpkg-shlibdeps man; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done

# The system's package database is shared with every other test run on this
# machine (other build folders too): one package test at a time.
lockdir=/run/lock
[ -d "$lockdir" ] || lockdir=/tmp
exec 9>"$lockdir/kelvara-package-test.lock"
flock -w 900 9 || fail "another package test held the lock for 15 minutes"

installed_files="/usr/bin/kelvara /usr/libexec/xscreensaver/kelvara /usr/share/xscreensaver/config/kelvara.xml
/usr/share/man/man6/kelvara.6.gz /usr/share/doc/kelvara/copyright /usr/share/applications/kelvara.desktop"
if dpkg-query -W -f='${Status}' kelvara 2>/dev/null | grep -q "installed"; then
    skip "a kelvara package is already installed here; not touching it"
fi
for f in $installed_files; do
    if [ -e "$f" ] || [ -L "$f" ]; then skip "$f exists and is not ours; not touching it"; fi
done

work="$(mktemp -d "${TMPDIR:-/tmp}/kelvara-deb-test.XXXXXX")"
we_installed=0
cleanup() {
    if [ "$we_installed" = 1 ]; then
        dpkg -r kelvara >/dev/null 2>&1 || echo "deb_test: could not remove the package" >&2
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# dpkg waits for no one: another apt or dpkg run on this machine holds its lock
# for a moment now and then.
dpkg_retry() {
    i=0
    while ! dpkg "$@" >"$work/dpkg.log" 2>&1; do
        if grep -q "lock" "$work/dpkg.log" && [ "$i" -lt 60 ]; then
            i=$((i + 1))
            sleep 2
            continue
        fi
        cat "$work/dpkg.log" >&2
        return 1
    done
    cat "$work/dpkg.log"
}

# ---- Make it ----------------------------------------------------------------
arch="$(dpkg --print-architecture)"
deb="$work/kelvara_${version}_${arch}.deb"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G DEB failed"; }
[ -f "$deb" ] || { ls "$work" >&2; fail "cpack made no $deb"; }

# ---- Its files: exactly the program, its link, the option file, the manual
# page and the licence, owned by root. -------------------------------------
dpkg-deb -c "$deb" >"$work/contents" || fail "dpkg-deb -c cannot read the package"
cat "$work/contents"
awk '$1 !~ /^d/ { print $6 ($7 == "->" ? " -> " $8 : "") }' "$work/contents" | sort >"$work/files"
{
    echo "./usr/bin/kelvara"
    echo "./usr/libexec/xscreensaver/kelvara -> ../../bin/kelvara"
    echo "./usr/share/applications/kelvara.desktop"
    echo "./usr/share/doc/kelvara/copyright"
    echo "./usr/share/man/man6/kelvara.6.gz"
    echo "./usr/share/xscreensaver/config/kelvara.xml"
} | sort >"$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package holds other files than the program's"
if awk '$2 != "root/root" { bad = 1 } END { exit !bad }' "$work/contents"; then
    fail "files not owned by root/root"
fi
grep -q '^-rwxr-xr-x .* \./usr/bin/kelvara$' "$work/contents" || fail "/usr/bin/kelvara is not an executable file"

# ---- Its fields ---------------------------------------------------------------
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kelvara ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version), the build says $version"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = x11 ] || fail "Section: $(field Section)"
[ "$(field Priority)" = optional ] || fail "Priority: $(field Priority)"
[ "$(field Maintainer)" = "The Kelvara authors" ] || fail "Maintainer: $(field Maintainer)"
echo "Suggests: $(field Suggests)"
field Suggests | grep -q '\bxscreensaver\b' || fail "does not suggest xscreensaver"
field Description | sed -n 1p | grep -q . || fail "no short description"
[ "$(field Description | wc -l)" -ge 2 ] || fail "no long description"
depends="$(field Depends)"
echo "Depends: $depends"
# Every library the program needs must come from a package it depends on.
objdump -p "$work/_CPack_Packages/Linux/DEB/kelvara_${version}_${arch}/usr/bin/kelvara" 2>/dev/null |
    awk '$1 == "NEEDED" { print $2 }' >"$work/needed" || true
[ -s "$work/needed" ] || objdump -p "$build/kelvara" | awk '$1 == "NEEDED" { print $2 }' >"$work/needed"
[ -s "$work/needed" ] || fail "cannot read the program's libraries"
echo "The program needs: $(tr '\n' ' ' <"$work/needed")"
while read -r soname; do
    path="$(ldconfig -p | awk -v s="$soname" '$1 == s && /x86-64|x86_64|AArch64|aarch64/ { print $NF; exit }')"
    [ -n "$path" ] || path="$(ldconfig -p | awk -v s="$soname" '$1 == s { print $NF; exit }')"
    [ -n "$path" ] || fail "no $soname on this machine"
    real="$(readlink -f "$path")"
    owner="$(dpkg -S "$real" 2>/dev/null || dpkg -S "$path" 2>/dev/null)"
    owner="$(echo "$owner" | head -1 | cut -d: -f1)"
    [ -n "$owner" ] || fail "no package owns $path ($soname)"
    echo "$depends" | tr ',' '\n' | grep -q "^ *$owner\b" || fail "needs $soname from $owner, not in Depends"
done <"$work/needed"

if command -v lintian >/dev/null; then
    echo "lintian says (not judged here):"
    lintian "$deb" || true
fi

# ---- Installed -------------------------------------------------------------------
dpkg_retry -i "$deb" || fail "dpkg -i failed"
we_installed=1
out="$(/usr/bin/kelvara --version)" || fail "kelvara --version failed"
[ "$out" = "kelvara $version" ] || fail "kelvara --version: '$out'"
out="$(PATH=/usr/bin:/bin kelvara --version)" || fail "kelvara not on the PATH"
out="$(/usr/libexec/xscreensaver/kelvara --version)" || fail "the XScreenSaver link does not run"
[ "$out" = "kelvara $version" ] || fail "/usr/libexec/xscreensaver/kelvara --version: '$out'"
cmp "$option_file" /usr/share/xscreensaver/config/kelvara.xml || fail "the installed option file differs"
grep -q "Expat" /usr/share/doc/kelvara/copyright || fail "no licence in the copyright file"
grep -q "The Kelvara authors" /usr/share/doc/kelvara/copyright || fail "no copyright holder"
page="$(man -w 6 kelvara)" || fail "man -w 6 kelvara finds no page"
[ "$page" = /usr/share/man/man6/kelvara.6.gz ] || fail "man 6 kelvara reads $page"
MANWIDTH=80 man -P cat 6 kelvara >"$work/man.txt" 2>"$work/man.err" || fail "man 6 kelvara failed"
[ -s "$work/man.err" ] && { cat "$work/man.err" >&2; fail "man 6 kelvara warned"; }
head -8 "$work/man.txt"
grep -q "kelvara" "$work/man.txt" || fail "man 6 kelvara shows no page about kelvara"
grep -q -- "--root" "$work/man.txt" || fail "the manual page does not give --root"
grep -q "/usr/share/xscreensaver/config/kelvara.xml" "$work/man.txt" ||
    fail "the manual page does not name the option file where the package puts it"

# KWin hands each output's picture only to a program whose entry grants it.
entry=/usr/share/applications/kelvara.desktop
[ "$(sed -n 1p "$entry")" = "[Desktop Entry]" ] || fail "$entry has no [Desktop Entry] group first"
for line in Exec=/usr/bin/kelvara NoDisplay=true Type=Application \
    X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2; do
    grep -qx "$line" "$entry" || fail "$entry lacks $line"
done
if [ -n "$with_kwin" ] && command -v kwin_wayland >/dev/null; then
    env -u KWIN_SCREENSHOT_NO_PERMISSION_CHECKS "$with_kwin" \
        sh -c 'XDG_CONFIG_HOME="$HOME/config" /usr/bin/kelvara --seconds 3 2>"$HOME/stderr"
               echo "$?" >"$HOME/status"
               cp "$HOME/stderr" "$HOME/status" "$0"/' "$work" || fail "with-kwin failed"
    [ "$(cat "$work/status")" = 0 ] || fail "the installed kelvara on KWin: exit $(cat "$work/status")"
    if [ -s "$work/stderr" ]; then
        cat "$work/stderr" >&2
        fail "KWin did not hand the installed kelvara its pictures"
    fi
    echo "deb_test: on KWin the installed kelvara got each output's picture through its entry"
fi

# ---- Removed -------------------------------------------------------------------
dpkg_retry -r kelvara || fail "dpkg -r failed"
we_installed=0
for f in $installed_files; do
    if [ -e "$f" ] || [ -L "$f" ]; then fail "$f is left after dpkg -r"; fi
done
if dpkg-query -W -f='${Status}' kelvara 2>/dev/null | grep -q " installed"; then
    fail "dpkg still lists kelvara as installed"
fi
[ -d /usr/share/doc/kelvara ] && fail "/usr/share/doc/kelvara is left after dpkg -r"
echo "deb_test: the package built, installed, ran and went again"
exit 0
