// Damaged backup files and a damaged database: a restore either changes
// nothing and says what is missing, or restores exactly what it reports.
// Also the copy kept before a delete-first restore, and its undo.

#include "support/TestSupport.h"

#include "backup/BackupCheck.h"
#include "backup/BackupFile.h"
#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace backup;

namespace {
QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

QString snapshot(QSqlDatabase &db)
{
    QStringList rows;
    for (const char *sql : {"SELECT * FROM \"Contact Types\" ORDER BY 1", "SELECT * FROM Contacts ORDER BY 1",
                            "SELECT * FROM Calls ORDER BY 1"}) {
        QSqlQuery query(db);
        if (!query.exec(QString::fromLatin1(sql)))
            qFatal("snapshot: %s", qPrintable(query.lastError().text()));
        while (query.next()) {
            QStringList values;
            for (int i = 0; i < query.record().count(); ++i)
                values << (query.isNull(i) ? QStringLiteral("<null>") : query.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
        rows << QStringLiteral("--");
    }
    return rows.join(QLatin1Char('\n'));
}

// Everything up to and including the line that holds `text`, or up to the
// start of that line when `through` is false.
QByteArray cutAt(const QByteArray &file, const QByteArray &text, bool through)
{
    const qsizetype at = file.indexOf(text);
    if (at < 0)
        qFatal("cutAt: %s not in the file", text.constData());
    const qsizetype lineStart = file.lastIndexOf('\n', at) + 1;
    if (!through)
        return file.left(lineStart);
    return file.left(file.indexOf('\n', at) + 1);
}

QByteArray withoutLine(QByteArray file, const QByteArray &text)
{
    const qsizetype at = file.indexOf(text);
    if (at < 0)
        qFatal("withoutLine: %s not in the file", text.constData());
    const qsizetype lineStart = file.lastIndexOf('\n', at) + 1;
    return file.remove(lineStart, file.indexOf('\n', at) + 1 - lineStart);
}
} // namespace

class BackupDamagedTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void incompleteFilesChangeNothing_data();
    void incompleteFilesChangeNothing();
    void completeOlderFileRestoresAndSaysWhat();
    void lineEndsReadAlike();
    void badBytesCostOnlyTheirRecords();
    void appendIntoDamagedDatabaseIsNotDone();
    void deleteFirstRestoreCanBeUndone();
    void uidsTravelWithTheirContacts();

private:
    QString folder() const { return env.root() + QStringLiteral("/backups"); }
    QString file() const { return folder() + QStringLiteral("/BackupDB.txt"); }
    // Two types, three contacts, four calls, and the backup of them.
    QByteArray fillAndBackUp();

    IsolatedEnvironment env;
    QSqlDatabase db;
};

void BackupDamagedTest::init()
{
    env.reset();
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    db = TestData::openLive();
}

void BackupDamagedTest::cleanup()
{
    TestData::close(db);
    QFile::remove(liveDatabasePath());
    QFile::remove(beforeRestorePath());
}

QByteArray BackupDamagedTest::fillAndBackUp()
{
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 supplier = TestData::addType(db, QStringLiteral("Supplier"));
    const qint64 helene = TestData::addContact(db, {{"FirstName", QStringLiteral("Hélène")}, {"LastName", "Dubois"},
                                                    {"ContactTypeID", customer}, {"Notes", "first\r\nsecond"}});
    const qint64 jurgen = TestData::addContact(db, {{"FirstName", QStringLiteral("Jürgen")}, {"LastName", QStringLiteral("Müller")},
                                                    {"ContactTypeID", supplier}});
    TestData::addContact(db, {{"FirstName", QStringLiteral("Zoë")}, {"LastName", "O'Neil"}, {"ContactTypeID", customer}});
    TestData::addCall(db, helene, "2021-03-14", "14:30:00", "Call one");
    TestData::addCall(db, helene, "2021-03-15", "09:05:00", "Call two", "It's fine");
    TestData::addCall(db, jurgen, "2021-04-01", "10:00:00", "Call three");
    TestData::addCall(db, jurgen, "2021-04-02", "11:00:00", "Call four");
    const BackupResult written = writeBackup(folder());
    if (!written.ok())
        qFatal("backup failed: %s", qPrintable(written.error().description));
    return readFile(file());
}

void BackupDamagedTest::incompleteFilesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("cut");
    QTest::addColumn<QString>("message");

    // Built from a real backup in the test itself; the rows name the damage.
    QTest::newRow("cut at a line end") << QByteArray("Call three") << QStringLiteral(
        "The file ends inside the Calls section after record 2; it is incomplete. Nothing was changed.");
    QTest::newRow("cut inside a record") << QByteArray("Call three|half")
                                         << QStringLiteral("The file ends inside the Calls section after record 2; it "
                                                           "is incomplete. Nothing was changed.");
    QTest::newRow("cut after the contacts") << QByteArray("TABLE Calls")
                                            << QStringLiteral("The file ends after the Contacts section: the Calls "
                                                              "section is missing. The file is incomplete. Nothing was "
                                                              "changed.");
    QTest::newRow("end marker missing") << QByteArray("-TABLE END|2")
                                        << QStringLiteral("The Contacts section has no end line (\"TABLE END\"); the "
                                                          "file is damaged. Nothing was changed.");
    QTest::newRow("fewer records than listed") << QByteArray("-Call three")
                                               << QStringLiteral("The Calls section holds 3 records; the list at the "
                                                                 "end of the file names 4. The file is incomplete. "
                                                                 "Nothing was changed.");
    QTest::newRow("cut inside the closing lists") << QByteArray("TEXTS END")
                                                  << QStringLiteral("The file ends inside its closing lists, after "
                                                                    "the Calls section; it is incomplete. Nothing was "
                                                                    "changed.");
}

void BackupDamagedTest::incompleteFilesChangeNothing()
{
    QFETCH(QByteArray, cut);
    QFETCH(QString, message);
    const QByteArray whole = fillAndBackUp();
    QByteArray damaged;
    if (cut == "-TABLE END|2") {
        // The second "TABLE END" ends the Contacts section.
        const qsizetype first = whole.indexOf("TABLE END");
        const qsizetype second = whole.indexOf("TABLE END", first + 1);
        damaged = QByteArray(whole).remove(second, QByteArrayView("TABLE END\r\n").size());
    } else if (cut.startsWith('-')) {
        damaged = withoutLine(whole, cut.mid(1));
    } else if (cut.endsWith("|half")) {
        const QByteArray text = cut.chopped(5);
        damaged = whole.left(whole.indexOf(text) + 4);
    } else {
        damaged = cutAt(whole, cut, false);
    }
    writeFile(file(), damaged);
    // A delete-first restore would empty the tables; an append would add
    // part of the file. Neither happens.
    exec(db, "INSERT INTO Contacts (FirstName) VALUES ('Added later')");
    const QString before = snapshot(db);
    for (const RestoreMode mode : {RestoreMode::DeleteFirst, RestoreMode::Append}) {
        const RestoreResult result = restoreBackup(folder(), mode);
        QCOMPARE(result->status, RestoreStatus::Incomplete);
        QCOMPARE(result->message(), message);
        QCOMPARE(snapshot(db), before);
    }
    QVERIFY(!QFileInfo::exists(beforeRestorePath()));

    // Counts in messages are grouped as the user reads them.
    QCOMPARE(groupedCount(5012), QStringLiteral("5,012"));
    QCOMPARE(groupedCount(1234567), QStringLiteral("1,234,567"));
    QCOMPARE(groupedCount(999), QStringLiteral("999"));
}

void BackupDamagedTest::completeOlderFileRestoresAndSaysWhat()
{
    // As an older installation wrote it: no trailing section at all.
    writeFile(file(), "TABLE Contact Types\r\n'Customer ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\n"
                      "'Ann ', 'Lee ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
                      "' ', 1, ' ', ' ', ' ', ' ', Null, ' ', ' ', ' '\r\n"
                      "TABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'Review ', ' '\r\n"
                      "1, '3/15/2021', '9:05:00 AM', 'Follow-up ', ' '\r\n"
                      "TABLE END\r\n\r\n");
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->message(),
             QStringLiteral("Done.\nRestored 1 contact type, 1 contact and 2 calls; no record was rejected."));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = 1").toInt(), 2);
}

void BackupDamagedTest::lineEndsReadAlike()
{
    const QByteArray crLf = fillAndBackUp();
    const QString before = snapshot(db);
    QByteArray lf = crLf;
    lf.replace("\r\n", "\n");
    QByteArray cr = crLf;
    cr.replace("\r\n", "\r");
    for (const QByteArray &variant : {crLf, lf, cr}) {
        writeFile(file(), variant);
        exec(db, "DELETE FROM Calls");
        const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
        QCOMPARE(result->message(),
                 QStringLiteral("Done.\nRestored 2 contact types, 3 contacts and 4 calls; no record was rejected."));
        QCOMPARE(snapshot(db), before);
    }
}

void BackupDamagedTest::badBytesCostOnlyTheirRecords()
{
    const QByteArray good = fillAndBackUp();
    // Jürgen's line gets one Windows-1252 byte: the rest stays UTF-8.
    QByteArray damaged = good;
    const qsizetype at = damaged.indexOf(QStringLiteral("Müller").toUtf8());
    QVERIFY(at > 0);
    damaged.replace(at + 1, 2, "\xFC");
    writeFile(file(), damaged);
    exec(db, "INSERT INTO Contacts (FirstName) VALUES ('Kept')");
    const QString before = snapshot(db);

    // Not accepted: the delete-first restore is rolled back whole.
    qint64 asked = 0;
    QList<RejectedRecord> rejected;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) { rejected << record; };
    callbacks.acceptRejects = [&](qint64 count) {
        asked = count;
        return false;
    };
    RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks);
    QCOMPARE(result->status, RestoreStatus::Declined);
    QCOMPARE(asked, 1);
    QCOMPARE(snapshot(db), before);
    QCOMPARE(rejected.size(), 1);
    QCOMPARE(rejected.first().table, BackupTable::Contacts);
    QCOMPARE(rejected.first().reason, QStringLiteral("The line holds bytes that are not UTF-8."));

    // Accepted: every other record comes back as UTF-8, accents intact.
    callbacks.acceptRejects = [](qint64) { return true; };
    result = restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks);
    QCOMPARE(result->status, RestoreStatus::Done);
    QVERIFY2(result->message().startsWith(
                 QStringLiteral("Done.\nRestored 2 contact types, 2 contacts and 4 calls; 1 record could not be restored.")),
             qPrintable(result->message()));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(FirstName || ' ' || LastName, ',') FROM Contacts ORDER BY 1")
                 .toString(),
             QStringLiteral("Hélène Dubois,Zoë O'Neil"));
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts WHERE FirstName = 'Hélène'").toString(),
             QStringLiteral("first\r\nsecond"));
}

void BackupDamagedTest::appendIntoDamagedDatabaseIsNotDone()
{
    fillAndBackUp();
    // A database that takes rows and does not keep them.
    exec(db, "CREATE TRIGGER lose_calls AFTER INSERT ON Calls BEGIN DELETE FROM Calls WHERE CallID = NEW.CallID; END");
    const QString before = snapshot(db);
    const RestoreResult result = restoreBackup(folder(), RestoreMode::Append);
    QVERIFY(!result);
    QCOMPARE(result.error().description, QStringLiteral("The table Calls holds 0 rows more than before where 4 were restored; the "
                                          "database may be damaged. The restore was undone: nothing was changed."));
    QCOMPARE(snapshot(db), before);
}

void BackupDamagedTest::deleteFirstRestoreCanBeUndone()
{
    QVERIFY(!lastRestoreCopy());
    QVERIFY(!undoLastRestore());
    fillAndBackUp();
    const QString backedUp = snapshot(db);
    exec(db, "INSERT INTO Contacts (FirstName) VALUES ('Added after the backup')");
    exec(db, "UPDATE Calls SET Subject = 'Changed' WHERE CallID = 1");
    const QString beforeRestore = snapshot(db);

    // An append keeps no copy: nothing of the data is deleted.
    QCOMPARE(restoreBackup(folder(), RestoreMode::Append)->status, RestoreStatus::Done);
    QVERIFY(!lastRestoreCopy());
    exec(db, "DELETE FROM Calls WHERE CallID > 4");
    exec(db, "DELETE FROM Contacts WHERE ContactID > 4");
    exec(db, "DELETE FROM \"Contact Types\" WHERE ContactTypeID > 2");
    QCOMPARE(snapshot(db), beforeRestore);

    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->status, RestoreStatus::Done);
    QCOMPARE(snapshot(db), backedUp);
    const Result<UndoCopy> copy = lastRestoreCopy();
    QVERIFY(copy);
    QCOMPARE(copy->path, beforeRestorePath());
    QVERIFY(!QFileInfo::exists(beforeRestorePath() + QStringLiteral(".part")));

    // A refused restore leaves the copy of the last real one alone.
    writeFile(file(), cutAt(readFile(file()), "TABLE Calls", false));
    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->status, RestoreStatus::Incomplete);

    const Status undone = undoLastRestore();
    QVERIFY2(undone, undone ? "" : qPrintable(undone.error().description));
    QCOMPARE(snapshot(db), beforeRestore);
    QCOMPARE(TestData::scalar(db, "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
}

void BackupDamagedTest::uidsTravelWithTheirContacts()
{
    fillAndBackUp();
    exec(db, "DELETE FROM ContactUids");
    exec(db, "INSERT INTO ContactUids (ContactID, Uid) VALUES (1, 'uid-one'), (3, 'odd uid\r\nwith a break ')");
    const BackupResult written = writeBackup(folder());
    QVERIFY(written);
    const QByteArray bytes = readFile(file());
    QVERIFY(bytes.endsWith("TEXTS END\r\nUIDS\r\n1 uid-one\r\n3 odd uid\\r\\nwith a break\\x20\r\nUIDS END\r\n"));
    auto uids = [this] {
        return TestData::scalar(db, "SELECT group_concat(ContactID || '=' || Uid, '|') FROM "
                                    "(SELECT * FROM ContactUids ORDER BY ContactID)")
            .toString();
    };
    const QString original = uids();

    // Delete first: the UIDs of the deleted contacts go, the file's come back,
    // and what the last sync knew of the deleted contacts is forgotten, so the
    // next sync does not take the contacts missing now for deletions.
    exec(db, "DELETE FROM ContactUids");
    exec(db, "INSERT INTO ContactUids (ContactID, Uid) VALUES (2, 'stale')");
    exec(db, "CREATE TABLE SyncCards (ContactID INTEGER UNIQUE, Href TEXT UNIQUE, ETag TEXT, Uid TEXT UNIQUE, "
             "BaseCard TEXT, BaseFields TEXT)");
    exec(db, "CREATE TABLE SyncValues (Name TEXT PRIMARY KEY, Value TEXT)");
    exec(db, "INSERT INTO SyncCards VALUES (2, '/ann/contacts/stale.vcf', '\"e1\"', 'stale', 'BEGIN:VCARD', '')");
    exec(db, "INSERT INTO SyncValues VALUES ('token', 'http://example.invalid/sync/7')");
    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->status, RestoreStatus::Done);
    QCOMPARE(uids(), original);
    QCOMPARE(TestData::scalar(db, "SELECT (SELECT COUNT(*) FROM SyncCards) + (SELECT COUNT(*) FROM SyncValues)").toInt(),
             0);
    exec(db, "INSERT INTO SyncValues VALUES ('token', 'http://example.invalid/sync/8')");

    // Append: the copies do not take the originals' UIDs.
    QCOMPARE(restoreBackup(folder(), RestoreMode::Append)->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 6);
    QCOMPARE(uids(), original);
    // An append deletes nothing, so the sync's knowledge stays.
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM SyncValues").toInt(), 1);

    // A file cut inside the list is refused like any other cut file.
    const QString before = snapshot(db);
    writeFile(file(), bytes.left(bytes.indexOf("3 odd uid")));
    const RestoreResult cut = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(cut->status, RestoreStatus::Incomplete);
    QCOMPARE(snapshot(db), before);
    QCOMPARE(uids(), original);
}

QTEST_MAIN(BackupDamagedTest)
#include "tst_backup_damaged.moc"
