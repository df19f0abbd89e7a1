#pragma once

#include <QStringList>

#include <functional>

struct CommandLineStreams;

// corvanta sync --setup URL --user NAME [--addressbook NAME-OR-PATH] [--password-file FILE]
// corvanta sync [--password-file FILE] [--allow-mass-delete]
// Exit status 0 done, 1 failure (saying what was and was not done), 2 usage.
int runSyncCommand(const QStringList &arguments, const CommandLineStreams &io, const std::function<bool()> &prepareData);
QString syncCommandHelp();
