#!/usr/bin/env bash
# Starts Corvanta under Xvfb on a small sample database, opens each of its six
# windows and each report preview with real clicks, and saves a PNG of each.
#   scripts/screenshots.sh [--dark] [--scale FACTOR] [OUTPUT_FOLDER]   (default: build/screenshots)
# --dark gives the session a dark desktop colour scheme (KDE's Breeze Dark,
# read by Qt from kdeglobals); --scale 2 runs at 200 % (QT_SCALE_FACTOR), where
# the main window does not fit the screen and only the windows opened from its
# upper part are taken.
set -euo pipefail
cd "$(dirname "$0")/.."
dark=0
scale=1
while [ $# -gt 0 ]; do
    case "$1" in
    --dark) dark=1; shift ;;
    --scale) scale=$2; shift 2 ;;
    *) break ;;
    esac
done
out=$(realpath -m "${1:-build/screenshots}")
[ -x build/corvanta ] || ./scripts/build.sh
mkdir -p "$out"
work=$(mktemp -d)
trap 'kill "${app_pid:-0}" 2>/dev/null || true; kill "${xvfb_pid:-0}" 2>/dev/null || true; rm -rf "$work"' EXIT

export XDG_DATA_HOME="$work/data" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_DATA_HOME/Quillmark/Corvanta" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
if [ "$dark" = 1 ]; then
    export XDG_CURRENT_DESKTOP=KDE KDE_SESSION_VERSION=5 KDE_FULL_SESSION=true
    cat > "$XDG_CONFIG_HOME/kdeglobals" <<'KDE'
[General]
ColorScheme=BreezeDark
[Colors:Button]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252
ForegroundInactive=161,169,177
[Colors:Selection]
BackgroundNormal=61,174,233
ForegroundNormal=252,252,252
[Colors:Tooltip]
BackgroundNormal=49,54,59
ForegroundNormal=252,252,252
[Colors:View]
BackgroundNormal=27,30,32
BackgroundAlternate=35,38,41
ForegroundNormal=252,252,252
ForegroundInactive=161,169,177
[Colors:Window]
BackgroundNormal=42,46,50
ForegroundNormal=252,252,252
ForegroundInactive=161,169,177
KDE
fi
[ "$scale" = 1 ] || export QT_SCALE_FACTOR=$scale
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
    import -window root -crop "$(awk -v s="$scale" 'BEGIN { w = 1000 * s; h = 800 * s;
        if (w > 1280) w = 1280; if (h > 1024) h = 1024; printf "%dx%d+0+0", w, h }')" +repage "$out/$1.png"
    echo "saved $out/$1.png"
}
main_window() { xdotool search --sync --name '^Corvanta$' | head -n 1; }
click_main() { # x y (pixels inside the main window's client area)
    local window
    window=$(main_window)
    xdotool mousemove --window "$window" "$(awk -v v="$1" -v s="$scale" 'BEGIN { printf "%d", v * s }')" \
        "$(awk -v v="$2" -v s="$scale" 'BEGIN { printf "%d", v * s }')" click 1
}
close_top() { xdotool key Escape; sleep 0.7; }

main_window >/dev/null
shoot 1-main-window
# The list sorted by last name, then reversed by a second click on the caption.
click_main 228 17; sleep 0.7; click_main 228 17; shoot 1-main-window-sorted
click_main 96 170;  shoot 1-main-window-calls
click_main 167 170; shoot 1-main-window-additional-info
click_main 40 170
click_main 92 101;  shoot 2-search;          close_top
click_main 260 101; shoot 3-edit-labels;     close_top
click_main 444 101; shoot 4-contact-types;   close_top
# Scaled up, the window is narrower than its design and Backup Database is
# only partly in view.
if [ "$scale" = 1 ]; then click_main 624 101; else click_main 580 101; fi
shoot 5-backup-restore;  close_top
if [ "$scale" != 1 ]; then
    # The lower part of the window is reached by scrolling over its scroll bar.
    window=$(main_window)
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" $((WIDTH - 6)) $((HEIGHT / 2))
    for _ in 1 2 3 4 5 6 7 8 9 10; do xdotool click 5; done
    shoot 1-main-window-scrolled
    # Without a window manager the window gets the keyboard only when told.
    xdotool windowfocus --sync "$window"
    xdotool key ctrl+f; shoot 2-search-by-ctrl-f; close_top
    echo "screenshots in $out"
    exit 0
fi
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
