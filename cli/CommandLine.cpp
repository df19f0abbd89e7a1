#include "CommandLine.h"
#include "ExchangeCommands.h"
#include "SyncCommand.h"

#include "backup/BackupFile.h"
#include "frame/Formats.h"
#include "frame/MessageService.h"
#include "base/Paths.h"
#include "frame/StartUpSteps.h"
#include "store/DataFolder.h"
#include "frame/Trap.h"
#include "reports/ReportRenderer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>
#include <unistd.h>

namespace {
// Reports of trapped steps go to standard error instead of a box.
class ConsoleMessages : public MessageService {
public:
    explicit ConsoleMessages(QTextStream &err) : m_err(err) {}
    Answer question(QWidget *, const QString &, const QString &) override { return Answer::No; }
    void information(QWidget *, const QString &text) override { m_err << text << Qt::endl; }
    void applicationError(QWidget *, const QString &text) override
    {
        QString oneLine = text;
        oneLine.replace(QLatin1String("\r\n"), QLatin1String(" ")).replace(QLatin1Char('\r'), QLatin1Char(' '));
        m_err << "corvanta: " << oneLine << Qt::endl;
    }

private:
    QTextStream &m_err;
};

class MessagesScope {
public:
    explicit MessagesScope(MessageService *service) { MessageService::setInstance(service); }
    ~MessagesScope() { MessageService::setInstance(nullptr); }
};

// Shows "label: 42%" on a terminal, at most a few times a second.
class ProgressLine {
public:
    ProgressLine(QTextStream &err, bool enabled, QString label)
        : m_err(err), m_enabled(enabled), m_label(std::move(label))
    {
        m_timer.start();
    }
    void update(qint64 done, qint64 total)
    {
        if (!m_enabled || total <= 0 || m_timer.elapsed() < m_lastShown + 200)
            return;
        m_lastShown = m_timer.elapsed();
        m_err << "\r" << m_label << ": " << (done * 100 / total) << "%" << Qt::flush;
        m_shown = true;
    }
    void finish()
    {
        if (m_shown)
            m_err << "\r" << m_label << ": 100%" << Qt::endl;
    }

private:
    QTextStream &m_err;
    bool m_enabled;
    QString m_label;
    QElapsedTimer m_timer;
    qint64 m_lastShown = -1000;
    bool m_shown = false;
};

bool prepareData(QTextStream &err)
{
    ConsoleMessages messages(err);
    MessagesScope scope(&messages);
    for (const QString &notice : tidyDataFolder())
        err << "corvanta: " << notice << Qt::endl;
    Trap trap(nullptr, QStringLiteral("Main"), QStringLiteral("Command"));
    prepareDataFiles(trap);
    return trap.failures() == 0 && QFileInfo::exists(liveDatabasePath());
}

// For a command that changes the database: the data files, and a database
// that can be written.
bool prepareDataToChange(QTextStream &err)
{
    if (!prepareData(err))
        return false;
    if (const QString reason = liveDatabaseReadOnlyReason(); !reason.isEmpty()) {
        err << "corvanta: " << readOnlyRefusal(reason) << Qt::endl;
        return false;
    }
    return true;
}

int usage(const CommandLineStreams &io, const QString &problem)
{
    *io.err << "corvanta: " << problem << Qt::endl << Qt::endl << commandLineHelp() << Qt::flush;
    return 2;
}

int runBackup(const QStringList &args, const CommandLineStreams &io)
{
    if (args.size() != 2)
        return usage(io, QStringLiteral("backup needs exactly one FOLDER."));
    const QString folder = args.at(1);
    if (folder.startsWith(QLatin1Char('-')))
        return usage(io, QStringLiteral("unknown option %1.").arg(folder));
    if (!QFileInfo(folder).isDir()) {
        *io.err << "corvanta: the folder " << folder << " does not exist." << Qt::endl;
        return 1;
    }
    if (!prepareData(*io.err))
        return 1;
    ProgressLine progress(*io.err, io.showProgress, QStringLiteral("Backing up"));
    const backup::BackupResult result =
        backup::writeBackup(QDir(folder).absolutePath(), [&](qint64 done, qint64 total) { progress.update(done, total); });
    progress.finish();
    if (!result) {
        *io.err << "corvanta: backup failed: " << result.error().description << Qt::endl;
        return 1;
    }
    *io.out << "Wrote " << result->filePath << " (" << counted(result->written[0], u"contact type", u"contact types") << ", "
            << counted(result->written[1], u"contact", u"contacts") << ", " << counted(result->written[2], u"call", u"calls")
            << ")." << Qt::endl;
    return 0;
}

// Puts back the database as it was before the last delete-first restore.
int runUndo(bool yes, const CommandLineStreams &io)
{
    if (!prepareDataToChange(*io.err))
        return 1;
    const Result<backup::UndoCopy> copy = backup::lastRestoreCopy();
    if (!copy) {
        *io.err << "corvanta: " << copy.error().description << Qt::endl;
        return 1;
    }
    if (!yes) {
        if (!io.interactive) {
            *io.err << "corvanta: refusing to replace your data without a terminal to ask on; "
                       "add --yes to confirm." << Qt::endl;
            return 2;
        }
        *io.err << QString(backup::undoQuestion(*copy)).replace(QLatin1Char('\n'), QLatin1Char(' ')) << " [y/N] "
                << Qt::flush;
        const QString answer = io.in->readLine().trimmed();
        if (answer.compare(QLatin1String("y"), Qt::CaseInsensitive) != 0
            && answer.compare(QLatin1String("yes"), Qt::CaseInsensitive) != 0) {
            *io.err << "Nothing was changed." << Qt::endl;
            return 1;
        }
    }
    if (const Status undone = backup::undoLastRestore(); !undone) {
        *io.err << "corvanta: the restore could not be undone, the database is unchanged: "
                << undone.error().description << Qt::endl;
        return 1;
    }
    *io.out << "Done. The database is as it was before the last restore." << Qt::endl;
    return 0;
}

int runRestore(const QStringList &args, const CommandLineStreams &io)
{
    QString folder;
    bool deleteFirst = false;
    bool append = false;
    bool yes = false;
    bool acceptRejects = false;
    bool undo = false;
    for (int i = 1; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        if (arg == QLatin1String("--delete-first"))
            deleteFirst = true;
        else if (arg == QLatin1String("--append"))
            append = true;
        else if (arg == QLatin1String("--yes"))
            yes = true;
        else if (arg == QLatin1String("--accept-rejects"))
            acceptRejects = true;
        else if (arg == QLatin1String("--undo"))
            undo = true;
        else if (arg.startsWith(QLatin1String("--")))
            return usage(io, QStringLiteral("unknown option %1.").arg(arg));
        else if (folder.isEmpty())
            folder = arg;
        else
            return usage(io, QStringLiteral("restore takes one FOLDER."));
    }
    if (undo) {
        if (!folder.isEmpty() || deleteFirst || append || acceptRejects)
            return usage(io, QStringLiteral("restore --undo takes no FOLDER and no other option but --yes."));
        return runUndo(yes, io);
    }
    if (folder.isEmpty())
        return usage(io, QStringLiteral("restore needs a FOLDER."));
    if (deleteFirst == append)
        return usage(io, QStringLiteral("restore needs exactly one of --delete-first and --append."));
    if (deleteFirst && !yes) {
        if (!io.interactive) {
            *io.err << "corvanta: refusing to delete all your data without a terminal to ask on; "
                       "add --yes to confirm." << Qt::endl;
            return 2;
        }
        *io.err << "Are you sure you wish to delete all your data and proceed? [y/N] " << Qt::flush;
        const QString answer = io.in->readLine().trimmed();
        if (answer.compare(QLatin1String("y"), Qt::CaseInsensitive) != 0
            && answer.compare(QLatin1String("yes"), Qt::CaseInsensitive) != 0) {
            *io.err << "Nothing was changed." << Qt::endl;
            return 1;
        }
    }
    if (!prepareDataToChange(*io.err))
        return 1;
    ProgressLine progress(*io.err, io.showProgress, QStringLiteral("Restoring"));
    backup::RestoreCallbacks callbacks;
    qint64 reported = 0;
    callbacks.rejected = [&](const backup::RejectedRecord &record) {
        if (++reported <= 10)
            *io.err << "corvanta: line " << record.lineNumber << " of the file (" << backup::tableName(record.table)
                    << ") was not restored: " << record.reason << Qt::endl;
    };
    callbacks.progress = [&](qint64 done, qint64 total) { progress.update(done, total); };
    // --yes confirms the deletion, not the loss of rejected records.
    callbacks.acceptRejects = [&](qint64 count) {
        if (!acceptRejects)
            *io.err << "corvanta: " << count << (count == 1 ? " record" : " records")
                    << " could not be restored; the restore was rolled back. "
                       "Add --accept-rejects to replace the data anyway." << Qt::endl;
        return acceptRejects;
    };
    const backup::RestoreResult result = backup::restoreBackup(
        QDir(folder).absolutePath(), deleteFirst ? backup::RestoreMode::DeleteFirst : backup::RestoreMode::Append, callbacks);
    progress.finish();
    if (!result) {
        *io.err << "corvanta: restore failed, the database is unchanged: " << result.error().description << Qt::endl;
        return 1;
    }
    switch (result->status) {
    case backup::RestoreStatus::Done:
        *io.out << result->message() << Qt::endl;
        return result->rejected == 0 ? 0 : 1;
    case backup::RestoreStatus::NoData:
    case backup::RestoreStatus::NoFile:
    case backup::RestoreStatus::NotBackup:
    case backup::RestoreStatus::Incomplete:
    case backup::RestoreStatus::Declined:
        break;
    }
    *io.err << "corvanta: " << result->message() << Qt::endl;
    return 1;
}

int runReport(const QStringList &args, const CommandLineStreams &io)
{
    if (args.size() != 4 || args.at(2) != QLatin1String("--pdf"))
        return usage(io, QStringLiteral("report needs a number and --pdf FILE."));
    bool isNumber = false;
    const int number = args.at(1).toInt(&isNumber);
    if (!isNumber || number < 1 || number > 3)
        return usage(io, QStringLiteral("the report number is 1, 2 or 3."));
    if (!prepareData(*io.err))
        return 1;
    const Status written = report::writeReportPdf(number, args.at(3));
    if (!written) {
        *io.err << "corvanta: report failed: " << written.error().description << Qt::endl;
        return 1;
    }
    *io.out << "Wrote " << args.at(3) << Qt::endl;
    return 0;
}
bool asksForHelp(const QStringList &args)
{
    return args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"));
}

// The usage of one command, for "corvanta COMMAND --help".
QString commandUsage(const QString &command)
{
    if (command == QLatin1String("backup"))
        return QStringLiteral("Usage: corvanta backup FOLDER\n\n"
                              "Writes the whole database as text to FOLDER/BackupDB.txt.\n");
    if (command == QLatin1String("restore"))
        return QStringLiteral("Usage: corvanta restore FOLDER --delete-first|--append [--yes] [--accept-rejects]\n"
                              "       corvanta restore --undo [--yes]\n\n"
                              "Restores FOLDER/BackupDB.txt, replacing all data (--delete-first) or adding\n"
                              "to it (--append). --yes confirms the deletion without asking;\n"
                              "--accept-rejects keeps the restore when some records could not be restored.\n"
                              "--undo puts back the database as it was before the last --delete-first\n"
                              "restore (kept as dbData.before-restore.sqlite in the data folder).\n");
    if (command == QLatin1String("report"))
        return QStringLiteral("Usage: corvanta report 1|2|3 --pdf FILE\n\n"
                              "Writes a report as PDF: 1 Alphabetical Contact Listing, 2 Call History,\n"
                              "3 Weekly Call Summary.\n");
    if (command == QLatin1String("import") || command == QLatin1String("export"))
        return exchangeCommandUsage(command);
    if (command == QLatin1String("sync"))
        return QStringLiteral("Usage:\n") + syncCommandHelp();
    return {};
}
} // namespace

QString commandLineHelp()
{
    return QStringLiteral(
        "Usage:\n"
        "  corvanta                                  open the windows\n"
        "  corvanta backup FOLDER                    write FOLDER/BackupDB.txt\n"
        "  corvanta restore FOLDER --delete-first|--append [--yes] [--accept-rejects]\n"
        "                                            restore FOLDER/BackupDB.txt, replacing\n"
        "                                            all data or adding to it; --yes confirms\n"
        "                                            the deletion without asking;\n"
        "                                            --accept-rejects replaces the data even\n"
        "                                            when records could not be restored\n"
        "                                            (without it such a restore is undone)\n"
        "  corvanta restore --undo [--yes]           put back the database as it was before\n"
        "                                            the last --delete-first restore\n"
        "  corvanta report 1|2|3 --pdf FILE          write a report as PDF (1 Alphabetical\n"
        "                                            Contact Listing, 2 Call History,\n"
        "                                            3 Weekly Call Summary)\n")
        + exchangeCommandsHelp() + syncCommandHelp() + QStringLiteral(
        "  corvanta --help                           show this help\n"
        "  corvanta --version                        show the version\n"
        "\n"
        "The commands use the same data folder and settings as the windows.\n");
}

bool isCommandLineRequest(const QStringList &arguments)
{
    // The windows take no arguments but files to import: anything else is a
    // command or a usage error.
    return !arguments.isEmpty() && !namesFilesToImport(arguments);
}

int runCommandLine(const QStringList &arguments, const CommandLineStreams &io)
{
    const QString command = arguments.value(0);
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        if (arguments.size() > 1)
            return usage(io, QStringLiteral("%1 takes no arguments.").arg(command));
        *io.out << commandLineHelp() << Qt::flush;
        return 0;
    }
    if (command == QLatin1String("--version")) {
        if (arguments.size() > 1)
            return usage(io, QStringLiteral("--version takes no arguments."));
        *io.out << "corvanta " << CORVANTA_VERSION << Qt::endl;
        return 0;
    }
    if (command.startsWith(QLatin1Char('-')))
        return usage(io, QStringLiteral("unknown option %1.").arg(command));
    const QString help = commandUsage(command);
    if (!help.isEmpty() && asksForHelp(arguments.mid(1))) {
        *io.out << help << Qt::flush;
        return 0;
    }
    if (command == QLatin1String("backup"))
        return runBackup(arguments, io);
    if (command == QLatin1String("restore"))
        return runRestore(arguments, io);
    if (command == QLatin1String("report"))
        return runReport(arguments, io);
    if (command == QLatin1String("import"))
        return runExchangeCommand(arguments, io, [&] { return prepareDataToChange(*io.err); });
    if (command == QLatin1String("export"))
        return runExchangeCommand(arguments, io, [&] { return prepareData(*io.err); });
    if (command == QLatin1String("sync"))
        return runSyncCommand(arguments, io, [&] { return prepareData(*io.err); });
    return usage(io, QStringLiteral("unknown command %1.").arg(command));
}

int runCommandLineOnConsole(const QStringList &arguments)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    QTextStream in(stdin);
    const CommandLineStreams io{&out, &err, &in, isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1,
                                isatty(STDERR_FILENO) == 1};
    return runCommandLine(arguments, io);
}
