#!/usr/bin/env bash
# Starts Corvanta under Xvfb on a small sample database, opens each of its six
# windows and each report preview with real clicks, and saves a PNG of each.
#   scripts/screenshots.sh [OUTPUT_FOLDER]     (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-build/screenshots}")
[ -x build/corvanta ] || ./scripts/build.sh
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill "${app_pid:-0}" 2>/dev/null || true; kill "${xvfb_pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_DATA_HOME/Quillmark/Corvanta" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
db="$XDG_DATA_HOME/Quillmark/Corvanta/dbData.sqlite"
cp build/dbBlank.sqlite "$db"
today=$(date +%F)
sqlite3 "$db" <<SQL
INSERT INTO "Contact Types" (ContactType) VALUES ('Customer'), ('Supplier'), ('Friend');
INSERT INTO Contacts (FirstName, LastName, Address, City, Region, Country, CompanyName, Title, WorkPhone,
                      WorkExtension, FaxNumber, EmailName, ContactTypeID, StateOrProvince, PostalCode, Notes)
VALUES ('Anna', 'Müller', '12 Hauptstraße', 'München', 'Bavaria', 'Germany', 'Acme GmbH', 'CEO', '4989123456',
        '12', '4989123457', 'anna@acme.example', 1, 'BY', '80331', 'Met at the trade fair.'),
       ('Bob', 'Smith', '1 High Street', 'London', 'Greater London', 'UK', 'Smith Ltd', 'Buyer', '2079460000',
        NULL, NULL, 'bob@smith.example', 2, NULL, 'SW1A 1AA', NULL),
       ('Chloé', 'Dubois', '8 rue de la Paix', 'Paris', 'Île-de-France', 'France', 'Lumière SARL', 'Directrice',
        '5551234567', '3', '5551234568', 'chloe@lumiere.example', 1, NULL, '75002', 'Prefers e-mail.'),
       ('Dmitri', 'Ivanov', '5 Nevsky Prospekt', 'St Petersburg', NULL, 'Russia', NULL, 'Engineer', NULL,
        NULL, NULL, NULL, 3, NULL, NULL, NULL);
INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes)
VALUES (1, '$today', '09:15:00', 'Pricing for the spring order', 'Asked for a ten percent discount.'),
       (1, date('$today', '-2 days'), '14:30:00', 'Delivery dates', NULL),
       (2, date('$today', '-1 days'), '11:05:00', 'Invoice question', 'Invoice 2291 was paid twice.'),
       (3, date('$today', '-20 days'), '16:45:00', 'Product demo', 'Wants a demo of the new range.');
SQL

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp &
xvfb_pid=$!
export DISPLAY=$display QT_QPA_PLATFORM=xcb
sleep 1
./build/corvanta &
app_pid=$!

shoot() { # name
    sleep 1.5
    import -window root -crop 1000x800+0+0 +repage "$out/$1.png"
    echo "saved $out/$1.png"
}
main_window() { xdotool search --sync --name '^Corvanta$' | head -n 1; }
click_main() { # x y (pixels inside the main window's client area)
    local window
    window=$(main_window)
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
close_top() { xdotool key Escape; sleep 0.7; }

main_window >/dev/null
shoot 1-main-window
click_main 96 170;  shoot 1-main-window-calls
click_main 167 170; shoot 1-main-window-additional-info
click_main 40 170
click_main 92 101;  shoot 2-search;          close_top
click_main 260 101; shoot 3-edit-labels;     close_top
click_main 444 101; shoot 4-contact-types;   close_top
click_main 624 101; shoot 5-backup-restore;  close_top
click_main 612 602; shoot 6-reports
reports=$(xdotool search --sync --name '^Reports$' | head -n 1)
for n in 1 2 3; do
    tops=(0 21 55 89)
    xdotool mousemove --window "$reports" 268 "${tops[n]}" click 1
    sleep 2
    shoot "7-report-$n-preview"
    close_top
done
close_top
echo "screenshots in $out"
