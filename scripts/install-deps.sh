#!/usr/bin/env bash
# Installs what building, running and testing need, on Debian 12, as root or
# through sudo. Does nothing when everything is already there.
set -euo pipefail

packages=(
    build-essential cmake git clang-format pkgconf
    qt6-base-dev libqt6sql6-odbc libgl-dev
    unixodbc unixodbc-dev odbc-postgresql
    postgresql postgresql-client
    libxlsxwriter-dev
    libgtest-dev googletest
    xvfb xauth libxcb1-dev imagemagick poppler-utils xdg-utils
    fonts-crosextra-carlito fonts-dejavu-core locales qt6-translations-l10n
    python3-openpyxl libsqliteodbc
    dpkg-dev file lintian desktop-file-utils
    qt6-httpserver-dev qt6-websockets-dev chromium chromium-driver python3-selenium
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" != 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
