// Benchmark of contact import and export:
//
//   corvanta_bench_exchange [--contacts N] [--work DIR]
//
// Writes a database of N contacts (200,000 by default), exports it to vCard
// and to CSV, and imports each file into an empty database. Every step runs
// in a child process of its own so that its peak memory is its own; the
// steps run once more with a quarter of the contacts to show that memory
// does not grow with the size of the file.
#include "DataGenerator.h"

#include "exchange/ContactExport.h"
#include "exchange/ContactFileImport.h"
#include "store/Connection.h"
#include "store/Schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <cstdio>
#include <sys/resource.h>

using namespace exchange;

namespace {
double peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

int fail(const QString &text)
{
    std::fprintf(stderr, "%s\n", qPrintable(text));
    return 1;
}

// One step in this process; prints "name count seconds peak-MB".
int runStep(const QString &step, const QString &database, const QString &file)
{
    QElapsedTimer timer;
    const bool isExport = step.startsWith(QLatin1String("export"));
    const FileFormat format = step.endsWith(QLatin1String("csv")) ? FileFormat::Csv : FileFormat::VCard;
    int count = 0;
    if (isExport) {
        auto connection = Connection::open(database);
        if (!connection)
            return fail(connection.error().description);
        timer.start();
        const Result<int> written = exportContacts(**connection, file, format);
        if (!written)
            return fail(written.error().description);
        count = *written;
    } else {
        QFile::remove(database);
        if (const Status written = writeBlankDatabaseFile(database); !written)
            return fail(written.error().description);
        auto connection = Connection::open(database);
        if (!connection)
            return fail(connection.error().description);
        timer.start();
        FileImport import({{file, {}}});
        const Result<ImportSurvey> survey = import.survey(**connection);
        if (!survey)
            return fail(survey.error().description);
        std::fprintf(stderr, "survey %.3f s\n", timer.nsecsElapsed() / 1e9);
        const Result<ImportOutcome> outcome = import.run(**connection, DuplicatePolicy::Skip);
        if (!outcome)
            return fail(outcome.error().description);
        count = outcome->added;
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("%s %d %.3f %.1f %lld\n", qPrintable(step), count, seconds, peakMegabytes(),
                static_cast<long long>(QFileInfo(file).size()));
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({{"contacts", "Contacts in the database.", "N", "200000"},
                       {"work", "Folder for the databases and files.", "DIR", QDir::tempPath() + "/corvanta-bench-exchange"},
                       {"step", "Run one step (internal).", "STEP"},
                       {"database", "Database of the step (internal).", "FILE"},
                       {"file", "File of the step (internal).", "FILE"}});
    parser.process(app);
    if (parser.isSet("step"))
        return runStep(parser.value("step"), parser.value("database"), parser.value("file"));

    const QString work = parser.value("work");
    QDir().mkpath(work);
    const qint64 contacts = parser.value("contacts").toLongLong();
    for (const qint64 size : {contacts / 4, contacts}) {
        const QString source = QStringLiteral("%1/source-%2.sqlite").arg(work).arg(size);
        if (!QFileInfo::exists(source)) {
            GeneratorOptions options;
            options.contacts = size;
            options.callsPerContact = 0;
            QString error;
            if (!generateDatabase(source, options, &error))
                return fail(error);
        }
        std::printf("%lld contacts:\n", static_cast<long long>(size));
        const QString steps[][3] = {
            {"export-vcard", source, QStringLiteral("%1/all-%2.vcf").arg(work).arg(size)},
            {"export-csv", source, QStringLiteral("%1/all-%2.csv").arg(work).arg(size)},
            {"import-vcard", work + "/imported.sqlite", QStringLiteral("%1/all-%2.vcf").arg(work).arg(size)},
            {"import-csv", work + "/imported.sqlite", QStringLiteral("%1/all-%2.csv").arg(work).arg(size)},
        };
        for (const auto &step : steps) {
            QProcess child;
            child.start(QCoreApplication::applicationFilePath(),
                        {"--step", step[0], "--database", step[1], "--file", step[2]});
            if (!child.waitForFinished(-1) || child.exitCode() != 0)
                return fail(QString::fromLocal8Bit(child.readAllStandardError()));
            const QStringList figures = QString::fromLatin1(child.readAllStandardOutput()).split(' ');
            const double seconds = figures.value(2).toDouble();
            std::printf("  %-13s %8d contacts %7.2f s %8.0f contacts/s  peak %6.1f MB  file %6.1f MB\n",
                        qPrintable(step[0]), figures.value(1).toInt(), seconds,
                        seconds > 0 ? figures.value(1).toInt() / seconds : 0.0, figures.value(3).toDouble(),
                        figures.value(4).toDouble() / 1e6);
        }
    }
    return 0;
}
