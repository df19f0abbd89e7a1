#pragma once

class QDialog;
class QSize;

// Gives a secondary window its frame: a fixed client size, a title bar with
// only the close button, the application's icon, the white colouring and the
// hand pointer over command buttons, and a place in the middle of the screen.
void setUpDialogFrame(QDialog *dialog, const QSize &clientSize);
