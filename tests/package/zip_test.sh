#!/bin/sh
# zip_test.sh BUILD_DIR VERSION
# Makes the Windows zip from a win64 build with CPack and checks that it holds
# exactly the saver, the licence and the install text, at its top level.
set -u
build="$1"
version="$2"

fail() {
    echo "zip_test: FAIL: $*" >&2
    exit 1
}

work="$(mktemp -d "${TMPDIR:-/tmp}/kelvara-zip-test.XXXXXX")"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

zip="$work/kelvara-$version-win64.zip"
cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack -G ZIP failed"; }
[ -f "$zip" ] || { ls "$work" >&2; fail "cpack made no $zip"; }

cmake -E tar tf "$zip" | sort >"$work/listing" || fail "cannot list $zip"
cat "$work/listing"
printf 'LICENSE.txt\nREADME-Windows.txt\nkelvara.scr\n' >"$work/expected"
diff -u "$work/expected" "$work/listing" || fail "the zip does not hold exactly the three files"

mkdir "$work/out"
(cd "$work/out" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
x86_64-w64-mingw32-objdump -f "$work/out/kelvara.scr" 2>/dev/null | grep -q 'file format pei-x86-64' ||
    fail "kelvara.scr in the zip is not a 64-bit Windows program"
x86_64-w64-mingw32-objdump -p "$work/out/kelvara.scr" | grep -q 'Subsystem.*Windows GUI' ||
    fail "kelvara.scr in the zip is not a GUI program"
for text in LICENSE.txt README-Windows.txt; do
    # Windows line ends on every line, for any Notepad.
    lines="$(wc -l <"$work/out/$text")"
    crlf="$(grep -c "$(printf '\r')\$" "$work/out/$text")"
    [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$text: $crlf of $lines lines end in CR LF"
done
grep -q "MIT License" "$work/out/LICENSE.txt" || fail "LICENSE.txt is not the MIT licence"
grep -q "The Kelvara authors" "$work/out/LICENSE.txt" || fail "LICENSE.txt names no copyright holder"
grep -q "Kelvara $version" "$work/out/README-Windows.txt" || fail "README-Windows.txt does not give version $version"
grep -q "Install" "$work/out/README-Windows.txt" || fail "README-Windows.txt does not say how to install"
echo "zip_test: the zip holds the saver, the licence and the install text"
