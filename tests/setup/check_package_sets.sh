#!/bin/sh
# check_package_sets.sh [SOURCE_DIR]
# After the builds (build/run, build/native, build/win64): each package set of
# scripts/setup must hold everything its builds and tests use, or have it
# pulled in through the dependencies of what it holds, or get it from the
# essential and required packages every Debian system has. On a machine where
# every package is installed nothing else notices a missing one, so this maps
# each thing used to the package that owns it (dpkg -S):
#   - every file configuring read, every system file in the compiler's
#     dependency files (headers, and the sources of libraries built from
#     /usr/src), the build rules' inputs and the programs they run,
#   - every library on the link lines, every library the built programs load
#     (ldd), and the compilers and tools CMake found,
#   - every tool the scripts and tests call (the scan below; tests/setup/tools
#     says which sets need which tool, and a tool called on ./run's way must be
#     listed for one of the run sets).
# Sets and what they cover:
#   --run        build/run's kelvara (the ./run build) and the tools listed "run"
#   --run-win64  build/win64's kelvara_scr and kelvara_e2e_helper, tools "run-win64"
#   (full)       every build under build/ and every tool
# A missing package fails with its name and the file that needs it.
set -eu
src=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
tools_list=tests/setup/tools
tmp=$(mktemp -d)
trap '[ -n "${KEEP_TMP:-}" ] || rm -rf "$tmp"' EXIT
cd "$src"
LC_ALL=C
export LC_ALL

# ---- The installed packages, and what each one pulls in ----------------------
fields='${binary:Package}\t${db:Status-Abbrev}\t${Essential}\t${Priority}\t${Provides}'
dpkg-query -W -f="$fields"'\t${Pre-Depends}, ${Depends}\n' >"$tmp/db"

# closure SEEDS_FILE: the seeds plus everything their Pre-Depends and Depends
# bring, followed through. Of alternatives the first one installed counts (as
# apt would pick on a bare machine, that being the first one listed in nearly
# every case); a virtual package counts through its first installed provider.
closure() {
    awk -F '\t' -v seeds="$1" '
        function bare(p) { sub(/:[a-z0-9]+$/, "", p); return p }
        function clean(d) {
            gsub(/\([^)]*\)/, "", d); gsub(/[ \t]/, "", d); sub(/:[a-z0-9]+$/, "", d); return d
        }
        function pick(group,    alts, n, i, a) {
            n = split(group, alts, "|")
            for (i = 1; i <= n; i++) {
                a = clean(alts[i])
                if (a in installed) return a
                if (a in provider) return provider[a]
            }
            return ""
        }
        FNR == NR {
            if ($2 !~ /^.i/) next
            p = bare($1)
            installed[p] = 1
            deps[p] = $6
            n = split($5, prov, ",")
            for (i = 1; i <= n; i++) { v = clean(prov[i]); if (v != "" && !(v in provider)) provider[v] = p }
            next
        }
        { queue[++tail] = $1 }
        END {
            while (head < tail) {
                p = queue[++head]
                if (p in seen) continue
                seen[p] = 1
                if (!(p in installed)) { print p "\tmissing"; continue }
                print p
                n = split(deps[p], groups, ",")
                for (i = 1; i <= n; i++) {
                    if (groups[i] ~ /^[ \t]*$/) continue
                    q = pick(groups[i])
                    if (q != "" && !(q in seen)) queue[++tail] = q
                }
            }
        }' "$tmp/db" "$2"
}

# What every Debian system has (mmdebstrap's minbase is exactly this).
awk -F '\t' '$2 ~ /^.i/ && ($3 == "yes" || $4 == "required") { sub(/:[a-z0-9]+$/, "", $1); print $1 }' \
    "$tmp/db" >"$tmp/base.seeds"
closure base "$tmp/base.seeds" | cut -f1 >"$tmp/base"

failed=0
for set in run run-win64 full; do
    case "$set" in
        full) env -u DISPLAY ./scripts/setup --list >"$tmp/$set.seeds" ;;
        *) env -u DISPLAY ./scripts/setup --list "--$set" >"$tmp/$set.seeds" ;;
    esac
    closure "$set" "$tmp/$set.seeds" >"$tmp/$set.closure"
    if grep -q "	missing" "$tmp/$set.closure"; then
        for p in $(awk -F '\t' '$2 == "missing" { print $1 }' "$tmp/$set.closure"); do
            if grep -qx "$p" "$tmp/$set.seeds"; then
                echo "package-sets: $p of set $set is not installed (run scripts/setup)" >&2
                failed=1
            fi
        done
    fi
    cut -f1 "$tmp/$set.closure" | cat - "$tmp/base" | sort -u >"$tmp/$set.ok"
done

# ---- What each set uses: lines "PATH<TAB>NEEDED BY" ----------------------------

# target_dirs BUILD TARGET...: the CMakeFiles folders of the targets and of the
# libraries of this build on their link lines.
target_dirs() {
    build="$1"; shift
    for t in "$@"; do
        d=$(find "$build" -type d -path "*/CMakeFiles/$t.dir" | head -n 1)
        if [ -z "$d" ]; then
            echo "package-sets: no target $t in $build (build it first)" >&2
            return 1
        fi
        echo "$d" >>"$tmp/dirs"
        if [ -f "$d/link.txt" ]; then
            for lib in $(cat "$d/link.txt" "$d"/linkLibs.rsp 2>/dev/null | tr ' ' '\n' |
                         grep -E '^([^/-][^ ]*/)?lib[A-Za-z0-9_]+\.(a|so)$' || true); do
                name=$(basename "$lib" | sed -E 's/^lib//; s/\.(a|so)$//')
                find "$build" -type d -path "*/CMakeFiles/$name.dir" >>"$tmp/dirs"
            done
        fi
    done
    sort -u "$tmp/dirs"
    rm -f "$tmp/dirs"
}

# uses BUILD CACHEKEYS DIR...: what configuring read, the system files compiled
# in, the build rules' inputs and programs, the libraries linked, the programs
# CMake found (those of cache keys matching CACHEKEYS) for the targets in DIR.
uses() {
    build="$1"; cachekeys="$2"; shift 2
    if [ "$#" -eq 0 ]; then
        return 1
    fi
    depfiles=$(find "$@" -name '*.d' -type f)
    if [ -z "$depfiles" ]; then
        echo "package-sets: no dependency files in $build (build it first)" >&2
        return 1
    fi
    # shellcheck disable=SC2086
    awk -v src="$src/" '
        FNR == 1 { who = FILENAME; sub(/^.*CMakeFiles\/[^\/]*\.dir\//, "", who); sub(/\.o\.d$/, "", who) }
        {
            for (i = 1; i <= NF; i++) {
                f = $i; sub(/:$/, "", f)
                if (f ~ /^\// && index(f, src) != 1 && !(f in done)) {
                    done[f] = 1; print f "\tcompiled into " who
                }
            }
        }' $depfiles
    # What configuring read (the whole build is configured, whatever is built
    # after): CMake's list of the files that make it configure again.
    sed -n '/^set(CMAKE_MAKEFILE_DEPENDS/,/^ *)/s/^ *"\(\/[^"]*\)"$/\1/p' "$build/CMakeFiles/Makefile.cmake" |
        while read -r f; do
            case "$f" in "$src"/*) ;; *) printf '%s\t%s\n' "$f" "configuring $build" ;; esac
        done
    # The build rules' own inputs and programs (protocol files and their code
    # generator, the libraries built from /usr/src): in CMake's build.make, the
    # prerequisites of a rule and the program a recipe line starts.
    # shellcheck disable=SC2046
    awk -v src="$src/" '
        FNR == 1 {
            who = FILENAME; sub(/\/build\.make$/, "", who); sub(/^.*\//, "", who); sub(/\.dir$/, "", who)
        }
        function take(f, why) {
            if (f ~ /^\// && index(f, src) != 1 && !(f in done)) { done[f] = 1; print f "\t" why }
        }
        /^[^\t#][^:]*: \/[^ ]+$/ { take($NF, "building " who) }
        /^\t/ {
            n = split($0, w, /[ \t]+/); first = 1
            for (i = 1; i <= n; i++) {
                if (w[i] == "") continue
                if (first) { take(w[i], "run while building " who); first = 0 }
                if (w[i] == "&&") first = 1
            }
        }' $(find "$@" -name build.make -type f) |
        while IFS="$(printf '\t')" read -r f why; do
            [ -e "$f" ] && printf '%s\t%s\n' "$f" "$why"
        done
    for link in $(find "$@" -name link.txt -type f); do
        who="linking $(basename "$(dirname "$link")" .dir)"
        # The link line runs in the folder above CMakeFiles/; MinGW's puts its
        # libraries in a response file.
        base=$(dirname "$(dirname "$(dirname "$link")")")
        while read -r line; do
            # shellcheck disable=SC2086
            set -- $line
            cc="$1"
            case "$(basename "$cc")" in *g++* | *gcc* | *c++ | *cc | clang*) ;; *) continue ;; esac
            for w in "$@"; do
                case "$w" in @*) cat "$base/${w#@}" ;; *) echo "$w" ;; esac
            done | tr ' ' '\n' | while read -r w; do
                case "$w" in
                    "$src"/*) ;;
                    /*.so | /*.so.* | /*.a) printf '%s\t%s\n' "$w" "$who" ;;
                    -l*)
                        lib="${w#-l}"
                        f=$("$cc" -print-file-name="lib$lib.so")
                        case "$f" in /*) ;; *) f=$("$cc" -print-file-name="lib$lib.a") ;; esac
                        case "$f" in
                            /*) printf '%s\t%s\n' "$(realpath -s -m "$f")" "$who" ;;
                            *) echo "package-sets: $who: -l$lib is found nowhere" >&2 ;;
                        esac
                        ;;
                esac
            done
        done <"$link"
    done
    # The compilers, make, pkg-config and the like (for a few targets only the
    # toolchain's: what else configuring found, they may not use); the compiler
    # launcher is the developer's own choice, not the project's.
    grep -E '^[A-Za-z0-9_]+:FILEPATH=/|^CMAKE_(COMMAND|CTEST_COMMAND|CPACK_COMMAND):INTERNAL=/' \
        "$build/CMakeCache.txt" | grep -E "^($cachekeys)" | grep -v '_LAUNCHER:' |
        sed -E 's/^([^:]+):[A-Z]+=(.*)$/\1\t\2/' | while IFS="$(printf '\t')" read -r key f; do
            case "$f" in "$src"/* | *.so | *.so.* | *.a) continue ;; esac
            # A program this machine has outside Debian's folders (/usr/local) is
            # found on a Debian system where Debian puts it.
            case "$f" in
                /usr/bin/* | /usr/sbin/* | /bin/* | /sbin/* | /usr/lib/* | /usr/libexec/*) ;;
                *) d=$(debian_program "$(basename "$f")") && f="$d" ;;
            esac
            if [ -f "$f" ] && [ -x "$f" ]; then printf '%s\t%s\n' "$f" "$build: CMake's $key"; fi
        done
}

# loads FILE...: what the built ELF programs load when they run.
loads() {
    for f in "$@"; do
        [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = "177ELF" ] || continue
        ldd "$f" 2>/dev/null | awk -v who="loaded by ${f#"$src"/}" '
            $2 == "=>" && $3 ~ /^\// { print $3 "\t" who }
            $1 ~ /^\// { print $1 "\t" who }'
    done
}

set_uses() {
    case "$1" in
        run)
            dirs=$(target_dirs build/run kelvara) || return 1
            # shellcheck disable=SC2086
            uses build/run "CMAKE_|PKG_CONFIG_" $dirs || return 1
            loads build/run/kelvara
            ;;
        run-win64)
            dirs=$(target_dirs build/win64 kelvara_scr kelvara_e2e_helper) || return 1
            # shellcheck disable=SC2086
            uses build/win64 "CMAKE_" $dirs || return 1
            ;;
        full)
            for b in run native win64; do
                if [ ! -f "build/$b/CMakeCache.txt" ]; then
                    echo "package-sets: no build/$b (cmake --preset $b && cmake --build --preset $b)" >&2
                    return 1
                fi
            done
            for b in build/*/; do
                b="${b%/}"
                [ -f "$b/CMakeCache.txt" ] || continue
                # Other presets count once built; these three ./test builds.
                case "$b" in
                    build/run | build/native | build/win64) ;;
                    *) [ -n "$(find "$b" -name '*.d' -type f | head -n 1)" ] || continue ;;
                esac
                uses "$b" "" "$b" || return 1
                loads $(find "$b" -type f -perm -u+x ! -name '*.sh')
            done
            ;;
    esac
}

# ---- Tools the scripts and tests call -----------------------------------------
# Every word of the shell scripts (comments left out), of the CMake files and of
# the string literals in the C++ tests that names a program on this machine.
# Programs of the essential and required packages need no listing; every other
# one must be in tests/setup/tools, with the sets that call it.
scan_files() {
    # This check itself calls only what every system has, and names compilers in
    # patterns; the set-up names packages, not programs.
    for f in run test .ci/run \
             $(find scripts tests bench cmake -type f ! -path "tests/setup/*" ! -path scripts/setup) \
             $(find . -name CMakeLists.txt -not -path './build/*'); do
        [ -f "$f" ] || continue
        case "$f" in
            *.cpp | *.h) grep -o '"[^"]*"' "$f" | sed "s|^|$f\t|" ;;
            *.cmake | */CMakeLists.txt | CMakeLists.txt | *.sh | *.supp)
                sed -E 's/(^|[[:space:]])#.*$//' "$f" | sed "s|^|$f\t|"
                ;;
            *)
                head -n 1 "$f" | grep -q '^#!.*sh' || continue
                sed -E 's/(^|[[:space:]])#.*$//' "$f" | sed "s|^|$f\t|"
                ;;
        esac
    done | awk -F '\t' '{
        n = split($2, w, /[^A-Za-z0-9_.+-]+/)
        for (i = 1; i <= n; i++)
            if (w[i] ~ /^[A-Za-z][A-Za-z0-9_.+-]*$/ && !((w[i], $1) in seen)) {
                seen[w[i], $1] = 1; print w[i] "\t" $1
            }
    }'
}
scan_files >"$tmp/words"
: >"$tmp/called"
# debian_program NAME: where a Debian system has the program (not /usr/local,
# nor what this machine's PATH puts before it).
debian_program() {
    for d in /usr/sbin /usr/bin /sbin /bin; do
        if [ -f "$d/$1" ] && [ -x "$d/$1" ]; then
            echo "$d/$1"
            return 0
        fi
    done
    return 1
}
while IFS="$(printf '\t')" read -r word file; do
    p=$(debian_program "$word") && printf '%s\t%s\t%s\n' "$word" "$p" "$file"
done <"$tmp/words" >"$tmp/called"

owners() {
    # PATH<TAB>WHO lines in, PACKAGE<TAB>PATH<TAB>WHO lines out; a path no package
    # owns is tried with its links resolved and in the other half of the merged /usr.
    sort -u -t "$(printf '\t')" -k1,1 >"$tmp/o.in"
    cut -f1 "$tmp/o.in" | while read -r p; do
        printf '%s\t' "$p"
        for q in "$(realpath -s -m "$p")" "$(realpath -m "$p")"; do
            case "$q" in /usr/*) alt="${q#/usr}" ;; *) alt="/usr$q" ;; esac
            printf '%s\t%s\t' "$q" "$alt"
        done
        echo
    done >"$tmp/o.cand"
    tr '\t' '\n' <"$tmp/o.cand" | grep . | sort -u | xargs -r dpkg -S 2>/dev/null |
        grep -v '^diversion by' | sed -E 's/^(.*): (\/.*)$/\2\t\1/' >"$tmp/o.dpkg" || true
    awk -F '\t' '
        FILENAME == ARGV[1] { owner[$1] = $2; next }
        FILENAME == ARGV[2] {
            pkg = ""
            for (i = 2; i <= NF && pkg == ""; i++) if ($i in owner) pkg = owner[$i]
            gsub(/:[a-z0-9]+/, "", pkg); sub(/,.*/, "", pkg)
            found[$1] = pkg == "" ? "-" : pkg
            next
        }
        { print found[$1] "\t" $0 }' "$tmp/o.dpkg" "$tmp/o.cand" "$tmp/o.in"
}

cut -f2,3 "$tmp/called" | owners >"$tmp/called.pkg"
grep -v '^[-#]' "$tools_list" | awk '{ print $1 }' >"$tmp/listed"
grep '^-' "$tools_list" | awk '{ sub(/^-/, "", $1); print $1 }' >"$tmp/unneeded"
# The files ./run goes through (the scripts it starts, followed through): a
# program called there must be listed for one of the two run sets.
echo run >"$tmp/run.files"
while :; do
    grep -ohE 'scripts/[A-Za-z0-9_-]+' $(cat "$tmp/run.files") | grep -vx scripts/setup |
        cat - "$tmp/run.files" | sort -u >"$tmp/run.next"
    cmp -s "$tmp/run.next" "$tmp/run.files" && break
    mv "$tmp/run.next" "$tmp/run.files"
done
awk '/^[^#-]/ { for (i = 2; i <= NF; i++) if ($i ~ /^run/) { print $1; next } }' "$tools_list" \
    >"$tmp/run.listed"
said=""
while IFS="$(printf '\t')" read -r word p file; do
    grep -qx "$word" "$tmp/unneeded" && continue
    pkg=$(awk -F '\t' -v p="$p" '$2 == p { print $1; exit }' "$tmp/called.pkg")
    grep -qx "$pkg" "$tmp/base" && continue
    if ! grep -qx "$word" "$tmp/listed"; then
        case " $said " in *" $word "*) continue ;; esac
        said="$said $word"
        echo "package-sets: $file calls $word (package $pkg), which $tools_list does not list" >&2
        failed=1
    elif grep -qx "$file" "$tmp/run.files" && ! grep -qx "$word" "$tmp/run.listed"; then
        echo "package-sets: $file calls $word (package $pkg) for ./run:" \
             "list it for run or run-win64 in $tools_list" >&2
        failed=1
    fi
done <"$tmp/called"

for set in run run-win64 full; do
    {
        set_uses "$set" || echo "FAILED	" >"$tmp/$set.broken"
        awk -v set="$set" '/^[^#-]/ {
            for (i = 2; i <= NF; i++) if ($i == set) { print $1; next }
            if (set == "full") print $1 }' "$tools_list" | while read -r tool; do
            if p=$(debian_program "$tool"); then
                printf '%s\t%s\n' "$p" "called by the scripts and tests ($tool, listed in tests/setup/tools)"
            else
                echo "package-sets: $tool (listed for $set) is not installed:" \
                     "add its package to scripts/setup" >&2
                echo "FAILED	" >"$tmp/$set.broken"
            fi
        done
    } >"$tmp/$set.uses"
    [ -f "$tmp/$set.broken" ] && failed=1
    owners <"$tmp/$set.uses" >"$tmp/$set.owned"
    awk -F '\t' -v set="$set" '
        FILENAME == ARGV[1] { ok[$1] = 1; next }
        $1 == "-" {
            printf "package-sets: set %s: %s (%s) belongs to no Debian package\n", set, $2, $3; bad = 1; next
        }
        !($1 in ok) && !($1 in said) {
            said[$1] = 1
            printf "package-sets: set %s lacks %s: %s needs %s\n", set, $1, $3, $2; bad = 1
        }
        END { exit bad }' "$tmp/$set.ok" "$tmp/$set.owned" >&2 || failed=1
    echo "package-sets: set $set: $(cut -f1 "$tmp/$set.owned" | sort -u | wc -l) packages used" \
         "($(wc -l <"$tmp/$set.owned") files), $(wc -l <"$tmp/$set.ok") in the set with what it pulls in"
done

if [ "$failed" -ne 0 ]; then
    echo "package-sets: FAILED (scripts/setup: add the package to the set named)" >&2
    exit 1
fi
echo "package-sets: every set holds what it uses"
