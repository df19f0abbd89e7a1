#include "BenchSteps.h"

#include "DataGenerator.h"
#include "backup/BackupFile.h"
#include "reports/ReportRenderer.h"
#include "contacts/ContactListModel.h"
#include "contacts/Form1.h"
#include "store/Database.h"
#include "store/SearchStore.h"
#include "frame/MessageService.h"
#include "base/Paths.h"

#include <QApplication>
#include <QHeaderView>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {
QElapsedTimer g_processClock; // started first thing in main

double peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

// Boxes in a benchmark would wait for a user: print them instead.
class PrintingMessages : public MessageService {
public:
    Answer question(QWidget *, const QString &, const QString &text) override
    {
        std::printf("  (question answered Yes: %s)\n", qPrintable(QString(text).replace("\r\n", " ")));
        return Answer::Yes;
    }
    void information(QWidget *, const QString &) override {}
    void applicationError(QWidget *, const QString &text) override
    {
        std::fprintf(stderr, "  APPLICATION ERROR: %s\n", qPrintable(QString(text).replace("\r", " ")));
    }
};

void pointDataFolderAt(const QString &work, const QString &database)
{
    const QString root = work + "/xdg";
    QDir(root).removeRecursively();
    QDir().mkpath(root + "/data/Quillmark/Corvanta");
    QDir().mkpath(root + "/config");
    qputenv("XDG_DATA_HOME", QFile::encodeName(root + "/data"));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root + "/config"));
    QFile::link(database, root + "/data/Quillmark/Corvanta/dbData.sqlite");
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// --- steps that run in a child process of their own ---------------------------------

int stepStartup(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    PrintingMessages messages;
    MessageService::setInstance(&messages);
    Form1 window;
    window.show();
    QApplication::processEvents();
    const auto *list = window.findChild<QTableView *>("ListView1");
    const double ms = g_processClock.nsecsElapsed() / 1e6;
    std::printf("startup_ms %.1f\nstartup_rows %d\nstartup_peak_mb %.1f\n", ms, list->model()->rowCount(), peakMegabytes());
    return 0;
}

int stepList(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    PrintingMessages messages;
    MessageService::setInstance(&messages);
    Form1 window;
    window.show();
    QApplication::processEvents();
    QList<double> times;
    for (int run = 0; run < 7; ++run) {
        QElapsedTimer timer;
        timer.start();
        window.listContacts();
        QApplication::processEvents(); // the view paints its first screen
        times << timer.nsecsElapsed() / 1e6;
    }
    std::printf("list_ms %.1f\nlist_rows %lld\n", median(times), window.contactCount());
    return 0;
}

// Sorting the list by a click on a column caption, as the user does: time
// until the first screen of the sorted list is painted with the current
// contact (one in the middle) selected again, then to jump to the last row.
int stepSort(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    PrintingMessages messages;
    MessageService::setInstance(&messages);
    Form1 window;
    window.show();
    QApplication::processEvents();
    auto *list = window.findChild<QTableView *>("ListView1");
    const QModelIndex middle = list->model()->index(list->model()->rowCount() / 2, 0);
    list->selectionModel()->setCurrentIndex(middle, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    const qint64 current = middle.data().toLongLong();
    const struct {
        const char *name;
        int column;
        int clicks; // 2: the second click reverses
    } sorts[] = {{"Lastname", 2, 1}, {"Lastname_descending", 2, 2}, {"City", 4, 1}, {"Address_ID_descending", 0, 2}};
    for (const auto &sort : sorts) {
        QList<double> clickTimes;
        QList<double> endTimes;
        for (int run = 0; run < 5; ++run) {
            window.listContacts(); // back to key order, as after a rebuild
            QApplication::processEvents();
            QElapsedTimer timer;
            timer.start();
            for (int click = 0; click < sort.clicks; ++click) {
                if (click > 0) {
                    QApplication::processEvents();
                    timer.restart();
                }
                emit list->horizontalHeader()->sectionClicked(sort.column);
            }
            QApplication::processEvents();
            clickTimes << timer.nsecsElapsed() / 1e6;
            if (list->currentIndex().siblingAtColumn(0).data().toLongLong() != current) {
                std::fprintf(stderr, "sorting by %s lost the current contact\n", sort.name);
                return 1;
            }
            timer.restart();
            list->scrollToBottom();
            QApplication::processEvents();
            endTimes << timer.nsecsElapsed() / 1e6;
        }
        std::printf("sort_ms %s|%.1f|%.1f\n", sort.name, median(clickTimes), median(endTimes));
    }
    return 0;
}

// The seventeen-field prefix search as the search window runs it: time until
// the first screen (the first batch of 100 rows: keys, then their fields) is
// read, then until every key is counted, and the plan SQLite chose.
int stepSearch(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    Result<std::unique_ptr<SearchStore>> opened = SearchStore::open(liveDatabasePath());
    if (!opened) {
        std::fprintf(stderr, "%s\n", qPrintable(opened.error().description));
        return 1;
    }
    SearchStore &store = **opened;
    const QStringList texts = {"Mü", "Smith", "o'b", "Émile", "zz"};
    for (const QString &text : texts) {
        QList<double> screenTimes;
        QList<double> countTimes;
        qsizetype shown = 0;
        qsizetype counted = 0;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            if (!store.start(text))
                return 1;
            Result<QList<qint64>> keys = store.nextKeys(100);
            Result<QList<SearchRow>> rows = store.rows(keys.valueOr({}));
            screenTimes << timer.nsecsElapsed() / 1e6;
            shown = rows ? rows->size() : 0;
            counted = keys.valueOr({}).size();
            while (store.searching())
                counted += store.nextKeys(5000).valueOr({}).size();
            countTimes << timer.nsecsElapsed() / 1e6;
        }
        std::printf("search_ms %s|%.2f|%lld\n", qPrintable(text), median(screenTimes), qlonglong(shown));
        std::printf("search_count_ms %s|%.2f|%lld\n", qPrintable(text), median(countTimes), qlonglong(counted));
    }
    for (const QString &step : store.queryPlan(QStringLiteral("Mü")).valueOr({}))
        std::printf("  plan: %s\n", qPrintable(step));
    return 0;
}

// Copies the database into the data folder (the step changes it).
void copyIntoDataFolder(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    const QString live = liveDatabasePath();
    QFile::remove(live);
    QFile::copy(database, live);
}

int stepBackup(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    const QString folder = work + "/backup";
    QDir().mkpath(folder);
    QElapsedTimer timer;
    timer.start();
    const backup::BackupResult result = backup::writeBackup(folder);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!result) {
        std::fprintf(stderr, "backup failed: %s\n", qPrintable(result.error().description));
        return 1;
    }
    std::printf("backup_ms %.1f\nbackup_bytes %lld\nbackup_records %lld\nbackup_peak_mb %.1f\n", ms,
                QFileInfo(result->filePath).size(), result->written[0] + result->written[1] + result->written[2],
                peakMegabytes());
    return 0;
}

int stepRestore(const QString &work, const QString &database)
{
    copyIntoDataFolder(work, database);
    const QString folder = work + "/backup";
    QElapsedTimer timer;
    timer.start();
    const backup::RestoreResult result = backup::restoreBackup(folder, backup::RestoreMode::DeleteFirst);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (!result || result->status != backup::RestoreStatus::Done) {
        std::fprintf(stderr, "restore failed: %s\n",
                     qPrintable(result ? result->message() : result.error().description));
        return 1;
    }
    std::printf("restore_ms %.1f\nrestore_records %lld\nrestore_rejected %lld\nrestore_peak_mb %.1f\n", ms,
                result->restored[0] + result->restored[1] + result->restored[2], result->rejected, peakMegabytes());
    return 0;
}

int stepReport(const QString &work, const QString &database)
{
    pointDataFolderAt(work, database);
    const QString pdf = work + "/call-history.pdf";
    QElapsedTimer timer;
    timer.start();
    const Status written = report::writeReportPdf(2, pdf);
    if (!written) {
        std::fprintf(stderr, "report failed: %s\n", qPrintable(written.error().description));
        return 1;
    }
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("report_ms %.1f\nreport_cpu_s %.1f\nreport_pdf_bytes %lld\nreport_peak_mb %.1f\n",
                timer.nsecsElapsed() / 1e6, cpu, QFileInfo(pdf).size(), peakMegabytes());
    return 0;
}

// Runs a shell command and returns its wall time in milliseconds (-1 on failure).
double timeShell(const QString &command)
{
    QElapsedTimer timer;
    timer.start();
    const int status = QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
    return status == 0 ? timer.nsecsElapsed() / 1e6 : -1.0;
}

QString quoted(const QString &path)
{
    return QLatin1Char('\'') + QString(path).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
}

struct Figure {
    QString name;
    QString value;
};

QList<Figure> runChild(const QString &step, const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList all = {"--step", step};
    all += arguments;
    child.start(QCoreApplication::applicationFilePath(), all);
    child.waitForFinished(-1);
    QList<Figure> figures;
    const QString output = QString::fromUtf8(child.readAllStandardOutput());
    for (const QString &line : output.split('\n', Qt::SkipEmptyParts)) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0 && !line.startsWith(' '))
            figures.append({line.left(space), line.mid(space + 1)});
        else
            std::printf("%s\n", qPrintable(line));
    }
    if (child.exitCode() != 0)
        std::fprintf(stderr, "step %s failed with exit code %d\n", qPrintable(step), child.exitCode());
    return figures;
}

QString figure(const QList<Figure> &figures, const QString &name)
{
    for (const Figure &f : figures) {
        if (f.name == name)
            return f.value;
    }
    return QStringLiteral("?");
}

QString ensureDatabase(const QString &work, const QString &name, qint64 contacts, qint64 callsPerContact,
                       bool spreadCalls = false)
{
    const QString path = QStringLiteral("%1/%2-%3x%4.sqlite").arg(work, name).arg(contacts).arg(callsPerContact);
    if (QFileInfo::exists(path))
        return path;
    std::printf("generating %s (%lld contacts, %lld calls) ...\n", qPrintable(path), contacts, contacts * callsPerContact);
    std::fflush(stdout);
    GeneratorOptions options;
    options.contacts = contacts;
    options.callsPerContact = callsPerContact;
    options.spreadCalls = spreadCalls;
    QString error;
    if (!generateDatabase(path, options, &error)) {
        std::fprintf(stderr, "cannot generate %s: %s\n", qPrintable(path), qPrintable(error));
        return {};
    }
    return path;
}

// Backup and restore of a database of `contacts` contacts with five calls
// each, beside the sqlite3 shell's .dump and the loading of that dump.
bool benchBackupAndRestore(const QString &work, qint64 contacts)
{
    const QString backupDb = ensureDatabase(work, "backup-spread", contacts, 5, true);
    if (backupDb.isEmpty())
        return false;
    // What earlier steps (or an earlier run) left for the disk to write is
    // written first, so that neither side of a pair waits behind it.
    ::sync();
    const QList<Figure> backupFigures = runChild("backup", {"--work", work, "--db", backupDb});
    // Like the backup, which replaces the file of the run before, the dump
    // replaces its own earlier output (the shell truncates it).
    const QString dump = work + "/dump.sql";
    const double dumpMs = timeShell(QStringLiteral("sqlite3 %1 .dump > %2").arg(quoted(backupDb), quoted(dump)));
    const double backupMs = figure(backupFigures, "backup_ms").toDouble();
    std::printf("backup (%s records, %s bytes): %.0f ms, peak %s MB; sqlite3 .dump: %.0f ms (%lld bytes); "
                "ratio %.2f (target <= 0.6, peak < 400 MB)\n",
                qPrintable(figure(backupFigures, "backup_records")), qPrintable(figure(backupFigures, "backup_bytes")),
                backupMs, qPrintable(figure(backupFigures, "backup_peak_mb")), dumpMs, QFileInfo(dump).size(),
                dumpMs > 0 ? backupMs / dumpMs : 0.0);
    std::fflush(stdout);

    ::sync();
    const QList<Figure> restoreFigures = runChild("restore", {"--work", work, "--db", backupDb});
    const QString loaded = work + "/loaded.sqlite";
    QFile::remove(loaded);
    const double loadMs = timeShell(QStringLiteral("sqlite3 %1 < %2").arg(quoted(loaded), quoted(dump)));
    const double restoreMs = figure(restoreFigures, "restore_ms").toDouble();
    std::printf("restore, delete first (%s records, %s rejected): %.0f ms, peak %s MB; sqlite3 loading the dump: %.0f ms; "
                "ratio %.2f (target <= 0.75, peak < 400 MB)\n",
                qPrintable(figure(restoreFigures, "restore_records")), qPrintable(figure(restoreFigures, "restore_rejected")),
                restoreMs, qPrintable(figure(restoreFigures, "restore_peak_mb")), loadMs,
                loadMs > 0 ? restoreMs / loadMs : 0.0);
    std::fflush(stdout);
    QFile::remove(loaded);
    QFile::remove(dump);
    return true;
}
} // namespace

int runBenchmarks(int argc, char *argv[])
{
    g_processClock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const QByteArray runtime = QFile::encodeName(QDir::tempPath() + "/corvanta-bench-runtime");
        QDir().mkpath(QString::fromLocal8Bit(runtime));
        QFile::setPermissions(QString::fromLocal8Bit(runtime), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime);
    }
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({
        {"step", "Internal: run one step.", "name"},
        {"db", "Internal: database of the step.", "path"},
        {"work", "Folder for the generated databases and files.", "dir", "/tmp/corvanta-bench"},
        {"contacts", "Contacts of the start-up, list and search database.", "n", "1000000"},
        {"calls-per-contact", "Calls per contact of that database.", "n", "5"},
        {"backup-contacts", "Contacts of the backup and restore databases, one run per size.", "n,n", "200000,1000000"},
        {"report-calls", "Calls of the report databases, one run per size (5000000 for the target).", "n,n", "100000"},
        {"backup-only", "Run only the backup and restore figures."},
        {"report-only", "Run only the report figure."},
    });
    parser.addHelpOption();
    parser.process(app);
    const QString work = parser.value("work");
    QDir().mkpath(work);

    if (parser.isSet("step")) {
        const QString step = parser.value("step");
        const QString database = parser.value("db");
        if (step == "startup")
            return stepStartup(work, database);
        if (step == "list")
            return stepList(work, database);
        if (step == "search")
            return stepSearch(work, database);
        if (step == "sort")
            return stepSort(work, database);
        if (step == "backup")
            return stepBackup(work, database);
        if (step == "restore")
            return stepRestore(work, database);
        if (step == "report")
            return stepReport(work, database);
        std::fprintf(stderr, "unknown step %s\n", qPrintable(step));
        return 2;
    }

    if (!parser.isSet("backup-only") && !parser.isSet("report-only")) {
        const QString big = ensureDatabase(work, "big", parser.value("contacts").toLongLong(),
                                           parser.value("calls-per-contact").toLongLong());
        if (big.isEmpty())
            return 1;
        const QList<Figure> startup = runChild("startup", {"--work", work, "--db", big});
        std::printf("start-up to a shown main window (%s contacts): %s ms, peak memory %s MB (target < 1000 ms, < 300 MB)\n",
                    qPrintable(figure(startup, "startup_rows")), qPrintable(figure(startup, "startup_ms")),
                    qPrintable(figure(startup, "startup_peak_mb")));
        const QList<Figure> list = runChild("list", {"--work", work, "--db", big});
        std::printf("listContacts (%s contacts): %s ms median of 7 (target < 100 ms)\n",
                    qPrintable(figure(list, "list_rows")), qPrintable(figure(list, "list_ms")));
        std::fflush(stdout);
        for (const Figure &f : runChild("sort", {"--work", work, "--db", big})) {
            const QStringList parts = f.value.split('|');
            if (f.name == "sort_ms" && parts.size() == 3)
                std::printf("sort the list by %s (%s contacts): %s ms to the first screen with the current contact "
                            "selected, %s ms to the last row (target < 100 ms)\n",
                            qPrintable(parts[0]), qPrintable(figure(list, "list_rows")), qPrintable(parts[1]),
                            qPrintable(parts[2]));
        }
        std::fflush(stdout);
        const QList<Figure> searchFigures = runChild("search", {"--work", work, "--db", big});
        for (const Figure &f : searchFigures) {
            const QStringList parts = f.value.split('|');
            if (f.name == "search_ms" && parts.size() == 3)
                std::printf("search \"%s\" over 17 fields: %s ms to the first screen (%s rows shown; target < 50 ms)\n",
                            qPrintable(parts[0]), qPrintable(parts[1]), qPrintable(parts[2]));
            if (f.name == "search_count_ms" && parts.size() == 3)
                std::printf("search \"%s\": %s ms until all %s results are counted (the list grows meanwhile)\n",
                            qPrintable(parts[0]), qPrintable(parts[1]), qPrintable(parts[2]));
        }
        std::fflush(stdout);
    }

    // Backup and restore at each size: the everyday one and a large one of
    // a million contacts and five million calls (a file of about 1 GB).
    const QStringList backupSizes = parser.isSet("report-only")
        ? QStringList()
        : parser.value("backup-contacts").split(QLatin1Char(','), Qt::SkipEmptyParts);
    for (const QString &size : backupSizes) {
        if (!benchBackupAndRestore(work, size.toLongLong()))
            return 1;
    }
    if (parser.isSet("backup-only"))
        return 0;

    // One line per size: the everyday 100,000 calls and, when asked, the
    // 5,000,000 of the target (its database takes minutes to generate once).
    for (const QString &size : parser.value("report-calls").split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const qint64 reportCalls = size.toLongLong();
        const QString reportDb = ensureDatabase(work, "report", std::max<qint64>(1, reportCalls / 5), 5);
        if (reportDb.isEmpty())
            return 1;
        const QList<Figure> reportFigures = runChild("report", {"--work", work, "--db", reportDb});
        std::printf("\"Call History\" over %lld calls to PDF: %s ms, %s s of CPU, peak memory %s MB, %s bytes "
                    "(target < 60 s at 5,000,000 calls, < 400 MB at any size)\n",
                    reportCalls, qPrintable(figure(reportFigures, "report_ms")),
                    qPrintable(figure(reportFigures, "report_cpu_s")),
                    qPrintable(figure(reportFigures, "report_peak_mb")),
                    qPrintable(figure(reportFigures, "report_pdf_bytes")));
    }
    return 0;
}
