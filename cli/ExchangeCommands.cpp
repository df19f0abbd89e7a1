#include "ExchangeCommands.h"

#include "CommandLine.h"

#include "exchange/ContactExport.h"
#include "exchange/ContactFileImport.h"
#include "store/Connection.h"
#include "store/Database.h"

#include <QFile>
#include <QTextStream>

using namespace exchange;

namespace {
int usage(const CommandLineStreams &io, const QString &command, const QString &problem)
{
    *io.err << "corvanta: " << problem << Qt::endl << Qt::endl << exchangeCommandUsage(command) << Qt::flush;
    return 2;
}

int runExport(const QStringList &args, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    if (args.size() != 3 || (args[1] != QLatin1String("--vcard") && args[1] != QLatin1String("--csv")))
        return usage(io, QStringLiteral("export"), QStringLiteral("export needs --vcard FILE or --csv FILE."));
    if (!prepareData())
        return 1;
    auto connection = openLiveDatabase();
    if (!connection) {
        *io.err << "corvanta: export failed: " << connection.error().description << Qt::endl;
        return 1;
    }
    const Result<int> written = exportContacts(**connection, args[2],
                                               args[1] == QLatin1String("--csv") ? FileFormat::Csv : FileFormat::VCard);
    if (!written) {
        *io.err << "corvanta: export failed: " << written.error().description << Qt::endl;
        return 1;
    }
    *io.out << written.value() << " contacts written to " << args[2] << Qt::endl;
    return 0;
}

int runImport(const QStringList &args, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    QStringList files;
    QString choice;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--on-duplicate")) {
            if (++i >= args.size() || !QStringList{"skip", "update", "add"}.contains(args[i]))
                return usage(io, QStringLiteral("import"), QStringLiteral("--on-duplicate takes skip, update or add."));
            choice = args[i];
        } else if (args[i].startsWith(QLatin1String("--"))) {
            return usage(io, QStringLiteral("import"), QStringLiteral("unknown option %1.").arg(args[i]));
        } else {
            files << args[i];
        }
    }
    if (files.isEmpty())
        return usage(io, QStringLiteral("import"), QStringLiteral("import needs at least one FILE."));
    for (const QString &path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            *io.err << "corvanta: cannot read " << path << ": " << file.errorString() << Qt::endl;
            return 1;
        }
    }
    if (!prepareData())
        return 1;
    auto connection = openLiveDatabase();
    if (!connection) {
        *io.err << "corvanta: import failed: " << connection.error().description << Qt::endl;
        return 1;
    }
    QList<ImportSource> sources;
    for (const QString &path : files)
        sources.append({path, {}});
    FileImport import(sources);
    const Result<ImportSurvey> survey = import.survey(**connection);
    if (!survey) {
        *io.err << "corvanta: import failed: " << survey.error().description << Qt::endl;
        return 1;
    }
    *io.out << survey->found << " contacts found, " << survey->duplicates << " look like contacts already stored."
            << Qt::endl;
    if (choice.isEmpty() && survey->duplicates > 0 && io.interactive && io.in) {
        *io.err << "Skip them, update their empty fields or add them as new? [skip/update/add] " << Qt::flush;
        const QString answer = io.in->readLine().trimmed().toLower();
        choice = QStringList{"skip", "update", "add"}.contains(answer) ? answer : QStringLiteral("skip");
    }
    const DuplicatePolicy policy = choice == QLatin1String("update") ? DuplicatePolicy::FillEmpty
                                   : choice == QLatin1String("add")  ? DuplicatePolicy::AddNew
                                                                     : DuplicatePolicy::Skip;
    const Result<ImportOutcome> outcome = import.run(**connection, policy);
    if (!outcome) {
        *io.err << "corvanta: import failed, the database is unchanged: " << outcome.error().description << Qt::endl;
        return 1;
    }
    *io.out << outcome->added << " added, " << outcome->filled << " updated, " << outcome->skipped << " skipped, "
            << outcome->typesCreated << " contact types created." << Qt::endl;
    for (const QString &item : survey->notKept)
        *io.err << "corvanta: not imported: " << item << Qt::endl;
    for (const QString &problem : survey->problems)
        *io.err << "corvanta: " << problem << Qt::endl;
    return 0;
}
} // namespace

QString exchangeCommandUsage(const QString &command)
{
    if (command == QLatin1String("import"))
        return QStringLiteral(
            "Usage: corvanta import FILE... [--on-duplicate skip|update|add]\n\n"
            "Imports vCard or CSV files; the format is read from each file's content.\n"
            "Contacts already stored are skipped (skip, the default), have their empty\n"
            "fields filled (update) or are added once more (add).\n");
    if (command == QLatin1String("export"))
        return QStringLiteral(
            "Usage: corvanta export --vcard FILE | --csv FILE\n\n"
            "Writes every contact to FILE as vCard 3.0 or as CSV with a heading line.\n");
    return {};
}

QString exchangeCommandsHelp()
{
    return QStringLiteral(
        "  corvanta FILE.vcf|FILE.csv...             open the windows and import the files\n"
        "  corvanta import FILE... [--on-duplicate skip|update|add]\n"
        "                                            import vCard or CSV files (the format\n"
        "                                            from the content); contacts already\n"
        "                                            stored are skipped unless told otherwise\n"
        "  corvanta export --vcard FILE | --csv FILE write every contact to FILE\n");
}

bool namesFilesToImport(const QStringList &arguments)
{
    if (arguments.isEmpty())
        return false;
    for (const QString &argument : arguments) {
        const QString lower = argument.toLower();
        if (argument.startsWith(QLatin1Char('-'))
            || !(lower.endsWith(QLatin1String(".vcf")) || lower.endsWith(QLatin1String(".vcard"))
                 || lower.endsWith(QLatin1String(".csv"))))
            return false;
    }
    return true;
}

int runExchangeCommand(const QStringList &arguments, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    if (arguments.value(0) == QLatin1String("export"))
        return runExport(arguments, io, prepareData);
    return runImport(arguments, io, prepareData);
}
