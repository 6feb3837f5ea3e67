#!/usr/bin/env bash
# Builds the Debian package build/tabel_<version>_amd64.deb and prints its
# path. The package is built in a folder of its own (build-package/), with
# Debian's hardening flags and without tests or benchmarks, so that whatever
# build/ is configured with for development never reaches a plant.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
work="$root/build-package"

export DEB_BUILD_MAINT_OPTIONS="hardening=+all"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CXXFLAGS LDFLAGS
cmake -S "$root" -B "$work" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTABEL_BUILD_TESTS=OFF -DTABEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$work" -j"$(nproc)" >/dev/null

rm -f "$work"/tabel_*.deb
(cd "$work" && cpack -G DEB >/dev/null)
deb=$(ls "$work"/tabel_*_amd64.deb)
mkdir -p "$root/build"
mv -f "$deb" "$root/build/"
echo "$root/build/$(basename "$deb")"
