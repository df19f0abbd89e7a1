#pragma once

class QWidget;

// Return and the keypad's Enter press the focused command button of a window,
// as Space does, and no other button: the windows have no default button that
// Return in a box would press behind the user's back.
void pressFocusedButtonsOnReturn(QWidget *window);
