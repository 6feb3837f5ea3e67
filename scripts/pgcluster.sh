#!/usr/bin/env bash
# A private PostgreSQL cluster that listens only on a Unix socket inside its
# own folder, so it never clashes with a server already on the machine.
#
#   pgcluster.sh init   DIR   create the cluster (role sys, ICU Russian collation)
#   pgcluster.sh start  DIR   start it (no-op when running)
#   pgcluster.sh stop   DIR   stop it (no-op when stopped)
#   pgcluster.sh psql   DIR [psql args...]   run psql as the superuser
#   pgcluster.sh demodb DIR NAME [-v var=value...]
#                             create database NAME (once) with the neighbours'
#                             stand-ins, our schema (through tabel-batch
#                             upgrade-schema; $TABEL_BATCH or the build's) and
#                             generated plant data
#
# The socket is DIR/socket/.s.PGSQL.5432, so the client's connection string
# works unchanged with SERVER=DIR/socket and PORT=5432.
set -euo pipefail

cmd=${1:?command}
dir=${2:?cluster folder}
shift 2
dir=$(realpath -m "$dir")
data="$dir/data"
sock="$dir/socket"

pgbin() {
    local tool=$1 found
    found=$(command -v "$tool" 2>/dev/null || true)
    if [ -z "$found" ]; then
        found=$(ls -d /usr/lib/postgresql/*/bin/"$tool" 2>/dev/null | sort -V | tail -n 1 || true)
    fi
    [ -n "$found" ] || { echo "PostgreSQL tool $tool not found" >&2; exit 1; }
    echo "$found"
}

# initdb refuses to run as root: the server then runs as the postgres user.
as_owner() {
    if [ "$(id -u)" = 0 ]; then
        # From "/", which the postgres user can always enter.
        (cd / && runuser -u postgres -- "$@")
    else
        "$@"
    fi
}

case "$cmd" in
init)
    if [ -f "$data/PG_VERSION" ]; then exit 0; fi
    mkdir -p "$dir"
    if [ "$(id -u)" = 0 ]; then chown postgres: "$dir"; fi
    as_owner mkdir -p "$data" "$sock"
    as_owner chmod 700 "$data"
    as_owner "$(pgbin initdb)" -D "$data" -U postgres --auth=trust \
        --locale-provider=icu --icu-locale=ru-RU --locale=C.UTF-8 -E UTF8 >"$dir/initdb.log" 2>&1 ||
        { cat "$dir/initdb.log" >&2; exit 1; }
    # DateStyle and jit stay at the server defaults ("ISO, MDY", on), as on
    # the plant's server.
    cat >>"$data/postgresql.conf" <<EOF
listen_addresses = ''
unix_socket_directories = '$sock'
port = 5432
fsync = off
synchronous_commit = off
full_page_writes = off
shared_buffers = 256MB
max_connections = 50
EOF
    ;;
start)
    if as_owner "$(pgbin pg_ctl)" -D "$data" status >/dev/null 2>&1; then exit 0; fi
    as_owner "$(pgbin pg_ctl)" -D "$data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
        { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$(pgbin psql)" -h "$sock" -p 5432 -U postgres -d postgres -qAt -v ON_ERROR_STOP=1 <<'EOF' >/dev/null
DO $$
BEGIN
    IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = 'sys') THEN
        CREATE ROLE sys LOGIN CREATEDB PASSWORD 'wuxamez';
    END IF;
END $$;
EOF
    ;;
stop)
    if [ -f "$data/PG_VERSION" ] && as_owner "$(pgbin pg_ctl)" -D "$data" status >/dev/null 2>&1; then
        as_owner "$(pgbin pg_ctl)" -D "$data" -m fast -w stop >/dev/null
    fi
    ;;
psql)
    as_owner "$(pgbin psql)" -h "$sock" -p 5432 -U postgres -v ON_ERROR_STOP=1 "$@"
    ;;
demodb)
    name=${1:?database name}
    shift
    root=$(cd "$(dirname "$0")/.." && pwd)
    run_psql() { as_owner "$(pgbin psql)" -h "$sock" -p 5432 -v ON_ERROR_STOP=1 "$@"; }
    # Our own objects come through the program's upgrade steps, as at a
    # plant: tabel-batch must have been built.
    batch=${TABEL_BATCH:-$root/build/src/batch/tabel-batch}
    [ -x "$batch" ] || { echo "$batch not found: build first" >&2; exit 1; }
    if [ -n "$(run_psql -U postgres -d postgres -qAt -c "select 1 from pg_database where datname = '$name'")" ]; then
        # Kept from an earlier run: only the steps a newer checkout brings
        # are applied; the data stays.
        "$batch" "$name" "$sock" upgrade-schema >/dev/null
        exit 0
    fi
    echo "Creating the database $name..."
    run_psql -U postgres -d postgres -qAt -c "create database $name owner sys"
    # The scripts are read by psql, which runs as the cluster's owner.
    export PGOPTIONS="-c client_min_messages=warning"
    run_psql -U sys -d "$name" -q <"$root/db/neighbours.sql"
    "$batch" "$name" "$sock" upgrade-schema >/dev/null
    run_psql -U sys -d "$name" -q "$@" <"$root/db/demo_data.sql"
    # The office computes each month's average-piecework rates from the
    # month's piecework before paying; the demo's months are left as that
    # computation leaves them, so the pay checks find them consistent.
    run_psql -U sys -d "$name" -qAt -F ' ' -c \
        "select distinct i_mnth, i_year from accounts_dep.fatigue where id_o = 7778 order by 2, 1" |
        while read -r month year; do
            "$batch" "$name" "$sock" recalc-average --month "$month" --year "$year" >/dev/null
        done
    ;;
*)
    echo "unknown command $cmd" >&2
    exit 2
    ;;
esac
