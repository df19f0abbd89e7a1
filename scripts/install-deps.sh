#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tests and benchmarks need.
set -euo pipefail
packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl1-mesa-dev
    libcups2-dev cups cups-bsd cups-daemon cups-client
    fonts-liberation
    xvfb xauth x11-apps xdotool imagemagick poppler-utils
    sqlite3 libsqlite3-dev clang libclang-rt-14-dev ccache desktop-file-utils appstream
)
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq "${missing[@]}"
fi
# The vCard library of GNOME's address book; its recommended packages would
# pull in the whole address-book service.
if ! dpkg-query -W -f='${Status}' libebook-contacts1.2-dev 2>/dev/null | grep -q 'install ok installed'; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends libebook-contacts1.2-dev
fi
# The locales the date tests run under.
if ! dpkg-query -W -f='${Status}' locales 2>/dev/null | grep -q 'install ok installed'; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends locales
fi
for name in en_US en_GB de_DE; do
    locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" || localedef -i "$name" -f UTF-8 "$name.UTF-8"
done
