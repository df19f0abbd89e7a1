#include "BenchSteps.h"

#include "DataGenerator.h"
#include "contacts/ContactListModel.h"
#include "contacts/Form1.h"
#include "frame/Database.h"
#include "frame/MessageService.h"
#include "frame/Paths.h"

#include <QApplication>
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

QString ensureDatabase(const QString &work, const QString &name, qint64 contacts, qint64 callsPerContact)
{
    const QString path = QStringLiteral("%1/%2-%3x%4.sqlite").arg(work, name).arg(contacts).arg(callsPerContact);
    if (QFileInfo::exists(path))
        return path;
    std::printf("generating %s (%lld contacts, %lld calls) ...\n", qPrintable(path), contacts, contacts * callsPerContact);
    std::fflush(stdout);
    GeneratorOptions options;
    options.contacts = contacts;
    options.callsPerContact = callsPerContact;
    QString error;
    if (!generateDatabase(path, options, &error)) {
        std::fprintf(stderr, "cannot generate %s: %s\n", qPrintable(path), qPrintable(error));
        return {};
    }
    return path;
}
} // namespace

int runBenchmarks(int argc, char *argv[])
{
    g_processClock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOptions({
        {"step", "Internal: run one step.", "name"},
        {"db", "Internal: database of the step.", "path"},
        {"work", "Folder for the generated databases and files.", "dir", "/tmp/corvanta-bench"},
        {"contacts", "Contacts of the start-up, list and search database.", "n", "1000000"},
        {"calls-per-contact", "Calls per contact of that database.", "n", "5"},
        {"backup-contacts", "Contacts of the backup and restore database.", "n", "200000"},
        {"report-calls", "Calls of the report database.", "n", "100000"},
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
        std::fprintf(stderr, "unknown step %s\n", qPrintable(step));
        return 2;
    }

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
    return 0;
}
