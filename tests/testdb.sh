#!/usr/bin/env bash
# Starts (setup) or removes (teardown) the test suite's own PostgreSQL
# cluster, with a template database holding the schema and the stand-ins of
# the neighbouring applications' tables.
set -euo pipefail
cmd=$1
dir=$2
batch=${3:-}
here=$(cd "$(dirname "$0")/.." && pwd)
pg="$here/scripts/pgcluster.sh"

case "$cmd" in
setup)
    bash "$pg" stop "$dir" 2>/dev/null || true
    rm -rf "$dir"
    bash "$pg" init "$dir"
    # The login tests' people must give their passwords, as at a plant;
    # everyone else keeps the trust the rest of the suite relies on. Written
    # in place, so the file keeps its owner.
    hba="$dir/data/pg_hba.conf"
    lines=$({ echo "local all +tabel_login_test scram-sha-256"; cat "$hba"; })
    printf '%s\n' "$lines" >"$hba"
    bash "$pg" start "$dir"
    # The marker group of the login tests; the program's own group roles come
    # from setup-roles below, as at a plant.
    bash "$pg" psql "$dir" -d postgres -qAt \
        -c "do \$\$ begin if not exists (select 1 from pg_roles where rolname = 'tabel_login_test')
            then create role tabel_login_test nologin; end if; end \$\$"
    bash "$pg" psql "$dir" -d postgres -qAt -c "create database tabel_template owner sys"
    # Fed through standard input: psql runs as the cluster's owner, who may
    # not be allowed to read the checkout.
    PGOPTIONS="-c client_min_messages=warning" bash "$pg" psql "$dir" -d tabel_template -U sys -q \
        <"$here/db/neighbours.sql"
    # Our own objects come the way a plant gets them: the upgrade steps.
    "$batch" tabel_template "$dir/socket" upgrade-schema >/dev/null
    # And the group roles, as a plant that logs people in one by one has them.
    # Roles belong to the whole cluster: made here once, never by the tests
    # that run side by side. The owner makes them, as the plant's does, and
    # the tests make their people's logins.
    bash "$pg" psql "$dir" -d postgres -qAt -c "alter role sys createrole"
    "$batch" tabel_template "$dir/socket" setup-roles >/dev/null
    # A second template with a small plant's generated data: four months
    # from December 2023 to March 2024, a leap February among them.
    bash "$pg" psql "$dir" -d postgres -qAt \
        -c "create database tabel_demo_template template tabel_template owner sys"
    bash "$pg" psql "$dir" -d tabel_demo_template -U sys -q -v workers=25 -v persons=400 \
        -v products=12 -v months=4 -v end_date=2024-03-20 <"$here/db/demo_data.sql" >/dev/null
    "$batch" tabel_demo_template "$dir/socket" setup-roles >/dev/null
    for t in tabel_template tabel_demo_template; do
        bash "$pg" psql "$dir" -d postgres -qAt \
            -c "alter database $t with is_template true allow_connections false"
    done
    ;;
teardown)
    bash "$pg" stop "$dir" || true
    rm -rf "$dir"
    ;;
esac
