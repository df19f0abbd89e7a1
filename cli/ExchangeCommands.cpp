#include "ExchangeCommands.h"

#include "CommandLine.h"

#include "exchange/ContactExport.h"
#include "frame/Formats.h"
#include "exchange/ContactFileImport.h"
#include "exchange/ContactFileReader.h"
#include "exchange/CsvFormat.h"
#include "store/Connection.h"
#include "store/Database.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
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
    *io.out << counted(written.value(), u"contact", u"contacts") << " written to " << args[2] << Qt::endl;
    return 0;
}

// "--map Vorname=First Name,Nachname=LastName": headings to fields, by the
// captions of the main window or the field names; "Notes" and "ignore" too.
Result<QHash<QString, int>> parseMap(const QString &text)
{
    QHash<QString, int> map;
    for (const QString &pair : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qsizetype equals = pair.lastIndexOf(QLatin1Char('='));
        if (equals <= 0)
            return failure(QStringLiteral("--map takes HEADING=Field,...; \"%1\" has no field.").arg(pair));
        const QString heading = pair.left(equals).trimmed();
        const QString field = pair.mid(equals + 1).trimmed();
        int target = fieldOfCaption(field);
        if (field.compare(QLatin1String("ignore"), Qt::CaseInsensitive) == 0)
            target = IgnoreColumn;
        else if (field.compare(QLatin1String("Notes line"), Qt::CaseInsensitive) == 0)
            target = NoteLineColumn;
        if (target == -1 && field.compare(QLatin1String("ignore"), Qt::CaseInsensitive) != 0)
            return failure(QStringLiteral("--map: no field is called \"%1\".").arg(field));
        map.insert(heading, target);
    }
    return map;
}

// The automatic mapping of a CSV file with the user's headings applied.
Result<QList<int>> mappingOf(const QString &path, const QHash<QString, int> &map)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(file.errorString());
    if (Status readable = checkContactFile(&file); !readable)
        return readable.error();
    ContactFileReader reader(&file);
    if (reader.format() != FileFormat::Csv)
        return QList<int>();
    QList<int> mapping = reader.mapping();
    const QStringList headers = reader.headers();
    for (qsizetype c = 0; c < headers.size() && c < mapping.size(); ++c) {
        const auto found = map.constFind(headers[c].trimmed());
        if (found != map.cend())
            mapping[c] = found.value();
    }
    return mapping;
}

// At a terminal: s, u or a (or the words); anything else is asked again.
std::optional<QString> askDuplicatePolicy(const CommandLineStreams &io)
{
    for (;;) {
        *io.err << "Skip them, update their empty fields or add them as new? [s/u/a] " << Qt::flush;
        if (io.in->atEnd())
            return std::nullopt;
        const QString answer = io.in->readLine().trimmed().toLower();
        if (answer == QLatin1String("s") || answer == QLatin1String("skip"))
            return QStringLiteral("skip");
        if (answer == QLatin1String("u") || answer == QLatin1String("update"))
            return QStringLiteral("update");
        if (answer == QLatin1String("a") || answer == QLatin1String("add"))
            return QStringLiteral("add");
    }
}

int runImport(const QStringList &args, const CommandLineStreams &io, const std::function<bool()> &prepareData)
{
    QStringList files;
    QString choice;
    QHash<QString, int> headingMap;
    bool mapped = false;
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--on-duplicate")) {
            if (++i >= args.size() || !QStringList{"skip", "update", "add"}.contains(args[i]))
                return usage(io, QStringLiteral("import"), QStringLiteral("--on-duplicate takes skip, update or add."));
            choice = args[i];
        } else if (args[i] == QLatin1String("--map")) {
            if (++i >= args.size())
                return usage(io, QStringLiteral("import"), QStringLiteral("--map takes HEADING=Field,..."));
            Result<QHash<QString, int>> parsed = parseMap(args[i]);
            if (!parsed)
                return usage(io, QStringLiteral("import"), parsed.error().description);
            headingMap.insert(*parsed);
            mapped = true;
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
    for (const QString &path : files) {
        ImportSource source{path, {}};
        if (mapped) {
            Result<QList<int>> mapping = mappingOf(path, headingMap);
            if (!mapping) {
                *io.err << "corvanta: import failed: " << QFileInfo(path).fileName() << ": " << mapping.error().description
                        << Qt::endl;
                return 1;
            }
            source.csvMapping = *mapping;
        }
        sources.append(source);
    }
    FileImport import(sources);
    const Result<ImportSurvey> survey = import.survey(**connection);
    if (!survey) {
        *io.err << "corvanta: import failed: " << survey.error().description << Qt::endl;
        return 1;
    }
    *io.out << counted(survey->found, u"contact", u"contacts") << " found, "
            << (survey->duplicates == 1 ? QStringLiteral("1 looks like a contact")
                                        : QStringLiteral("%1 look like contacts").arg(survey->duplicates))
            << " already stored."
            << Qt::endl;
    if (choice.isEmpty() && survey->duplicates > 0 && io.interactive && io.in) {
        const std::optional<QString> answer = askDuplicatePolicy(io);
        if (!answer) {
            *io.err << "corvanta: no answer; nothing was imported." << Qt::endl;
            return 1;
        }
        choice = *answer;
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
            << counted(outcome->typesCreated, u"contact type", u"contact types") << " created." << Qt::endl;
    if (outcome->valuesKeptInNotes > 0)
        *io.out << (outcome->valuesKeptInNotes == 1 ? QStringLiteral("1 value that differed was kept in Notes.")
                                                    : QStringLiteral("%1 values that differed were kept in Notes.")
                                                          .arg(outcome->valuesKeptInNotes))
                << Qt::endl;
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
            "Usage: corvanta import FILE... [--on-duplicate skip|update|add] [--map HEADING=Field,...]\n\n"
            "Imports vCard or CSV files; the format is read from each file's content.\n"
            "Contacts already stored are skipped (skip, the default), have their empty\n"
            "fields filled (update) or are added once more (add).\n"
            "--map says which field a CSV column goes into, by the captions of the main\n"
            "window or the field names (\"Vorname=First Name,Ort=City\"; ignore, Notes line).\n");
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
        "  corvanta import FILE... [--on-duplicate skip|update|add] [--map HEADING=Field,...]\n"
        "                                            import vCard or CSV files (the format\n"
        "                                            from the content); contacts already\n"
        "                                            stored are skipped unless told otherwise;\n"
        "                                            --map says which field a CSV column\n"
        "                                            goes into (\"Vorname=First Name\")\n"
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
