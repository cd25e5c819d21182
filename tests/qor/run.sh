#!/usr/bin/env bash
# tests/qor/run.sh QOR-COMMAND [CASE...]
#
# Runs Qor test cases and compares what they print with what is expected.
# A case is a name under tests/qor/<area>/ (CASE given as that path without
# extension; all cases when none is given) with these files:
#   NAME.out     the expected output: standard output and standard error
#                together, line ends as LF (required)
#   NAME.qor     the script; run as `QOR-COMMAND NAME.qor` from its directory
#   NAME.args    instead: the command line, one argument per line (then
#                NAME.qor, when present, is only a file the case uses)
#   NAME.in      the standard input (default: empty), as typed at the console
#   NAME.status  the expected exit status (default 0)
#   NAME.stack   (empty) the case compares "*** Stack:" lines too
# Unless NAME.stack exists, lines that begin with "*** Stack:" are left out
# of the comparison: the calls an error report ends with are a concern of
# their own, tested by the cases that ask for them.  The case's directory,
# where it appears in the output (as /dir or, under wine, /Z/dir), reads
# <dir>.
# Helpers that several scripts share live in tests/qor/common.qor; a script
# loads them once with `do %../common.qor` (a path relative to its own
# directory works in both builds, under wine too).
#
# QOR-COMMAND is the native executable, or tools/qor-win with QOR_EXE set.
# The exit status is the number of failed cases (at most 125).
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[[ $# -ge 1 ]] || { echo "usage: $0 QOR-COMMAND [CASE...]" >&2; exit 125; }
qor=$1
shift
# Cases run in their own directories: a relative command is made absolute.
[[ $qor == */* && $qor != /* ]] && qor=$PWD/$qor

cases=()
if [[ $# -gt 0 ]]; then
    cases=("$@")
else
    while IFS= read -r out; do cases+=("${out%.out}"); done < <(find "$here" -name '*.out' | sort)
fi

# normalise DIR KEEP-STACK
normalise() {
    if [[ $2 == yes ]]; then tr -d '\r'; else tr -d '\r' | grep -v '^\*\*\* Stack:'; fi |
        sed -e "s|/Z$1|<dir>|g" -e "s|$1|<dir>|g"
}

failed=0
for case in "${cases[@]}"; do
    [[ $case == /* ]] || case=$here/$case
    dir=$(dirname "$case")
    name=$(basename "$case")
    args=()
    if [[ -f $case.args ]]; then
        while IFS= read -r line || [[ -n $line ]]; do args+=("$line"); done < "$case.args"
    elif [[ -f $case.qor ]]; then
        args=("$name.qor")
    fi
    input=/dev/null
    [[ -f $case.in ]] && input=$case.in
    expected_status=0
    [[ -f $case.status ]] && expected_status=$(tr -d '[:space:]' < "$case.status")

    actual=$(cd "$dir" && timeout $((60 * ${QOR_TEST_TIME_SCALE:-1})) "$qor" "${args[@]}" < "$input" 2>&1)
    status=$?
    real_dir=$(cd "$dir" && pwd -P)
    keep_stack=no
    [[ -f $case.stack ]] && keep_stack=yes
    actual=$(printf '%s\n' "$actual" | normalise "$real_dir" "$keep_stack")
    expected=$(normalise "$real_dir" "$keep_stack" < "$case.out")

    if [[ $status -ne $expected_status ]]; then
        echo "FAIL ${case#$here/}: exit status $status, expected $expected_status"
        printf '%s\n' "$actual" | sed 's/^/    | /'
        failed=$((failed + 1))
    elif [[ "$actual" != "$expected" ]]; then
        echo "FAIL ${case#$here/}: output differs (expected < > actual)"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | sed 's/^/    /'
        failed=$((failed + 1))
    else
        echo "ok   ${case#$here/}"
    fi
done
[[ $failed -gt 125 ]] && failed=125
exit "$failed"
