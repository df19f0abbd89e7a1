#pragma once

#include "base/Result.h"

#include <QString>
#include <QtGlobal>

class QWidget;

// The default printer's orientation for the time a report is open, and the
// report sequence. The default printer is the default destination of the
// print system (CUPS); its stored defaults for this user are changed so that
// every program printing meanwhile sees the report's orientation.
namespace Printers {

// Orientation values: 1 portrait, 2 landscape, 0 leaves it unchanged.
inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;

// What the last SetPrinterOrientation read and was given. The orientation is
// the print system's own value ("orientation-requested": 3 portrait,
// 4 landscape, 5 and 6 the reversed ones), 0 when none was stored; the paper
// size is the "media" value, empty when none was stored.
struct SavedSettings {
    int orientation = 0;
    QString paperSize;
    quintptr reportWindow = 0;
};
SavedSettings savedSettings();

// Saves the default printer's stored orientation and paper size and stores
// the given orientation (unless 0) in this user's printer options, as CUPS's
// lpoptions writes the default destination's options. Without a
// default printer it only remembers the window. When the options cannot be
// stored it goes on: the report's own page layout carries its orientation.
void SetPrinterOrientation(quintptr windowHandle, int orientation);

// Writes back the orientation and paper size saved by the last
// SetPrinterOrientation. What the options file held before the first change
// is kept in a journal beside the live database, written before the file is
// changed and shared by every copy of the program: when the last report of
// any copy closes, the file is again exactly as it was before (a file that
// did not exist is removed), unless something else changed it meanwhile,
// when only the two values go back. While another copy still shows a report
// the file stays as it is. SIGTERM and SIGINT put it back too before the
// program ends.
void RestorePrinterOrientation();

// Puts the user's printer options back when a copy of the program ended
// (killed, crashed, logged out) while it had a report open and no other copy
// has one open now. Run at start-up.
void recoverPrinterOptions();

// The name of the default printer, empty when there is none.
QString defaultPrinterName();

// Shows report 1, 2 or 3 in its modal preview over a fresh connection to
// the live database, switching the default printer's orientation while the
// preview is open; any other number shows nothing. A failure ends the
// sequence at its step and goes back to the calling button's trap.
Status ShowReport(QWidget *parent, int reportNumber);

} // namespace Printers
