#!/bin/sh
# check_option_file.sh KELVARA OPTION_FILE
# XScreenSaver's option file as the build wrote it: well-formed, and every
# option its controls can pass taken by the program itself (a slider at both
# ends and at its default).
set -u
kelvara=$1
file=$2
status=0

xmllint --noout "$file" || exit 1

# One control's options, one line each: "--name VALUE" or "--name %".
xmllint --xpath '//@arg | //@arg-set | //@arg-unset' "$file" |
    sed -n 's/^ *arg[a-z-]*="\(.*\)"$/\1/p' > "${TMPDIR:-/tmp}/kelvara-options.$$"
count=0
while read -r option value; do
    count=$((count + 1))
    values=$value
    if [ "$value" = "%" ]; then
        values=""
        for end in low high default; do
            values="$values $(xmllint --xpath "string(//number[@arg='$option %']/@$end)" "$file")"
        done
    fi
    for v in $values; do
        # Options are read in order, so the program checks this one before it
        # prints its version and ends.
        # shellcheck disable=SC2086
        if ! "$kelvara" $option $v --version > /dev/null 2> "${TMPDIR:-/tmp}/kelvara-stderr.$$"; then
            echo "check_option_file: kelvara refuses '$option $v': $(cat "${TMPDIR:-/tmp}/kelvara-stderr.$$")"
            status=1
        fi
    done
done < "${TMPDIR:-/tmp}/kelvara-options.$$"
rm -f "${TMPDIR:-/tmp}/kelvara-options.$$" "${TMPDIR:-/tmp}/kelvara-stderr.$$"
if [ "$count" -lt 10 ]; then
    echo "check_option_file: only $count options found in $file"
    status=1
fi
exit $status
