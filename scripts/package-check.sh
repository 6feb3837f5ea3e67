#!/usr/bin/env bash
# CI: builds the Debian package and checks it the way a plant would meet it.
# Unpacked into a scratch root (dpkg -x), its tabel-batch must run from there
# on the system's libraries alone, the package must hold nothing of ours for
# the library path, its menu entry must be valid, and lintian must find no
# errors (its warnings are listed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
deb=$(bash "$root/scripts/package.sh" | tail -n 1)
echo "Checking $deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch"

fail() { echo "package-check: $*" >&2; exit 1; }
if dpkg-deb -c "$deb" | grep -E '\.so(\.[0-9]+)*$|\.a$'; then
    fail "the package holds libraries"
fi
for program in tabel tabel-batch tabel-web; do
    if env -u LD_LIBRARY_PATH ldd "$scratch/usr/bin/$program" | grep 'not found'; then
        fail "$program needs a library that is not on the system"
    fi
done
help=$(env -u LD_LIBRARY_PATH "$scratch/usr/bin/tabel-batch" --help 2>/dev/null) ||
    fail "tabel-batch --help failed"
grep -q 'check-timesheets' <<<"$help" || fail "tabel-batch --help lists no commands"
help=$(env -u LD_LIBRARY_PATH "$scratch/usr/bin/tabel-web" --help 2>/dev/null) ||
    fail "tabel-web --help failed"
grep -q 'web_listen' <<<"$help" || fail "tabel-web --help names no settings"
# The configuration file shipped must read without complaint: the files are
# read first, and an option given twice then stops the job before any
# connection is tried.
err=$(TABEL_SYSTEM_CONFIG="$scratch/etc/tabel/tabel.conf" XDG_CONFIG_HOME="$scratch/nowhere" \
    "$scratch/usr/bin/tabel-batch" check --month 1 --month 1 2>&1 >/dev/null) || true
grep -q 'Параметр --month задан дважды' <<<"$err" ||
    fail "tabel-batch with the shipped configuration: $err"
desktop-file-validate "$scratch/usr/share/applications/tabel.desktop"

# lintian refuses nothing for running as root, but says so; that is no finding.
lintian --fail-on error --display-level '>=pedantic' --tag-display-limit 0 "$deb" 2>&1 |
    grep -v 'running with root privileges' || true
lintian --fail-on error -q "$deb" >/dev/null 2>&1 || fail "lintian reports errors"
echo "package-check: ok"
