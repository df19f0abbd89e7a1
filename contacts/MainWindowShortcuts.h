#pragma once

class QWidget;

// The main window's keyboard shortcuts. Each one does what its command button
// or the window's close box does, by the same path:
//   Ctrl+F  Search                  (clicks "Search ")
//   Ctrl+N  a new contact           (clicks "Create New Contact")
//   Ctrl+S  save the contact        (clicks "Save Contact")
//   Ctrl+Q, Ctrl+W  close the window, with its question about a changed contact
//   Delete in the contact list      (clicks "Delete Current Contact")
// A shortcut of a disabled button does nothing, as a click on it does.
//
// Call once, after setupUi() of the main window.
void installMainWindowShortcuts(QWidget *form);
