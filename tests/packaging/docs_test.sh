#!/bin/sh
# SPDX-License-Identifier: MIT
# The manual pages keep up with the programs: every option wirepace-cli --help and
# wirepace-cli history --help list is in the synopsis and has an entry under OPTIONS in
# wirepace-cli(1), and both programs print the
# project's version (the window program without a display).
# docs_test.sh --version V --cli PROGRAM --cli-page PAGE [--window PROGRAM --window-page PAGE]
set -u
version= cli= cli_page= window= window_page=
while [ $# -gt 0 ]; do
    case "$1" in
    --version) version="$2" ;;
    --cli) cli="$2" ;;
    --cli-page) cli_page="$2" ;;
    --window) window="$2" ;;
    --window-page) window_page="$2" ;;
    *) echo "docs_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# section PAGE NAME: the roff lines of section NAME.
section() {
    awk -v name="$2" '/^\.SH / { inside = ($2 == name) ; next } inside' "$1"
}

options="$("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)"
[ -n "$options" ] || fail "$cli --help lists no options"
# The history subcommand's options too.
options="$(printf '%s\n%s\n' "$options" "$("$cli" history --help | grep -o -- '--[a-z][a-z-]*')" |
    sort -u)"
synopsis="$(section "$cli_page" SYNOPSIS)"
described="$(section "$cli_page" OPTIONS)"
for option in $options; do
    roff="$(printf '%s' "$option" | sed 's/-/\\\\-/g')"
    printf '%s\n' "$synopsis" | grep -q -- "$roff\\( \\|\$\\)" ||
        fail "$option is missing from the synopsis of $(basename "$cli_page")"
    printf '%s\n' "$described" | grep -q -- "^\\.B[IR]\\{0,1\\} $roff\\( \\|\$\\)" ||
        fail "$option has no entry under OPTIONS in $(basename "$cli_page")"
done

for status in 0 1 2 130 143; do
    section "$cli_page" "EXIT" | grep -qx "\\.B $status" ||
        fail "exit status $status is not described in $(basename "$cli_page")"
done

out="$("$cli" --version)"
[ "$out" = "wirepace-cli $version" ] || fail "wirepace-cli --version printed '$out'"

if [ -n "$window" ]; then
    out="$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$window" --version)"
    [ "$out" = "wirepace $version" ] || fail "wirepace --version printed '$out'"
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$window" --help | grep -q -- '--version' ||
        fail "wirepace --help does not list --version"
    for option in --help --version; do
        roff="$(printf '%s' "$option" | sed 's/-/\\\\-/g')"
        section "$window_page" OPTIONS | grep -q -- "^\\.B $roff\$" ||
            fail "$option has no entry under OPTIONS in $(basename "$window_page")"
    done
fi

[ "$failures" -eq 0 ] || exit 1
echo "manual pages and versions agree with the programs"
