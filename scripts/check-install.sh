#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a desktop needs:
# the program and its blank database, the icons, a valid .desktop file and a
# valid AppStream metainfo file, and that the installed program runs.
#   scripts/check-install.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
app_id=com.quillmark.Corvanta
work=$(mktemp -d)
prefix=$work/prefix
# cmake --install records what it installed in the build's install_manifest.txt,
# which the uninstall instructions rely on: keep the user's own record.
manifest=$build/install_manifest.txt
[ ! -e "$manifest" ] || cp -p "$manifest" "$work/install_manifest.txt"
restore_manifest() {
    if [ -e "$work/install_manifest.txt" ]; then cp -p "$work/install_manifest.txt" "$manifest"; else rm -f "$manifest"; fi
    rm -rf "$work"
}
trap restore_manifest EXIT
failures=0
fail() { echo "check-install: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

expected=(
    bin/corvanta
    libexec/corvanta/corvanta
    libexec/corvanta/dbBlank.sqlite
    share/applications/$app_id.desktop
    share/metainfo/$app_id.metainfo.xml
    share/icons/hicolor/scalable/apps/$app_id.svg
)
for size in 16 22 24 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
for file in "${expected[@]}"; do
    [ -e "$prefix/$file" ] || fail "missing $file"
done
for size in 16 22 24 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -e "$icon" ] || continue
    [ "$(identify -format '%wx%h' "$icon")" = "${size}x${size}" ] || fail "$icon is not ${size}x${size}"
done

desktop-file-validate "$prefix/share/applications/$app_id.desktop" || fail "desktop-file-validate failed"
appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml" >/dev/null \
    || fail "appstreamcli validate failed: $(appstreamcli validate --no-net "$prefix/share/metainfo/$app_id.metainfo.xml")"
grep -qx 'MimeType=text/vcard;text/x-vcard;text/csv;' "$prefix/share/applications/$app_id.desktop" \
    || fail "the desktop file lacks the vCard and CSV types"
grep -qx "Icon=$app_id" "$prefix/share/applications/$app_id.desktop" || fail "the desktop file names another icon"
grep -qx "Exec=corvanta %F" "$prefix/share/applications/$app_id.desktop" \
    || fail "the desktop file does not hand the opened files to the program"

# The installed program, reached through bin/, with its own empty data folders.
export XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
program=$prefix/bin/corvanta
version=$("$program" --version) || fail "corvanta --version failed"
[ "$version" = "corvanta $(sed -n 's/^project(Corvanta VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)" ] \
    || fail "corvanta --version printed '$version'"

# The first start makes the live database (from the blank one beside the program).
mkdir -p "$work/backup"
"$program" backup "$work/backup" >/dev/null || fail "the installed program could not back up an empty database"
live=$XDG_DATA_HOME/Quillmark/Corvanta/dbData.sqlite
[ -f "$live" ] || fail "the first start made no live database"
[ -f "$work/backup/BackupDB.txt" ] || fail "no backup file written"

# A sample database beside the program is found through the link in bin/.
rm -rf "$XDG_DATA_HOME"
cp "$prefix/libexec/corvanta/dbBlank.sqlite" "$prefix/libexec/corvanta/Contacts.sqlite"
sqlite3 "$prefix/libexec/corvanta/Contacts.sqlite" \
    "INSERT INTO Contacts (FirstName, LastName) VALUES ('Installed', 'O''Sample');"
"$program" export --csv "$work/out.csv" >/dev/null || fail "export from the installed program failed"
grep -q "O'Sample" "$work/out.csv" 2>/dev/null || fail "the program did not find the database beside it"

if [ "$failures" -gt 0 ]; then
    echo "check-install: $failures problem(s)" >&2
    exit 1
fi
echo "check-install: installed layout, desktop file, metainfo and program are fine"
