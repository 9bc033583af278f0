#!/usr/bin/env bash
# kandu-calc as a process: arguments, batch mode, invalid lines, exit codes,
# line endings, files as Windows tools write them, megabyte lines and a reader
# that goes away.
#   kandu_calc_test.sh PROGRAM [WINDRES]
# A Windows .exe runs under Wine, or directly on Windows (MSYS2's bash), and
# must answer with CRLF line endings, and carries the manifest and version
# record that WINDRES (GNU windres, which reads an .exe's resources) lists.
set -uo pipefail
program=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

runner=()
nl=$'\n'
if [[ $program == *.exe ]]; then
    nl=$'\r\n'
    if [[ $OSTYPE == msys || $OSTYPE == cygwin ]]; then
        # Windows runs it; the arguments reach it as typed (MSYS2 would
        # make /? a path).
        export MSYS2_ARG_CONV_EXCL='*'
    else
        . "$here/../../tools/wine-env.sh"
        kandu_wine_prefix || exit 1
        runner=("$(kandu_wine_for "$program")")
    fi
fi

failures=0
checks=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# run NAME STDIN_FILE ARGS...: leaves the output in $work/out, $work/err, $rc.
run() {
    local input=$1
    shift
    "${runner[@]}" "$program" "$@" <"$input" >"$work/out" 2>"$work/err"
    rc=$?
    checks=$((checks + 1))
}

# expect_out WHAT LINES...: stdout is exactly these lines.
expect_out() {
    local what=$1 expected=""
    shift
    local line
    for line in "$@"; do expected+="$line$nl"; done
    printf '%s' "$expected" >"$work/expected"
    cmp -s "$work/out" "$work/expected" || {
        fail "$what: stdout differs"
        diff <(od -c "$work/expected") <(od -c "$work/out") | head -n 10 >&2
    }
}
# expect_err WHAT LINES...: stderr is exactly these lines.
expect_err() { printf "%s$nl" "${@:2}" | cmp -s - "$work/err" || fail "$1: stderr: $(head -c 300 "$work/err")"; }
expect_rc() { [ "$rc" = "$2" ] || fail "$1: exit status $rc, expected $2"; }
expect_err_empty() { [ ! -s "$work/err" ] || fail "$1: unexpected stderr: $(head -c 300 "$work/err")"; }
expect_err_has() { grep -q -- "$2" "$work/err" || fail "$1: stderr lacks '$2': $(head -c 300 "$work/err")"; }

: >"$work/empty"

# ---- arguments ----
run "$work/empty" 1100 200 250
expect_out "three values" 880
expect_rc "three values" 0
expect_err_empty "three values"

run "$work/empty" 1100 150 20
expect_out "division by zero" "out of range"
expect_rc "out of range is still a result" 0

# ---- batch mode ----
printf '1100\t150\t150\r\n1100\t200\r\n700\t200\t250\nabc\t150\t150\n\n1100\t500\t450' >"$work/batch"
run "$work/batch"
expect_out "batch" 1100 "invalid input" 560 "out of range" "" 1210
expect_rc "batch with invalid lines" 2
expect_err "batch" 'kandu-calc: line 2: expected three values separated by tabs, semicolons, commas or blanks' \
    'kandu-calc: line 4, value 1 "abc" is not a whole number; read as 0'

# The same readings in each line style and encoding give the tab-separated
# ASCII file's answers; a trailing blank line gives an empty one.
printf '1100\t200\t250\r\n700\t200\t250\r\n1100\t21\t100\r\n1100\t99.9\t100\r\n' >"$work/tabs"
run "$work/tabs"
expect_out "tab-separated" 880 560 "out of range" 1090
expect_rc "tab-separated" 0
cp "$work/out" "$work/tabs.out"
{ printf '\xef\xbb\xbf'; cat "$work/tabs"; } >"$work/utf8-mark"
{ printf '\xff\xfe'; iconv -f ASCII -t UTF-16LE "$work/tabs"; } >"$work/utf16le"
tr '\t' ';' <"$work/tabs" | sed 's/99\.9/99,9/' >"$work/semicolons"
tr '\t' ',' <"$work/tabs" >"$work/commas"
sed 's/\t/  /g' "$work/tabs" >"$work/blanks"
printf '\n' >>"$work/blanks"
for style in utf8-mark utf16le semicolons commas blanks; do
    run "$work/$style"
    expected="$work/tabs.out"
    if [ $style = blanks ]; then
        cat "$work/tabs.out" >"$work/expected"
        printf '%s' "$nl" >>"$work/expected"
        expected="$work/expected"
    fi
    cmp -s "$work/out" "$expected" || fail "$style: answers differ: $(od -c "$work/out" | head -n 3)"
    expect_rc "$style" 0
    expect_err_has "$style" "line 4, value 2 \"99.9\" is not a whole number; read as 99"
done

# Binary junk: results before it stand, then one message and status 2.
{ printf '1100\t200\t250\n'; head -c 4096 /dev/zero; printf '\n700\t200\t250\n'; } >"$work/junk"
run "$work/junk"
expect_out "not text" 880
expect_rc "not text" 2
expect_err_has "not text" "line 2: not text"
[ "$(grep -c . "$work/err")" = 1 ] || fail "not text: expected one message"

run "$work/empty" 1100 99.9 100
expect_out "decimals are cut" 1090
run "$work/empty" -- -500 150 -5
expect_out "options end at --" 2360
expect_rc "options end at --" 0
run "$work/empty" " +1100 " 200x "250.9"
expect_out "texts parsed as the form does" 880
# Only ASCII digits are digits, as in batch input and whatever the system's
# code page: full-width ones make no number, full-width hyphens no option.
# Wine reads the arguments in the locale's encoding: UTF-8 here.
LC_ALL=C.UTF-8 run "$work/empty" １１００ ２００ ２５０
expect_out "full-width digits" "out of range"
LC_ALL=C.UTF-8 run "$work/empty" －－version
expect_rc "full-width hyphens" 2

printf '1100\t200\t250\n700\t200\t250\n' >"$work/valid"
run "$work/valid" -
expect_out "batch from -" 880 560
expect_rc "batch from -" 0
expect_err_empty "batch from -"
run "$work/valid" --
expect_out "batch after --" 880 560

# ---- values that do not read as typed ----
# The result stands; standard error says which value it was and how it was
# read, in quotes safe for a terminal, a long one cut.
LC_ALL=C.UTF-8 run "$work/empty" -- "-1100 " +99999999999 $'\e[2J\xc2\xb0'"$(printf '%040d' 7)"
expect_out "not as typed" "out of range"
expect_rc "not as typed" 0
expect_err "not as typed" 'kandu-calc: value 2 "+99999999999" is not within -2147483648 to 2147483647; read as 1215752191' \
    'kandu-calc: value 3 "?[2J?000000000000000000000000000..." is not a whole number; read as 0'
printf '1100x;200;250\n 1100  +200  250 \n' >"$work/loose"
run "$work/loose"
expect_out "batch not as typed" 880 880
expect_err "batch not as typed" 'kandu-calc: line 1, value 1 "1100x" is not a whole number; read as 1100'

run "$work/empty"
expect_out "empty input"
expect_rc "empty input" 0

# A megabyte line of blanks in the first field, then one of text in the
# third, then a plain line.
{
    head -c 1048576 /dev/zero | tr '\0' ' '
    printf '1100\t200\t250\n1100\t200\t250'
    head -c 1048576 /dev/zero | tr '\0' 'x'
    printf '\n700\t200\t250\n1100\t200'
    head -c 1048576 /dev/zero | tr '\0' '9'
    printf '\n'
} >"$work/long"
run "$work/long"
expect_out "megabyte lines" 880 880 560 "invalid input"
expect_rc "megabyte lines" 2
expect_err_has "megabyte lines" "line 4"

# ---- a reader that goes away ----
# Endless input, and a reader that takes five bytes and goes: the program
# stops at the first write that fails, with status 1 and its message, rather
# than read on. The time limit only turns a hang into a failure.
mkfifo "$work/endless"
yes '1100 200 250' >"$work/endless" &
feeder=$!
timeout 120 "${runner[@]}" "$program" <"$work/endless" 2>"$work/err" | head -c5 >"$work/out"
rc=${PIPESTATUS[0]}
checks=$((checks + 1))
kill $feeder 2>/dev/null
wait $feeder 2>/dev/null
[ "$(head -c3 "$work/out")" = 880 ] || fail "reader gone: read $(od -c "$work/out" | head -n1)"
expect_rc "reader gone (124: still running)" 1
expect_err_has "reader gone" "cannot write the output"

# A reader that takes one line of a long valid file: the failed write is
# the one thing said, whatever line the run stopped in.
awk 'BEGIN { for (i = 0; i < 200000; i++) print "1100\t200\t250" }' >"$work/many"
"${runner[@]}" "$program" <"$work/many" 2>"$work/err" | head -n1 >"$work/out"
rc=${PIPESTATUS[0]}
checks=$((checks + 1))
expect_rc "one line read" 1
expect_err "one line read" "kandu-calc: cannot write the output"

# ---- other options and usage ----
run "$work/empty" --table
[ "$(wc -l <"$work/out")" = 71 ] || fail "--table: expected 71 lines"
grep -q "^-100	-76$(printf '%s' "${nl%$'\n'}")\$" "$work/out" || fail "--table: first row"
grep -q "^430	456.65" "$work/out" || fail "--table: 430-degree row"
grep -q "^600	687" "$work/out" || fail "--table: last row"
expect_rc "--table" 0

run "$work/empty" --version
expect_out "--version" "kandu-calc 1.0.0.3"
expect_rc "--version" 0

for help in --help -h "/?"; do
    run "$work/empty" "$help"
    grep -q "usage: kandu-calc" "$work/out" || fail "$help: no usage"
    grep -q "Exit status" "$work/out" || fail "$help: no exit status"
    grep -q "when the real temperature is 20" "$work/out" || fail "$help: no out of range"
    expect_rc "$help" 0
done

run "$work/empty" -h 1100 200 250
expect_err_has "-h with values" "-h takes no other arguments"
for args in "1100 200" "1 2 3 4" "1100" "--tabel" "1100 -x 250" "--help x" "1100 --table" "--version --"; do
    # shellcheck disable=SC2086
    run "$work/empty" $args
    expect_rc "usage '$args'" 2
    [ ! -s "$work/out" ] || fail "usage '$args': wrote to stdout"
    expect_err_has "usage '$args'" "usage:"
done

# ---- the Windows program's resources ----
if [ -n "${2:-}" ]; then
    checks=$((checks + 1))
    resources=$("$2" -i "$program" -O rc 2>&1)
    for part in "FILEVERSION 1, 0, 0, 3" '"FileVersion", "1.0.0.3"' '"OriginalFilename", "kandu-calc.exe"' \
        'level=""asInvoker""' '{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' '>UTF-8</activeCodePage>'; do
        grep -qF -- "$part" <<<"$resources" || fail "resources: no $part"
    done
fi

echo "$checks runs, $failures failed"
[ "$failures" = 0 ]
