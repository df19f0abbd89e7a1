// The data folder as users leave it: log files of a deleted database, an
// empty database file, a folder or file without write permission, a
// settings file that cannot be written, a shell without XDG_RUNTIME_DIR.

#include "support/TestSupport.h"

#include "cli/CommandLine.h"
#include "contacts/Form1.h"
#include "base/Paths.h"
#include "frame/Settings.h"
#include "reference/Form5.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTextStream>
#include <QtTest>

#include <unistd.h>

namespace {
struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run run(const QStringList &arguments)
{
    Run result;
    QString input;
    QTextStream out(&result.out);
    QTextStream err(&result.err);
    QTextStream in(&input);
    result.status = runCommandLine(arguments, {&out, &err, &in, false, false});
    out.flush();
    err.flush();
    return result;
}

// The real program, as the user nobody when the test runs as root (root
// ignores permissions), with XDG_RUNTIME_DIR left out of its environment.
Run runProgram(const QStringList &arguments, bool asAnotherUser)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    // A home the other user may use (the temporary root above the data).
    const QString home = QFileInfo(qEnvironmentVariable("XDG_DATA_HOME")).absolutePath();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/cache"));
    program.setProcessEnvironment(environment);
    if (asAnotherUser && ::geteuid() == 0)
        program.start(QStringLiteral("setpriv"), QStringList{"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                                            QStringLiteral(CORVANTA_BINARY)}
                                                     + arguments);
    else
        program.start(QStringLiteral(CORVANTA_BINARY), arguments);
    program.closeWriteChannel();
    Run result;
    if (!program.waitForFinished(60000))
        return result;
    result.status = program.exitCode();
    result.out = QString::fromUtf8(program.readAllStandardOutput());
    result.err = QString::fromUtf8(program.readAllStandardError());
    return result;
}

QString integrity(const QString &path)
{
    QSqlDatabase db = TestData::openFile(path);
    const QString answer = TestData::scalar(db, "PRAGMA integrity_check").toString();
    const QString tables = TestData::scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                                                "('Contacts', 'Calls', 'Contact Types')")
                               .toString();
    TestData::close(db);
    return answer + QLatin1Char('/') + tables;
}

// Log files of another database, with pages that were never checkpointed.
void leaveStaleLogs(const QString &scratch)
{
    static int made = 0;
    const QString other = scratch + QStringLiteral("/other-%1.sqlite").arg(++made);
    QSqlDatabase db = TestData::openFile(other, true);
    QSqlQuery query(db);
    QVERIFY(query.exec("PRAGMA wal_autocheckpoint=0"));
    QVERIFY(query.exec("CREATE TABLE Filler (Text TEXT)"));
    for (int i = 0; i < 200; ++i)
        QVERIFY(query.exec(QStringLiteral("INSERT INTO Filler VALUES ('%1')").arg(QString(500, QLatin1Char('x')))));
    QVERIFY(QFile::copy(other + QStringLiteral("-wal"), liveDatabasePath() + QStringLiteral("-wal")));
    QVERIFY(QFile::copy(other + QStringLiteral("-shm"), liveDatabasePath() + QStringLiteral("-shm")));
    query.finish();
    TestData::close(db);
}

QStringList movedAside()
{
    return QDir(dataFolder()).entryList({QStringLiteral("dbData.sqlite-*.moved-*")}, QDir::Files, QDir::Name);
}
} // namespace

class DataFolderTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env.reset();
        MessageService::setInstance(&env.messages);
    }

    void staleLogsAreMovedAsideBeforeTheFirstDatabase();
    void emptyDatabaseFileIsReplacedWithOneMessage();
    void readOnlyDatabaseIsReadAndNeverWritten_data();
    void readOnlyDatabaseIsReadAndNeverWritten();
    void captionsThatCannotBeSavedAreNamedOnce();
    void commandsPrintOnlyTheirOwnMessages();

private:
    IsolatedEnvironment env;
};

void DataFolderTest::staleLogsAreMovedAsideBeforeTheFirstDatabase()
{
    // The command line.
    QDir().mkpath(dataFolder());
    leaveStaleLogs(env.root());
    const QString csv = env.root() + QStringLiteral("/out.csv");
    Run first = run({"export", "--csv", csv});
    QCOMPARE(first.status, 0);
    QVERIFY2(first.err.contains(QLatin1String("Log files of a deleted database were left in")), qPrintable(first.err));
    QCOMPARE(movedAside().size(), 2);
    QCOMPARE(integrity(liveDatabasePath()), QStringLiteral("ok/3"));
    // Said once: the next command finds nothing to move.
    QCOMPARE(run({"export", "--csv", csv}).err, QString());

    // The window says the same.
    env.reset();
    QDir().mkpath(dataFolder());
    leaveStaleLogs(env.root());
    // A command in this process leaves no message service behind.
    MessageService::setInstance(&env.messages);
    {
        Form1 window;
        QCOMPARE(env.messages.informations().size(), 1);
        QVERIFY2(env.messages.informations().first().startsWith(QLatin1String("Log files of a deleted database")),
                 qPrintable(env.messages.informations().first()));
        QVERIFY(env.messages.errors().isEmpty());
    }
    QCOMPARE(movedAside().size(), 2);
    QCOMPARE(integrity(liveDatabasePath()), QStringLiteral("ok/3"));
}

void DataFolderTest::emptyDatabaseFileIsReplacedWithOneMessage()
{
    const QString expected = QStringLiteral("The database file %1 was empty (0 bytes), as a failed copy leaves it; "
                                            "a new database was made in its place.")
                                 .arg(liveDatabasePath());
    QDir().mkpath(dataFolder());
    QFile empty(liveDatabasePath());
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    const Run exported = run({"export", "--csv", env.root() + QStringLiteral("/out.csv")});
    QCOMPARE(exported.status, 0);
    QCOMPARE(exported.err, QStringLiteral("corvanta: ") + expected + QLatin1Char('\n'));
    QCOMPARE(integrity(liveDatabasePath()), QStringLiteral("ok/3"));

    env.reset();
    QDir().mkpath(dataFolder());
    QVERIFY(empty.open(QIODevice::WriteOnly));
    empty.close();
    // A command in this process leaves no message service behind.
    MessageService::setInstance(&env.messages);
    {
        Form1 window;
        QCOMPARE(env.messages.informations(), QStringList{expected});
        QVERIFY(env.messages.errors().isEmpty());
    }
    QCOMPARE(integrity(liveDatabasePath()), QStringLiteral("ok/3"));
}

void DataFolderTest::readOnlyDatabaseIsReadAndNeverWritten_data()
{
    QTest::addColumn<bool>("folderWritable");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only folder") << false << QStringLiteral("you have no permission to write in its folder");
    QTest::newRow("read-only file") << true << QStringLiteral("you have no permission to write the file");
}

void DataFolderTest::readOnlyDatabaseIsReadAndNeverWritten()
{
    QFETCH(bool, folderWritable);
    QFETCH(QString, reason);
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}, {"ContactTypeID", type}});
    TestData::close(db);
    // The other user reaches the folders; only the data is closed to it.
    const QString out = env.root() + QStringLiteral("/out");
    QDir().mkpath(out);
    QDir().mkpath(env.root() + QStringLiteral("/config"));
    const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::WriteOther
        | QFile::ExeOther;
    for (const QString &folder : {env.root(), env.root() + QStringLiteral("/data"), quillmarkFolder(), out,
                                  env.root() + QStringLiteral("/config")})
        QVERIFY(QFile::setPermissions(folder, open));
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QVERIFY(QFile::setPermissions(dataFolder(), folderWritable ? open : readOnly));
    QVERIFY(QFile::setPermissions(liveDatabasePath(), QFile::ReadOwner | QFile::ReadOther
                                                          | (folderWritable ? QFile::Permissions() : QFile::WriteOther)));

    // Reading commands work.
    const Run exported = runProgram({"export", "--csv", out + QStringLiteral("/all.csv")}, true);
    QVERIFY2(exported.status == 0, qPrintable(exported.err));
    QFile csv(out + QStringLiteral("/all.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().contains("Ann"));
    const Run backedUp = runProgram({"backup", out}, true);
    QVERIFY2(backedUp.status == 0, qPrintable(backedUp.err));
    QFile backupFile(out + QStringLiteral("/BackupDB.txt"));
    QVERIFY(backupFile.open(QIODevice::ReadOnly));
    QVERIFY(backupFile.readAll().contains("'Ann ', 'Lee '"));

    // Writing commands say why they cannot.
    for (const QStringList &arguments : {QStringList{"restore", out, "--append"},
                                         QStringList{"import", out + QStringLiteral("/all.csv"), "--on-duplicate", "add"}}) {
        const Run refused = runProgram(arguments, true);
        QCOMPARE(refused.status, 1);
        QVERIFY2(refused.err.startsWith(QStringLiteral("corvanta: The database is read-only: ") + reason),
                 qPrintable(refused.err));
        QVERIFY2(refused.err.endsWith(QLatin1String("Nothing was changed.\n")), qPrintable(refused.err));
    }
    QVERIFY(QFile::setPermissions(dataFolder(), open));
    QVERIFY(QFile::setPermissions(liveDatabasePath(), QFile::ReadOwner | QFile::WriteOwner));
    db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    TestData::close(db);
}

void DataFolderTest::captionsThatCannotBeSavedAreNamedOnce()
{
    // A folder where the settings file belongs: it cannot be written, not
    // even by root.
    QVERIFY(QDir().mkpath(settingsFilePath()));
    QStringList captions;
    for (int i = 0; i < kLabelCount; ++i)
        captions << QStringLiteral("Caption %1").arg(i);
    {
        // Opened and closed without a change: nothing to say.
        Form5 labels(captions);
        labels.show();
        labels.close();
        QVERIFY(env.messages.shown.isEmpty());
    }
    Form5 labels(captions);
    labels.show();
    labels.box(3)->setText(QStringLiteral("Mobile"));
    labels.box(4)->setText(QStringLiteral("Fax"));
    QVERIFY(env.messages.shown.isEmpty());
    labels.close();
    QCOMPARE(env.messages.informations(),
             QStringList{QStringLiteral("The captions could not be saved: the settings file %1 cannot be written. "
                                        "They are lost when Corvanta ends.")
                             .arg(settingsFilePath())});
}

void DataFolderTest::commandsPrintOnlyTheirOwnMessages()
{
    const Run version = runProgram({"--version"}, false);
    QCOMPARE(version.status, 0);
    QCOMPARE(version.err, QString());
    QVERIFY(version.out.startsWith(QLatin1String("corvanta 1.")));
    const Run exported = runProgram({"export", "--csv", env.root() + QStringLiteral("/out.csv")}, false);
    QCOMPARE(exported.status, 0);
    QCOMPARE(exported.err, QString());
}

QTEST_MAIN(DataFolderTest)
#include "tst_data_folder.moc"
