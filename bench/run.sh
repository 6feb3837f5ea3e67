#!/usr/bin/env bash
# Builds the two benchmark databases once, in a cluster of their own, then
# runs the benchmarks on each: all of them, or those named
# (bench/run.sh journal_bench reports_bench).
#   tabel_bench       500 workers over 5 years, a registry of 20,000 persons
#   tabel_bench_2000  2,000 workers over 12 months, a registry of 200,000
# TABEL_BENCH_SIZES="2000" runs one size only. Every figure is printed
# beside its target, and every run beside the machine's load average.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" >/dev/null
dir=${TABEL_BENCH_CLUSTER:-/var/tmp/tabel-bench}
pg="$root/scripts/pgcluster.sh"
bash "$pg" init "$dir"
bash "$pg" start "$dir"
for size in ${TABEL_BENCH_SIZES:-500 2000}; do
    case "$size" in
    500)
        db=tabel_bench
        bash "$pg" demodb "$dir" "$db" -v workers=500 -v persons=20000 -v products=200 \
            -v months=60 -v end_date=2026-12-10
        ;;
    2000)
        db=tabel_bench_2000
        bash "$pg" demodb "$dir" "$db" -v workers=2000 -v persons=200000 -v products=200 \
            -v months=12 -v end_date=2026-12-10
        ;;
    *)
        echo "unknown size $size (500 or 2000)" >&2
        exit 2
        ;;
    esac
    # A database kept from an earlier checkout gets the stand-ins of this
    # one; the script leaves stand-ins that are already current as they are.
    PGOPTIONS="-c client_min_messages=warning" bash "$pg" psql "$dir" -d "$db" -U sys -q \
        <"$root/db/neighbours.sql"
    for bench in "$root"/build/bench/*_bench; do
        [ "$#" -gt 0 ] && [[ " $* " != *" $(basename "$bench") "* ]] && continue
        echo "== $(basename "$bench") on $db ($size workers), load average $(cut -d' ' -f1-3 /proc/loadavg)"
        "$bench" "$db" "$dir/socket" 2026-12-10
    done
done
