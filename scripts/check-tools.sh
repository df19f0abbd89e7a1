#!/usr/bin/env bash
# Checks that every external program the tests, benchmarks and scripts call
# comes from a package that install-deps.sh installs (or from one every Debian
# system has), so that a missing one fails here and not on a fresh machine.
#   scripts/check-tools.sh
# The programs called are listed below. On a machine that has more installed,
# the words of the tests' and scripts' sources that name an installed program
# not in the list are reported too, so a new call cannot slip past the list.
set -euo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=packages.sh
source scripts/packages.sh

called=(
    # tests and benchmarks
    cupsd lpadmin lpstat lpoptions cupsenable cupsdisable cancel lp
    xvfb-run Xvfb xprop xdotool xwd convert identify import
    pdftoppm pdfinfo pdftotext sqlite3 locale localedef
    radicale xandikos vdirsyncer khard htpasswd openssl python3 setpriv runuser
    gnome-keyring-daemon dbus-launch dbus-run-session secret-tool
    # scripts
    cmake ninja ccache clang++ ctest apt-get dpkg-query desktop-file-validate appstreamcli
)
# Words of the sources that are also the names of installed programs but are
# not called as programs here.
not_called=(cancel dir display file fold import sort test true false time date
    link list size type users which more less join split paste expand tail head
    env install kill wait sleep read printf echo cat column edit zip)

# The packages install-deps.sh installs, with everything they depend on.
listed=" $(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${run_packages[@]}" "${test_packages[@]}" 2>/dev/null \
    | grep -v '^[ <]' | sort -u | tr '\n' ' ') "
failures=0
fail() { echo "check-tools: $*" >&2; failures=$((failures + 1)); }

declare -A known=()
for program in "${called[@]}" "${not_called[@]}"; do known[$program]=1; done
# Words of the sources that name installed programs (comments left out).
mapfile -t found < <(
    {
        grep -rhoE '"[A-Za-z][A-Za-z0-9_.+-]{1,40}"' tests bench fuzz --include='*.cpp' --include='*.h' | tr -d '"'
        sed -E 's/(^|[[:space:]])#.*$//' $(ls scripts/*.sh | grep -v packages.sh) .ci/run \
            | grep -oE '(^|[[:space:];|&(`$])[A-Za-z][A-Za-z0-9_.+-]{1,40}' | sed -E 's/^[[:space:];|&(`$]//'
    } | sort -u | while read -r word; do
        [ -n "${known[$word]:-}" ] || ! type -P "$word" >/dev/null 2>&1 || echo "$word"
    done)

# One look-up of every path of every program: "package: path" lines.
declare -A owner=()
paths=()
for program in "${called[@]}" "${found[@]}"; do
    while read -r path; do
        paths+=("$path" "$(readlink -f "$path")" "/bin/${path##*/}" "/sbin/${path##*/}")
    done < <(type -aP "$program")
done
while IFS= read -r line; do
    [[ "$line" == diversion* ]] && continue
    owner[${line#*: }]=$(echo "${line%%: *}" | cut -d, -f1 | cut -d: -f1)
done < <(dpkg -S "${paths[@]}" 2>/dev/null || true)

package_of() {
    local path candidate
    while read -r path; do
        for candidate in "$path" "$(readlink -f "$path")" "/bin/${path##*/}" "/sbin/${path##*/}"; do
            if [ -n "${owner[$candidate]:-}" ]; then echo "${owner[$candidate]}"; return; fi
        done
    done < <(type -aP "$1")
}
always_there() {
    local fields
    fields=$(dpkg-query -W -f='${Essential} ${Priority}' "$1" 2>/dev/null) || return 1
    [[ "$fields" == yes* || "$fields" == *required* ]]
}

for program in "${called[@]}"; do
    type -P "$program" >/dev/null || { fail "$program is called but not installed"; continue; }
    package=$(package_of "$program")
    if [ -z "$package" ]; then
        fail "$program ($(type -P "$program")) belongs to no Debian package"
    elif [[ "$listed" != *" $package "* ]] && ! always_there "$package"; then
        fail "$program comes from $package, which scripts/packages.sh does not list"
    fi
done
for word in "${found[@]}"; do
    package=$(package_of "$word")
    [ -n "$package" ] && ! always_there "$package" || continue
    fail "'$word' names the program $(type -P "$word") ($package), which check-tools.sh does not list"
done

if (( failures > 0 )); then
    echo "check-tools: $failures problem(s)" >&2
    exit 1
fi
echo "check-tools: ${#called[@]} programs, each from a package install-deps.sh installs"
