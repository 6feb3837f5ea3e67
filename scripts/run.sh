#!/usr/bin/env bash
# Installs what is missing, builds, creates (once) a local demo database with
# realistic plant data in .demo/ of the checkout, and starts the program on it.
# A second run reuses the cluster and its data. Extra arguments go to the
# demo generator's size (e.g. WORKERS=120 MONTHS=6 scripts/run.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"

demo="$root/.demo"
pg="$root/scripts/pgcluster.sh"
# The server runs as the postgres user when we are root; it must reach the
# cluster folder.
if [ "$(id -u)" = 0 ] && ! runuser -u postgres -- test -x "$root"; then
    demo="/var/tmp/tabel-demo-$(echo "$root" | md5sum | cut -c1-10)"
    echo "The checkout is not reachable by the postgres user; the demo cluster lives in $demo"
fi
bash "$pg" init "$demo"
bash "$pg" start "$demo"
bash "$pg" demodb "$demo" tabel_demo -v workers="${WORKERS:-60}" -v persons="${PERSONS:-2000}" \
    -v products="${PRODUCTS:-40}" -v months="${MONTHS:-3}"
# The plant's workstations run in Russian: numbers with a decimal comma.
case "${LC_ALL:-${LANG:-}}" in "" | C | C.* | POSIX) export LANG=ru_RU.UTF-8 ;; esac
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "No display: starting the program under Xvfb"
    exec xvfb-run -a -s "-screen 0 1600x1000x24" "$root/build/src/app/tabel" tabel_demo "$demo/socket"
fi
exec "$root/build/src/app/tabel" tabel_demo "$demo/socket"
