#pragma once

#include <QStringList>

#include <functional>

struct CommandLineStreams;

// corvanta import FILE... [--on-duplicate skip|update|add]
// corvanta export --vcard FILE | --csv FILE
// Exit status 0 success, 1 failure, 2 usage; `prepareData` readies the data
// folder and says whether the live database is there.
int runExchangeCommand(const QStringList &arguments, const CommandLineStreams &io,
                       const std::function<bool()> &prepareData);
QString exchangeCommandsHelp();
// The usage of "import" or "export", for its --help and its usage errors.
QString exchangeCommandUsage(const QString &command);

// True when every argument names a vCard or CSV file (corvanta FILE.vcf):
// the program then opens its windows and imports the files.
bool namesFilesToImport(const QStringList &arguments);
