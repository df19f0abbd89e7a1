#pragma once

#include "SyncSettingsDialog.h"
#include "SyncWindow.h"

// The window's sync: the engine's runSync on a worker thread with a database
// connection and a CardDAV client of that thread's own.
SyncWindow::JobFactory engineJobFactory();

// Finding the address books of an account on its server (on the calling
// thread; the client runs a local event loop meanwhile).
SyncSettingsDialog::Discover serverDiscovery();
