#!/bin/sh
# installer_test.sh INSTALLER SCR VERSION WORK_PARENT
# Runs the Windows installer and its uninstaller silently under Wine, in a
# prefix of its own (made here and removed afterwards), on the display in
# $DISPLAY (scripts/with-xvfb gives one), and checks after each step the
# system folder, Add/Remove Programs and the current screen saver; after every
# uninstall the prefix's files and the registry keys touched must be as they
# were before the install.
set -u
installer="$1"
scr="$2"
version="$3"
parent="$4"

fail() {
    echo "installer_test: FAIL: $*" >&2
    exit 1
}
[ -f "$installer" ] || fail "no $installer (the win64 build makes it with makensis; scripts/setup installs nsis)"
[ -n "${DISPLAY:-}" ] || fail "no DISPLAY (run under scripts/with-xvfb)"

work="$(mktemp -d "$parent/installer-test.XXXXXX")"
export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
cleanup() {
    wineserver -k >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w

drive="$WINEPREFIX/drive_c"
system="$drive/windows/system32"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvara'
desktop_key='HKCU\Control Panel\Desktop'
ours='C:\windows\system32\kelvara.scr'

# value KEY NAME: prints the value's data; fails when there is no such value.
value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -F '    ' -v n="$2" '$2 == n { print $4; found = 1 } END { exit !found }'
}
set_saver() {
    if [ -n "$1" ]; then
        wine reg add "$desktop_key" /v SCRNSAVE.EXE /t REG_SZ /d "$1" /f >/dev/null 2>&1 || fail "reg add"
    else
        wine reg delete "$desktop_key" /v SCRNSAVE.EXE /f >/dev/null 2>&1
    fi
    wineserver -w
}
# The saver chosen now, or "(none)".
saver() {
    value "$desktop_key" SCRNSAVE.EXE || echo "(none)"
}
lower() { tr '[:upper:]' '[:lower:]'; }

# What an install may change and its uninstall must give back: the files of
# the prefix (not its temporary folders) and the two registry keys.
snapshot() {
    wineserver -w
    (cd "$drive" && find . \( -path './users/*/Temp' -o -path './windows/temp' \) -prune -o -print | sort) >"$1.files"
    wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' >"$1.uninstall"
    wine reg query "$desktop_key" 2>/dev/null | tr -d '\r' >"$1.desktop"
}
same_as() {
    snapshot "$work/after"
    for part in files uninstall desktop; do
        diff -u "$1.$part" "$work/after.$part" >&2 || fail "$2: $part not as before the install"
    done
}

run_installer() {
    wine "$installer" "$@"
    rc=$?
    wineserver -w
    [ "$rc" = 0 ] || fail "the installer ($*) ended with $rc"
}
run_uninstaller() {
    # The uninstall command as Add/Remove Programs would run it silently. The
    # uninstaller copies itself to a temporary folder and runs from there, so
    # wait for every process of the prefix.
    quiet="$(value "$uninstall_key" QuietUninstallString)" || fail "no QuietUninstallString"
    exe="$(echo "$quiet" | sed -n 's/^"\([^"]*\)" \/S$/\1/p')"
    [ -n "$exe" ] || fail "QuietUninstallString is not '\"...\" /S': $quiet"
    wine "$exe" /S
    rc=$?
    wineserver -w
    [ "$rc" = 0 ] || fail "the uninstaller ended with $rc"
}

check_installed() {
    [ -f "$system/kelvara.scr" ] || fail "$1: no kelvara.scr in the system folder"
    [ -e "$drive/windows/syswow64/kelvara.scr" ] && fail "$1: kelvara.scr went into the 32-bit system folder"
    cmp -s "$scr" "$system/kelvara.scr" || fail "$1: the installed kelvara.scr is not the one built"
    [ "$(value "$uninstall_key" DisplayName)" = Kelvara ] || fail "$1: DisplayName"
    [ "$(value "$uninstall_key" DisplayVersion)" = "$version" ] || fail "$1: DisplayVersion is not $version"
    [ "$(value "$uninstall_key" Publisher)" = "The Kelvara authors" ] || fail "$1: Publisher"
    [ "$(value "$uninstall_key" NoModify)" = 0x1 ] || fail "$1: NoModify"
    [ "$(value "$uninstall_key" NoRepair)" = 0x1 ] || fail "$1: NoRepair"
    size="$(value "$uninstall_key" EstimatedSize)" || fail "$1: no EstimatedSize"
    # In KiB: at least the saver's own size.
    [ $((size)) -ge $(($(stat -c %s "$scr") / 1024)) ] || fail "$1: EstimatedSize $size is too small"
    uninst="$(value "$uninstall_key" UninstallString)" || fail "$1: no UninstallString"
    path="$(echo "$uninst" | sed -n 's/^"\(.*\)"$/\1/p')"
    [ -n "$path" ] || fail "$1: UninstallString is not quoted: $uninst"
    [ -f "$(winepath -u "$path" 2>/dev/null)" ] || fail "$1: no uninstaller at $path"
}
check_removed() {
    [ -e "$system/kelvara.scr" ] && fail "$1: kelvara.scr is left in the system folder"
    value "$uninstall_key" DisplayName >/dev/null && fail "$1: the Add/Remove Programs entry is left"
    [ -e "$drive/Program Files/Kelvara" ] && fail "$1: Program Files\\Kelvara is left"
    return 0
}

other='C:\windows\system32\other.scr'

echo "1. silent install without /CURRENT over another screen saver"
set_saver "$other"
snapshot "$work/before1"
run_installer /S
check_installed "install"
[ "$(saver)" = "$other" ] || fail "install without /CURRENT changed the screen saver to $(saver)"
run_uninstaller
check_removed "uninstall"
[ "$(saver)" = "$other" ] || fail "uninstall changed the screen saver to $(saver)"
same_as "$work/before1" "uninstall"

echo "2. silent install with /CURRENT, uninstall gives the previous one back"
run_installer /S /CURRENT
check_installed "install /CURRENT"
[ "$(saver | lower)" = "$(echo "$ours" | lower)" ] || fail "install /CURRENT: SCRNSAVE.EXE is $(saver)"
run_uninstaller
check_removed "uninstall"
[ "$(saver)" = "$other" ] || fail "uninstall did not put back the previous screen saver: $(saver)"
same_as "$work/before1" "uninstall after /CURRENT"

echo "3. no screen saver before, installed twice with /CURRENT"
set_saver ""
snapshot "$work/before3"
run_installer /S /CURRENT
run_installer /S /CURRENT
check_installed "second install"
[ "$(saver | lower)" = "$(echo "$ours" | lower)" ] || fail "install /CURRENT: SCRNSAVE.EXE is $(saver)"
run_uninstaller
check_removed "uninstall"
[ "$(saver)" = "(none)" ] || fail "uninstall left SCRNSAVE.EXE as $(saver), there was none before"
same_as "$work/before3" "uninstall after two installs"

echo "4. the user chose another screen saver since: the uninstaller leaves it"
run_installer /S /CURRENT
set_saver 'C:\windows\system32\chosen.scr'
run_uninstaller
check_removed "uninstall"
[ "$(saver)" = 'C:\windows\system32\chosen.scr' ] || fail "uninstall replaced the user's choice by $(saver)"

echo "installer_test: install and uninstall left the prefix as they found it"
exit 0
