#pragma once

#include <QCursor>
#include <QString>

class QWidget;

QString skinFilePath();    // <program folder>/x/o1.cjs
QString handCursorPath();  // <program folder>/HAND-M.CUR

// Main window: when the skin file exists, the window and its labels, frames,
// check boxes, option buttons and command buttons turn white and the skin is
// applied as a style sheet; otherwise the window keeps its own colours.
void ApplyCodeJockWhite(QWidget *mainWindow);

// Every other window: always white.
void ApplyFormColorWhite(QWidget *window);

// One control: a white background with dark text, readable under any palette.
void makeWhite(QWidget *widget);

// Loads the hand cursor file; false when it is missing or unreadable.
bool loadHandCursor(QCursor *cursor);

// Gives the command buttons of the window (and the extra widgets named) the
// hand cursor when the cursor file exists; other controls keep the arrow.
void applyHandCursor(QWidget *window, const QList<QWidget *> &extraWidgets = {});
