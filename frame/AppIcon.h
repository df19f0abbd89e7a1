#pragma once

#include <QIcon>

// The application's icon, a contact card, in every size from 16 to 256 pixels.
QIcon applicationIcon();

// Makes the icon the application icon, so that every window and message box
// that sets none of its own carries it. Safe to call more than once.
void installApplicationIcon();
