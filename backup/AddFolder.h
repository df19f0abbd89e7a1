#pragma once

#include <QString>

class QWidget;

// Shows the platform's folder chooser modally over the owner with the prompt,
// starting at startFolder when that folder exists. Only folders can be
// chosen. Returns the chosen folder's full path, or the empty text when the
// user cancels.
QString BrowseFolder(QWidget *owner, const QString &prompt, const QString &startFolder);
