#!/usr/bin/env bash
# Installs what is missing, builds and runs the whole test suite against a
# throwaway PostgreSQL cluster that the suite starts and removes itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
bash "$root/scripts/build.sh"
cd "$root/build"
ctest --output-on-failure -j"$(nproc)"
