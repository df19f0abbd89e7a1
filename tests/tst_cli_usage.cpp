#include "support/TestSupport.h"

#include "frame/DisplayPlatform.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>
#include <csignal>
#include <unistd.h>

namespace {
struct Outcome {
    bool finished = false;
    bool crashed = false;
    int status = -1;
    QString out;
    QString err;
};

// The real program as a child process, without a terminal.
Outcome runProgram(const QStringList &arguments, const QProcessEnvironment &environment,
                   const QString &folder = QString())
{
    QProcess program;
    QProcessEnvironment withRuntime = environment;
    // Qt wants a private runtime folder; without one it warns on standard error.
    const QString runtime = QDir::tempPath() + QStringLiteral("/corvanta-cli-runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    withRuntime.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    program.setProcessEnvironment(withRuntime);
    program.setWorkingDirectory(folder);
    program.start(QStringLiteral(CORVANTA_BINARY), arguments);
    program.closeWriteChannel();
    Outcome outcome;
    outcome.finished = program.waitForFinished(60000);
    if (!outcome.finished) {
        // It opened the windows instead of answering.
        program.kill();
        program.waitForFinished();
    }
    outcome.crashed = program.exitStatus() == QProcess::CrashExit;
    outcome.status = program.exitCode();
    outcome.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    outcome.err = QString::fromLocal8Bit(program.readAllStandardError());
    return outcome;
}

QProcessEnvironment withoutDisplay()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.remove(QStringLiteral("XDG_SESSION_TYPE"));
    return environment;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
} // namespace

class CliUsageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void unknownOptionsAreUsageErrors_data();
    void unknownOptionsAreUsageErrors();
    void eachCommandExplainsItself_data();
    void eachCommandExplainsItself();
    void windowsWithoutDisplayEndWithAMessage_data();
    void windowsWithoutDisplayEndWithAMessage();
    void commandsNeverTouchTheDisplay();
    void windowsStartOnAFreshVirtualDisplay();
    void platformChoiceFollowsQtOrder();

private:
    IsolatedEnvironment env;
};

void CliUsageTest::unknownOptionsAreUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");
    QTest::newRow("--verison") << QStringList{"--verison"} << "unknown option --verison.";
    QTest::newRow("-v") << QStringList{"-v"} << "unknown option -v.";
    QTest::newRow("--bogus") << QStringList{"--bogus"} << "unknown option --bogus.";
    QTest::newRow("Qt's own option") << QStringList{"-platform", "xcb"} << "unknown option -platform.";
    QTest::newRow("--version extra") << QStringList{"--version", "extra"} << "--version takes no arguments.";
    QTest::newRow("--help extra") << QStringList{"--help", "backup"} << "--help takes no arguments.";
    QTest::newRow("backup --bogus") << QStringList{"backup", "--bogus"} << "unknown option --bogus.";
    QTest::newRow("unknown command") << QStringList{"Ünknown"} << "unknown command Ünknown.";
}

void CliUsageTest::unknownOptionsAreUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    // Even with a display at hand the program answers and opens no window.
    const Outcome outcome = runProgram(arguments, QProcessEnvironment::systemEnvironment());
    QVERIFY2(outcome.finished, "the program opened its windows");
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.err.startsWith(QStringLiteral("corvanta: ") + problem), qPrintable(outcome.err));
    QVERIFY(outcome.err.contains(QLatin1String("Usage:")));
    QVERIFY(outcome.out.isEmpty());
    // Nothing was made in the data folder.
    QVERIFY(!QFile::exists(env.root() + QStringLiteral("/data/Quillmark/Corvanta/dbData.sqlite")));
}

void CliUsageTest::eachCommandExplainsItself_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("usage");
    // Each command prints its own usage only, not its neighbours'.
    QTest::addColumn<QString>("notOthers");
    QTest::newRow("backup --help") << QStringList{"backup", "--help"} << "Usage: corvanta backup FOLDER" << "restore";
    QTest::newRow("backup FOLDER -h") << QStringList{"backup", ".", "-h"} << "Usage: corvanta backup FOLDER"
                                      << "restore";
    QTest::newRow("restore --help") << QStringList{"restore", "--help"} << "Usage: corvanta restore FOLDER"
                                    << "corvanta backup";
    QTest::newRow("restore with options --help")
        << QStringList{"restore", ".", "--delete-first", "--help"} << "Usage: corvanta restore FOLDER"
        << "corvanta backup";
    QTest::newRow("report --help") << QStringList{"report", "--help"} << "Usage: corvanta report 1|2|3 --pdf FILE"
                                   << "corvanta import";
    QTest::newRow("import --help") << QStringList{"import", "--help"} << "Usage: corvanta import FILE"
                                   << "corvanta export";
    QTest::newRow("export --help") << QStringList{"export", "--help"} << "Usage: corvanta export --vcard FILE"
                                   << "corvanta import";
}

void CliUsageTest::eachCommandExplainsItself()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, usage);
    QFETCH(QString, notOthers);
    const Outcome outcome = runProgram(arguments, withoutDisplay(), env.root());
    QVERIFY(outcome.finished);
    QCOMPARE(outcome.status, 0);
    QVERIFY2(outcome.out.contains(usage), qPrintable(outcome.out));
    QVERIFY2(!outcome.out.contains(notOthers), qPrintable(outcome.out));
    QVERIFY2(outcome.err.isEmpty(), qPrintable(outcome.err));
    // Help does nothing else: no backup file, no database.
    QVERIFY(!QFile::exists(env.root() + QStringLiteral("/BackupDB.txt")));
    QVERIFY(!QFile::exists(env.root() + QStringLiteral("/data/Quillmark/Corvanta/dbData.sqlite")));
}

void CliUsageTest::windowsWithoutDisplayEndWithAMessage_data()
{
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("reason");
    QTest::newRow("default platform") << "" << "" << "no X display (DISPLAY is not set)";
    QTest::newRow("xcb") << "xcb" << "" << "no X display (DISPLAY is not set)";
    QTest::newRow("X server gone") << "xcb" << ":3917" << "the X display :3917 does not answer";
    QTest::newRow("wayland") << "wayland" << "" << "wayland";
    QTest::newRow("fallback list") << "wayland;xcb" << "" << "no X display";
    QTest::newRow("no such plugin") << "bogus" << "" << "the Qt platform plugin \"bogus\" is not installed";
}

void CliUsageTest::windowsWithoutDisplayEndWithAMessage()
{
    QFETCH(QString, platform);
    QFETCH(QString, display);
    QFETCH(QString, reason);
    QProcessEnvironment environment = withoutDisplay();
    if (!platform.isEmpty())
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (!display.isEmpty())
        environment.insert(QStringLiteral("DISPLAY"), display);
    const Outcome outcome = runProgram({}, environment);
    QVERIFY2(outcome.finished, "the windows opened");
    QVERIFY2(!outcome.crashed, qPrintable(outcome.err));
    QCOMPARE(outcome.status, 1);
    QVERIFY2(outcome.err.startsWith(QLatin1String("corvanta: cannot open the windows: ")), qPrintable(outcome.err));
    QVERIFY2(outcome.err.contains(reason), qPrintable(outcome.err));
    QVERIFY2(!outcome.err.contains(QLatin1String("Reinstalling")), qPrintable(outcome.err));
    QVERIFY(outcome.err.contains(QLatin1String("corvanta --help")));
}

void CliUsageTest::commandsNeverTouchTheDisplay()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Zoë"}, {"LastName", "D'Souza"}});
    TestData::close(db);
    // Platforms that cannot start here, and one whose display is gone.
    for (const QString &platform : {QStringLiteral("xcb"), QStringLiteral("wayland"), QStringLiteral("bogus")}) {
        QProcessEnvironment environment = withoutDisplay();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":3917"));
        const QString folder = env.root() + QLatin1Char('/') + platform;
        QVERIFY(QDir().mkpath(folder));

        const Outcome backup = runProgram({"backup", folder}, environment);
        QVERIFY2(backup.status == 0 && !backup.crashed, qPrintable(platform + ": " + backup.err));
        QVERIFY(readAll(folder + QStringLiteral("/BackupDB.txt")).contains("Souza"));

        const QString pdf = folder + QStringLiteral("/listing.pdf");
        const Outcome report = runProgram({"report", "1", "--pdf", pdf}, environment);
        QVERIFY2(report.status == 0 && !report.crashed, qPrintable(platform + ": " + report.err));
        QVERIFY(readAll(pdf).startsWith("%PDF"));

        const Outcome version = runProgram({"--version"}, environment);
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith(QLatin1String("corvanta 1.")));
    }
}

void CliUsageTest::windowsStartOnAFreshVirtualDisplay()
{
    if (QStandardPaths::findExecutable(QStringLiteral("xvfb-run")).isEmpty())
        QSKIP("xvfb-run is not installed");
    // A new X server whose first client is the program: the look for a usable
    // display must not leave it resetting when the windows connect.
    QProcess server;
    QProcessEnvironment environment = withoutDisplay();
    const QString runtime = env.root() + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    server.setProcessEnvironment(environment);
    server.setChildProcessModifier([] { ::setsid(); });
    server.start(QStringLiteral("xvfb-run"),
                 {"-a", "-s", "-screen 0 1024x768x24", QStringLiteral(CORVANTA_BINARY)});
    QVERIFY(server.waitForStarted());
    const bool ended = server.waitForFinished(6000);
    const QString err = QString::fromLocal8Bit(server.readAllStandardError());
    if (!ended) {
        ::kill(-pid_t(server.processId()), SIGTERM);
        server.waitForFinished(10000);
    }
    QVERIFY2(!ended, qPrintable(QStringLiteral("the program ended with %1: %2").arg(server.exitCode()).arg(err)));
    QVERIFY2(!err.contains(QLatin1String("could not connect")), qPrintable(err));
}

void CliUsageTest::platformChoiceFollowsQtOrder()
{
    QProcessEnvironment environment = withoutDisplay();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb;offscreen"));
    // The first platform that works, with its options as given.
    QCOMPARE(chooseWindowPlatform(environment).platform, QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:size=640x480"));
    QCOMPARE(chooseWindowPlatform(environment).platform, QStringLiteral("offscreen:size=640x480"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("bogus;xcb"));
    const WindowPlatform none = chooseWindowPlatform(environment);
    QVERIFY(none.platform.isEmpty());
    QCOMPARE(none.problem, QStringLiteral("the Qt platform plugin \"bogus\" is not installed; "
                                          "no X display (DISPLAY is not set)"));
    QVERIFY(installedPlatformPlugins(environment).contains(QStringLiteral("xcb")));
    QVERIFY(!xDisplayAnswers(QStringLiteral(":3917")));

    // Where an X server runs (the test under Xvfb), the default is X11.
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        QSKIP("no X server to compare with");
    QVERIFY(xDisplayAnswers(display));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    environment.insert(QStringLiteral("DISPLAY"), display);
    QCOMPARE(chooseWindowPlatform(environment).platform, QStringLiteral("xcb"));
    // A Wayland session without a Wayland server falls back to X11 as Qt does.
    environment.insert(QStringLiteral("XDG_SESSION_TYPE"), QStringLiteral("wayland"));
    environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-none"));
    QCOMPARE(chooseWindowPlatform(environment).platform, QStringLiteral("xcb"));
}

QTEST_MAIN(CliUsageTest)
#include "tst_cli_usage.moc"
