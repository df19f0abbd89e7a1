#pragma once

class QWidget;

// Makes the main window resizable around its designed layout.
//
// The window opens at its designed size with every control where the form
// places it. Enlarged, the contact list takes the extra height and the list,
// the name banner, the tab control and the navigation bar take the extra
// width; the rows of command buttons spread over the width and move down with
// the controls below the list. Made smaller than the design (or opened on a
// screen too small for it), the content keeps its designed size and scrolls.
//
// Call once, right after setupUi() of the main window: it moves the window's
// controls into a scrolled content widget.
void makeMainWindowResizable(QWidget *form);
