#include "support/TestSupport.h"

#include "backup/Form6.h"
#include "cli/CommandLine.h"
#include "base/Paths.h"

#include <QDate>
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
    void deleteFirstWithRejectsNeedsAcceptRejects();
    void backupInOneLocaleRestoresInAnother_data();
    void backupInOneLocaleRestoresInAnother();

private:
    IsolatedEnvironment env;
};

void CommandLineTest::helpVersionAndUsageErrors()
{
    const Run help = run({"--help"});
    QCOMPARE(help.status, 0);
    for (const char *line : {"corvanta backup FOLDER", "corvanta restore FOLDER --delete-first|--append [--yes]",
                             "[--accept-rejects]", "corvanta report 1|2|3 --pdf FILE", "corvanta --version"})
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
    QVERIFY2(result.out.contains("1 contact type, 1 contact, 1 call)."), qPrintable(result.out));
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
    QCOMPARE(confirmed.out, QStringLiteral("Done.\nRestored 1 contact type, 1 contact and 1 call; no record was rejected.\n"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    // The apostrophe comes back from the exact texts of the trailing section.
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Calls").toString(), QStringLiteral("It's fine"));

    // The restore is undone: asked on a terminal, refused without one.
    QCOMPARE(run({"restore", "--undo", env.root()}).status, 2);
    const Run noTerminal = run({"restore", "--undo"});
    QCOMPARE(noTerminal.status, 2);
    QVERIFY(noTerminal.err.contains("--yes"));
    const Run declined = run({"restore", "--undo"}, true, "n\n");
    QCOMPARE(declined.status, 1);
    QVERIFY2(declined.err.startsWith("Put back the database as it was before the restore of "), qPrintable(declined.err));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    const Run undone = run({"restore", "--undo"}, true, "y\n");
    QCOMPARE(undone.status, 0);
    QCOMPARE(undone.out, QStringLiteral("Done. The database is as it was before the last restore.\n"));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(FirstName) FROM (SELECT FirstName FROM Contacts ORDER BY "
                                  "ContactID)").toString(),
             QStringLiteral("Ann,Added later"));
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

void CommandLineTest::deleteFirstWithRejectsNeedsAcceptRejects()
{
    QSqlDatabase db = TestData::openLive();
    fill(db);
    QFile file(env.root() + "/BackupDB.txt");
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("TABLE Contact Types\r\n'Friend ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
               "TABLE Calls\r\n1, '3/14/2021', '2:30:00 PM', 'fine ', ' '\r\n"
               "1, '2/30/2021', '2:30:00 PM', 'no such day ', ' '\r\nTABLE END\r\n\r\n");
    file.close();

    // --yes confirms the deletion, not the loss of the rejected record.
    const Run refused = run({"restore", env.root(), "--delete-first", "--yes"});
    QCOMPARE(refused.status, 1);
    QVERIFY2(refused.err.contains("line 10 of the file"), qPrintable(refused.err));
    QVERIFY2(refused.err.contains("--accept-rejects"), qPrintable(refused.err));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(FirstName) FROM Contacts").toString(), QStringLiteral("Ann"));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(Notes) FROM Calls").toString(), QStringLiteral("It's fine"));

    const Run accepted = run({"restore", env.root(), "--delete-first", "--yes", "--accept-rejects"});
    QCOMPARE(accepted.status, 1);
    QVERIFY2(accepted.out.contains("1 record could not be restored."), qPrintable(accepted.out));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 0);
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(Subject) FROM Calls").toString(), QStringLiteral("fine"));
    TestData::close(db);
}

void CommandLineTest::backupInOneLocaleRestoresInAnother_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("reader");
    QTest::newRow("cron without LANG to en_US") << "" << "en_US.UTF-8";
    QTest::newRow("C to en_US") << "C" << "en_US.UTF-8";
    QTest::newRow("de_DE to en_US") << "de_DE.UTF-8" << "en_US.UTF-8";
    QTest::newRow("en_GB to en_US") << "en_GB.UTF-8" << "en_US.UTF-8";
    QTest::newRow("en_US to de_DE") << "en_US.UTF-8" << "de_DE.UTF-8";
    QTest::newRow("en_US to en_GB") << "en_US.UTF-8" << "en_GB.UTF-8";
    QTest::newRow("en_US to C") << "en_US.UTF-8" << "C";
}

void CommandLineTest::backupInOneLocaleRestoresInAnother()
{
    QFETCH(QString, writer);
    QFETCH(QString, reader);
    QSqlDatabase db = TestData::openLive();
    fill(db);
    // Days and months that swap in the day-first forms, times of day on
    // both sides of noon.
    for (int i = 1; i <= 24; ++i) {
        TestData::addContact(db, {{"FirstName", QStringLiteral("P%1").arg(i)},
                                  {"Birthdate", QDate(1930, 1, 1).addDays(i * 1009).toString(Qt::ISODate)}});
        TestData::addCall(db, i + 1, QDate(2001, 1, 1).addDays(i * 311).toString(Qt::ISODate),
                          QTime(0, 0).addSecs(i * 3607).toString("HH:mm:ss"), QStringLiteral("Call %1").arg(i));
    }
    const QString rows = "SELECT group_concat(x, '|') FROM (SELECT ContactID || FirstName || coalesce(Birthdate, '-') AS x "
                         "FROM Contacts UNION ALL SELECT CallID || ContactID || CallDate || CallTime || Subject FROM Calls)";
    const QString before = TestData::scalar(db, rows).toString();

    auto runIn = [&](const QString &locale, const QStringList &arguments) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"LANG", "LC_ALL", "LC_TIME", "LANGUAGE"})
            environment.remove(QLatin1String(name));
        if (!locale.isEmpty()) {
            environment.insert("LC_ALL", locale);
            environment.insert("LANG", locale);
        }
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(CORVANTA_BINARY), arguments);
        program.closeWriteChannel();
        if (!program.waitForFinished(60000))
            return -1;
        return program.exitCode();
    };
    QCOMPARE(runIn(writer, {"backup", env.root()}), 0);
    QVERIFY(readAll(env.root() + "/BackupDB.txt").contains("'3/14/2021', '2:30:00 PM'"));
    TestData::addContact(db, {{"FirstName", "Added later"}});
    QCOMPARE(runIn(reader, {"restore", env.root(), "--delete-first", "--yes"}), 0);
    QCOMPARE(TestData::scalar(db, rows).toString(), before);
    TestData::close(db);
}

QTEST_MAIN(CommandLineTest)
#include "tst_commandline.moc"
