#pragma once

#include "frame/Result.h"

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
// the given orientation (unless 0) in this user's printer options. Without a
// default printer it only remembers the window. When the options cannot be
// stored it goes on: the report's own page layout carries its orientation.
void SetPrinterOrientation(quintptr windowHandle, int orientation);

// Writes back the orientation and paper size saved by the last
// SetPrinterOrientation. When nothing else changed the printer's options in
// between, the user's options file is again exactly as it was before (a file
// that did not exist is removed). Without a default printer it does nothing.
void RestorePrinterOrientation();

// The name of the default printer, empty when there is none.
QString defaultPrinterName();

// Shows report 1, 2 or 3 in its modal preview over a fresh connection to
// the live database, switching the default printer's orientation while the
// preview is open; any other number shows nothing. A failure ends the
// sequence at its step and goes back to the calling button's trap.
Status ShowReport(QWidget *parent, int reportNumber);

} // namespace Printers
