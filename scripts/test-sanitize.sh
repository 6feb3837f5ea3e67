#!/usr/bin/env bash
# The test suite built a second time with AddressSanitizer (leaks included)
# and UndefinedBehaviorSanitizer, in build-asan/. Any report fails the run.
# A report stops the program with status 86 (tests/sanitizer/), which fails
# the test even when it is a tabel-batch the test started; AddressSanitizer's
# reports also go to files, printed at the end, as a test may not show its
# tabel-batch's output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"
bash "$root/scripts/install-deps.sh"

# Debug: no optimiser to hide a dead variable, and Qt's own checks of
# indexes and sizes in its headers on.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTABEL_SANITIZE=ON \
    -DTABEL_BUILD_BENCH=OFF >/dev/null

reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="log_path=$reports/asan"

status=0
cmake --build "$build" -j"$(nproc)" --target tabel_tests || status=$?
if [ "$status" = 0 ]; then
    (cd "$build" && ctest --output-on-failure -j"$(nproc)") || status=$?
fi

shopt -s nullglob
found=("$reports"/*)
if [ ${#found[@]} -gt 0 ]; then
    for f in "${found[@]}"; do
        echo "==== $f"
        cat "$f"
    done
    echo "Sanitizer reports: ${#found[@]}" >&2
    exit 1
fi
exit "$status"
