#!/usr/bin/env bash
# Builds the benchmark database once (500 workers over 5 years, a registry
# of 20,000 persons) in a cluster of its own, then runs the benchmarks:
# all of them, or those named (bench/run.sh journal_bench).
# TABEL_BENCH_PERSONS=200000 bench/run.sh … does the same on a registry of
# that size, in a database of its own (tabel_bench_200000) beside the first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh" >/dev/null
dir=${TABEL_BENCH_CLUSTER:-/var/tmp/tabel-bench}
pg="$root/scripts/pgcluster.sh"
bash "$pg" init "$dir"
bash "$pg" start "$dir"
persons=${TABEL_BENCH_PERSONS:-20000}
db=tabel_bench
[ "$persons" = 20000 ] || db=tabel_bench_$persons
bash "$pg" demodb "$dir" "$db" -v workers=500 -v persons="$persons" -v products=200 \
    -v months=60 -v end_date=2026-12-10
for bench in "$root"/build/bench/*_bench; do
    [ "$#" -gt 0 ] && [[ " $* " != *" $(basename "$bench") "* ]] && continue
    echo "== $(basename "$bench")"
    "$bench" "$db" "$dir/socket" 2026-12-10
done
