#pragma once

#include <QStringList>

class QTextStream;

// The command line for scripting:
//   corvanta backup FOLDER
//   corvanta restore FOLDER --delete-first|--append [--yes]
//   corvanta report 1|2|3 --pdf FILE
//   corvanta --help | --version
// The commands run the same code as the windows, on the same data folder and
// settings. They print errors to standard error and return a non-zero status.
struct CommandLineStreams {
    QTextStream *out;
    QTextStream *err;
    QTextStream *in;       // answers to the delete question
    bool interactive;      // a person at a terminal can answer questions
    bool showProgress;     // standard error is a terminal
};

// True when the arguments (without the program name) ask for a command
// rather than the windows.
bool isCommandLineRequest(const QStringList &arguments);

// Runs the command; returns the exit status (0 success, 1 failure, 2 usage).
int runCommandLine(const QStringList &arguments, const CommandLineStreams &streams);

// Runs the command on the process's own standard streams.
int runCommandLineOnConsole(const QStringList &arguments);

QString commandLineHelp();
