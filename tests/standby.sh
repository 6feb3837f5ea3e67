#!/usr/bin/env bash
# Starts (setup) or removes (teardown) a hot standby of the test suite's
# cluster, made the way a plant makes one: pg_basebackup -R streaming from
# the primary. It listens on a socket folder of its own. Only the standby
# tests use it; the rest of the suite never knows it is there.
#
#   standby.sh setup    PRIMARY_DIR STANDBY_DIR
#   standby.sh teardown PRIMARY_DIR STANDBY_DIR
set -euo pipefail
cmd=$1
primary=$(realpath -m "$2")
dir=$(realpath -m "$3")
here=$(cd "$(dirname "$0")/.." && pwd)
pg="$here/scripts/pgcluster.sh"

pgbin() {
    local found
    found=$(command -v "$1" 2>/dev/null || true)
    [ -n "$found" ] || found=$(ls -d /usr/lib/postgresql/*/bin/"$1" 2>/dev/null | sort -V | tail -n 1)
    echo "$found"
}
as_owner() {
    if [ "$(id -u)" = 0 ]; then (cd / && runuser -u postgres -- "$@"); else "$@"; fi
}

case "$cmd" in
setup)
    bash "$pg" stop "$dir" 2>/dev/null || true
    rm -rf "$dir"
    mkdir -p "$dir"
    if [ "$(id -u)" = 0 ]; then chown postgres: "$dir"; fi
    as_owner mkdir -p "$dir/socket"
    # The cluster's local replication entry is trust (initdb --auth=trust),
    # and the default wal_level and max_wal_senders allow a standby.
    as_owner "$(pgbin pg_basebackup)" -h "$primary/socket" -p 5432 -U postgres \
        -D "$dir/data" -R -X stream -c fast >"$dir/basebackup.log" 2>&1 ||
        { cat "$dir/basebackup.log" >&2; exit 1; }
    # The copied settings name the primary's socket folder; the standby's own
    # settings come last and win. With feedback the primary keeps the rows a
    # long report on the standby still reads, instead of the standby ending
    # the report's session when it replays their removal.
    cat >>"$dir/data/postgresql.auto.conf" <<CONF
unix_socket_directories = '$dir/socket'
hot_standby = on
hot_standby_feedback = on
CONF
    as_owner "$(pgbin pg_ctl)" -D "$dir/data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
        { cat "$dir/server.log" >&2; exit 1; }
    ;;
teardown)
    bash "$pg" stop "$dir" || true
    rm -rf "$dir"
    ;;
esac
