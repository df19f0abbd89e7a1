#include "support/TestSupport.h"

#include "backup/Form6.h"
#include "cli/CommandLine.h"
#include "frame/Paths.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QtTest>

namespace {
struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QStringList &arguments, bool interactive = false, const QString &typed = QString())
{
    Run result;
    QString input = typed;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    QTextStream in(&input);
    result.status = runCommandLine(arguments, {&out, &err, &in, interactive, false});
    out.flush();
    err.flush();
    return result;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void fill(QSqlDatabase &db)
{
    const qint64 type = TestData::addType(db, "Customer");
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}, {"ContactTypeID", type},
                                                 {"Notes", "line one\r\nline two"}, {"Birthdate", "1980-01-31"}});
    TestData::addCall(db, ann, "2021-03-14", "14:30:00", "Pricing", "It's fine");
}
} // namespace

class CommandLineTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void helpVersionAndUsageErrors();
    void backupWritesTheSameFileAsTheWindow();
    void backupOfMissingFolderFails();
    void deleteFirstRestoreRefusesWithoutTerminal();
    void deleteFirstRestoreAsksOnTerminal();
    void appendRestoreAsksNothing();
    void restoreWithoutFileFails();
    void reportWritesPdf();
    void programExitStatus();

private:
    IsolatedEnvironment env;
};

void CommandLineTest::helpVersionAndUsageErrors()
{
    const Run help = run({"--help"});
    QCOMPARE(help.status, 0);
    for (const char *line : {"corvanta backup FOLDER", "corvanta restore FOLDER --delete-first|--append [--yes]",
                             "corvanta report 1|2|3 --pdf FILE", "corvanta --version"})
        QVERIFY2(help.out.contains(QLatin1String(line)), line);
    const Run version = run({"--version"});
    QCOMPARE(version.status, 0);
    QVERIFY(version.out.startsWith("corvanta 1."));
    QCOMPARE(run({"frobnicate"}).status, 2);
    QCOMPARE(run({"backup"}).status, 2);
    QCOMPARE(run({"restore", env.root()}).status, 2);
    QCOMPARE(run({"restore", env.root(), "--append", "--delete-first"}).status, 2);
    QCOMPARE(run({"report", "4", "--pdf", "x.pdf"}).status, 2);
    const Run bad = run({"report", "1"});
    QCOMPARE(bad.status, 2);
    QVERIFY(bad.err.contains("Usage:"));
    QVERIFY(bad.out.isEmpty());
    QVERIFY(!isCommandLineRequest({}));
    QVERIFY(isCommandLineRequest({"backup", "/tmp"}));
}

void CommandLineTest::backupWritesTheSameFileAsTheWindow()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    TestData::close(db);
    const QString byWindow = env.root() + "/window";
    const QString byCommand = env.root() + "/command";
    QDir().mkpath(byWindow);
    QDir().mkpath(byCommand);
    {
        Form6 window;
        auto *folder = window.findChild<QLineEdit *>("Text1");
        folder->setText(byWindow);
        QTest::mouseClick(window.findChild<QPushButton *>("PushButton1"), Qt::LeftButton);
    }
    const Run result = run({"backup", byCommand});
    QCOMPARE(result.status, 0);
    const QByteArray windowFile = readAll(byWindow + "/BackupDB.txt");
    QVERIFY(windowFile.contains("'Ann '"));
    QCOMPARE(readAll(byCommand + "/BackupDB.txt"), windowFile);
    QVERIFY(result.out.contains("1 contacts"));
}

void CommandLineTest::backupOfMissingFolderFails()
{
    const Run result = run({"backup", env.root() + "/no/such/folder"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("does not exist"));
}

void CommandLineTest::deleteFirstRestoreRefusesWithoutTerminal()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    QCOMPARE(run({"backup", env.root()}).status, 0);
    TestData::addContact(db, {{"FirstName", "Added later"}});
    const Run refused = run({"restore", env.root(), "--delete-first"});
    QCOMPARE(refused.status, 2);
    QVERIFY(refused.err.contains("--yes"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    const Run confirmed = run({"restore", env.root(), "--delete-first", "--yes"});
    QCOMPARE(confirmed.status, 0);
    QVERIFY(confirmed.out.startsWith("Done."));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    // The apostrophe comes back from the exact texts of the trailing section.
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Calls").toString(), QStringLiteral("It's fine"));
    TestData::close(db);
}

void CommandLineTest::deleteFirstRestoreAsksOnTerminal()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    QCOMPARE(run({"backup", env.root()}).status, 0);
    TestData::addContact(db, {{"FirstName", "Added later"}});
    const Run declined = run({"restore", env.root(), "--delete-first"}, true, "n\n");
    QCOMPARE(declined.status, 1);
    QVERIFY(declined.err.contains("Are you sure you wish to delete all your data and proceed?"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    const Run accepted = run({"restore", env.root(), "--delete-first"}, true, "y\n");
    QCOMPARE(accepted.status, 0);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    TestData::close(db);
}

void CommandLineTest::appendRestoreAsksNothing()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    QCOMPARE(run({"backup", env.root()}).status, 0);
    const Run appended = run({"restore", env.root(), "--append"});
    QCOMPARE(appended.status, 0);
    QVERIFY(!appended.err.contains("Are you sure"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(DISTINCT ContactID) FROM Calls").toInt(), 2);
    TestData::close(db);
}

void CommandLineTest::restoreWithoutFileFails()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    const QString empty = env.root() + "/empty-folder";
    QDir().mkpath(empty);
    const Run result = run({"restore", empty, "--append"});
    QCOMPARE(result.status, 1);
    QVERIFY(result.err.contains("No file to restore."));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    TestData::close(db);
}

void CommandLineTest::reportWritesPdf()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    TestData::close(db);
    const QString pdf = env.root() + "/history.pdf";
    const Run result = run({"report", "2", "--pdf", pdf});
    QCOMPARE(result.status, 0);
    QVERIFY(readAll(pdf).startsWith("%PDF"));
    const Run failed = run({"report", "1", "--pdf", env.root() + "/no/such/dir/x.pdf"});
    QCOMPARE(failed.status, 1);
    QVERIFY(failed.err.contains("report failed"));
}

void CommandLineTest::programExitStatus()
{
    // The real program, without a terminal: the same data folder and settings.
    QProcess program;
    program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    program.start(QStringLiteral(CORVANTA_BINARY), {"restore", env.root(), "--delete-first"});
    program.closeWriteChannel();
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 2);
    QVERIFY(program.readAllStandardError().contains("refusing to delete"));

    QSqlDatabase db = TestData::openLive();
    fill(db);
    TestData::close(db);
    const QString pdf = env.root() + "/listing.pdf";
    program.start(QStringLiteral(CORVANTA_BINARY), {"report", "1", "--pdf", pdf});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(readAll(pdf).startsWith("%PDF"));
    program.start(QStringLiteral(CORVANTA_BINARY), {"backup", env.root()});
    QVERIFY(program.waitForFinished(60000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(readAll(env.root() + "/BackupDB.txt").contains("'Lee '"));
}

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
