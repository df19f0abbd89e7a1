#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// Chooses the Qt platform for the windows before the application object
// exists. Qt aborts the process when no platform of QT_QPA_PLATFORM (or of
// its default) can start, so the program looks first: it tries each platform
// in the order Qt would, and takes the first one whose plugin is installed
// and whose display answers.
struct WindowPlatform {
    QString platform; // the QT_QPA_PLATFORM value to start Qt with; empty when none works
    QString problem;  // why none works, one line for the user
};

WindowPlatform chooseWindowPlatform(const QProcessEnvironment &environment);

// Platform plugins that need no display.
bool isDisplaylessPlatform(const QString &name);

// The installed platform plugins' names ("xcb", "offscreen", "wayland", ...).
QStringList installedPlatformPlugins(const QProcessEnvironment &environment);

// True when an X server answers on the display ("host:number.screen").
bool xDisplayAnswers(const QString &display);
