#!/bin/sh
# SPDX-License-Identifier: MIT
# The scheduled-run units pass systemd-analyze verify, with the service's wirepace-cli the one
# this tree built and its Documentation= page the tree's own, and the timer names the service
# of its instance. (scripts/test-packages runs the installed service's ExecStart once as its
# user in a clean Debian root.) Exit 77 (skipped) where systemd-analyze is missing.
# systemd_test.sh --cli PROGRAM --units DIR --page wirepace-cli.1
set -u
cli= units= page=
while [ $# -gt 0 ]; do
    case "$1" in
    --cli) cli="$2" ;;
    --units) units="$2" ;;
    --page) page="$2" ;;
    *) echo "systemd_test.sh: unknown argument $1" >&2; exit 2 ;;
    esac
    shift 2
done
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed: skipped"; exit 77; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
sed "s|@WIREPACE_BINDIR@|$(dirname "$cli")|g" "$units/wirepace-cli@.service.in" \
    >"$work/wirepace-cli@.service"
cp "$units/wirepace-cli@.timer" "$work/"
mkdir -p "$work/man/man1"
cp "$page" "$work/man/man1/wirepace-cli.1"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# Warnings count as failures too: verify says nothing about units it finds sound.
said="$(cd "$work" && MANPATH="$work/man" systemd-analyze verify ./wirepace-cli@.service \
    ./wirepace-cli@.timer 2>&1)" || fail "systemd-analyze verify failed"
[ -z "$said" ] || fail "systemd-analyze verify: $said"

# The parts a wrong edit would break without verify noticing.
grep -qx 'User=wirepace' "$work/wirepace-cli@.service" || fail "the service does not run as wirepace"
grep -q '^ExecStart=.*--password' "$work/wirepace-cli@.service" &&
    fail "the service's command line carries a password option"
grep -q '^ExecStart=[^ ]*/wirepace-cli --config /etc/wirepace/%i.conf --metrics-file ' \
    "$work/wirepace-cli@.service" || fail "the service does not read /etc/wirepace/%i.conf"
grep -q '^\[Install\]' "$work/wirepace-cli@.service" &&
    fail "the service can be enabled by itself; only the timer should be"
grep -qx 'WantedBy=timers.target' "$work/wirepace-cli@.timer" || fail "the timer is not for timers.target"

[ "$failures" -eq 0 ] || exit 1
echo "the scheduled-run units pass systemd-analyze verify"
