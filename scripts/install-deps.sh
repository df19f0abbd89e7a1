#!/usr/bin/env bash
# Installs the Debian 12 packages Corvanta needs.
#   scripts/install-deps.sh          what building, running and all tests, benchmarks and fuzzing need
#   scripts/install-deps.sh --run    only what building and running the program need
# Waits (up to ten minutes) for another apt process, such as the automatic
# updates of a freshly booted machine, to release its lock.
set -euo pipefail
cd "$(dirname "$0")"

# shellcheck source=packages.sh
source ./packages.sh
case "${1:-}" in
    --run) wanted=("${run_packages[@]}") ;;
    "") wanted=("${run_packages[@]}" "${test_packages[@]}") ;;
    *) echo "usage: $0 [--run]" >&2; exit 2 ;;
esac

apt_get() {
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 "$@"
}
missing() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || echo "$package"
    done
}

mapfile -t to_install < <(missing "${wanted[@]}")
plain=() lean=()
for package in "${to_install[@]}"; do
    if [[ " ${without_recommends[*]} " == *" $package "* ]]; then lean+=("$package"); else plain+=("$package"); fi
done
if [ ${#to_install[@]} -gt 0 ]; then
    apt_get update -qq
    [ ${#plain[@]} -eq 0 ] || apt_get install -y -qq "${plain[@]}"
    [ ${#lean[@]} -eq 0 ] || apt_get install -y -qq --no-install-recommends "${lean[@]}"
fi

# The locales the date tests run under.
if [ -z "${1:-}" ]; then
    for name in en_US en_GB de_DE; do
        locale -a 2>/dev/null | grep -qi "^${name}\.utf-\?8$" || localedef -i "$name" -f UTF-8 "$name.UTF-8"
    done
fi
