#!/bin/sh
# The manual page as its readers take it: groff with every warning on and man
# at 80 columns must say nothing, and every rendered line must fit.
set -u
page=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

groff -ww -man -Tutf8 -z "$page" 2> "$work/groff.err"
MANWIDTH=80 man --warnings -E UTF-8 -l "$page" > "$work/man.txt" 2> "$work/man.err"
for log in groff.err man.err; do
    if [ -s "$work/$log" ]; then
        echo "check_man_page: ${log%.err} complains:"
        cat "$work/$log"
        status=1
    fi
done
width=$(LC_ALL=C.UTF-8 wc -L < "$work/man.txt")
if [ "$width" -gt 80 ]; then
    echo "check_man_page: a line is $width columns wide:"
    LC_ALL=C.UTF-8 awk 'length($0) > 80' "$work/man.txt"
    status=1
fi
for section in NAME SYNOPSIS OPTIONS SETTINGS FILES 'EXIT STATUS' XSCREENSAVER; do
    grep -qx "$section" "$work/man.txt" || { echo "check_man_page: no $section section"; status=1; }
done
exit $status
