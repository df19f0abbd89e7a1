// The backup file: writing it byte for byte, reading it back without loss,
// keeping references across restores, and never letting a line run as SQL.

#include "support/TestSupport.h"

#include "backup/BackupFile.h"
#include "backup/BackupText.h"
#include "backup/BackupTrailer.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/Database.h"
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
// A line of a LINES list.
QByteArray fingerprint(QByteArrayView line)
{
    QByteArray text;
    appendFingerprint(text, lineFingerprint(line));
    return text + "\r\n";
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
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

// The rows of the queries, every value, as one text.
QString snapshot(QSqlDatabase &db, const QStringList &queries = {"SELECT * FROM \"Contact Types\" ORDER BY 1",
                                                                 "SELECT * FROM Contacts ORDER BY 1",
                                                                 "SELECT * FROM Calls ORDER BY 1"})
{
    QStringList rows;
    for (const QString &sql : queries) {
        QSqlQuery query(db);
        if (!query.exec(sql))
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

qint64 count(QSqlDatabase &db, const QString &table)
{
    return TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)).toLongLong();
}
} // namespace

class BackupFileTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void workedExampleIsWrittenByteForByte();
    void workedExampleRestoresItsRows();
    void encodingRules_data();
    void encodingRules();
    void textsComeBackExactly();
    void olderWindows1252FileWithoutKeys();
    void lineFeedOnlyFileIsAccepted();
    void backupRestoreBackupGivesTheSameFile();
    void appendTwiceKeepsCallsWithTheirContacts();
    void lineCarryingSqlIsRejectedAndRunsNothing();
    void malformedLinesAreReportedAndTheRestRestored();
    void emptyCaptionComesBackEmpty();
    void fullDiskIsNamed();
    void deleteFirstWithRejectsAsksBeforeCommitting_data();
    void deleteFirstWithRejectsAsksBeforeCommitting();
    void rejectionQuotesAtMostPartOfAHugeValue();
    void noFileAndNoDataLeaveTheDatabaseUntouched();
    void fileWithoutMarkerIsRefused_data();
    void fileWithoutMarkerIsRefused();
    void databaseFailureInTheMiddleLeavesTheDatabaseAsBefore();
    void interruptedRestoreLeavesTheDatabaseAsBefore();
    void sectionsAreFoundByPosition();
    void keySectionThatDoesNotMatchIsIgnored();
    void fileThatCannotBeCreatedIsReported();

private:
    QString folder() const { return env.root() + QStringLiteral("/backups"); }
    QString file() const { return folder() + QStringLiteral("/BackupDB.txt"); }
    QByteArray backupBytes()
    {
        const BackupResult result = writeBackup(folder());
        if (!result.ok())
            qWarning("backup failed: %s", qPrintable(result.error().description));
        return readFile(file());
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
};

void BackupFileTest::init()
{
    env.reset();
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    db = TestData::openLive();
}

void BackupFileTest::cleanup()
{
    TestData::close(db);
    QFile::remove(liveDatabasePath());
}

void BackupFileTest::workedExampleIsWrittenByteForByte()
{
    TestData::addType(db, QStringLiteral("Customer"));
    TestData::addCall(db, 7, QStringLiteral("2021-03-14"), QStringLiteral("14:30:00"), QStringLiteral("Quarterly review"),
                      QStringLiteral("Asked for Ann's\r\nnew price list"));
    TestData::addCall(db, 7, QStringLiteral("2021-03-15"), QStringLiteral("09:05:00"), QStringLiteral("Follow-up"));

    const BackupResult result = writeBackup(folder());
    QVERIFY2(result.ok(), qPrintable(result ? QString() : result.error().description));
    QCOMPARE(result->written[0], 1);
    QCOMPARE(result->written[2], 2);

    const QByteArray expected = "TABLE Contact Types\r\n"
                                "'Customer ' \r\n"
                                "TABLE END\r\n"
                                "\r\n"
                                "TABLE Contacts\r\n"
                                "TABLE END\r\n"
                                "\r\n"
                                "TABLE Calls\r\n"
                                "7, '3/14/2021', '2:30:00 PM', 'Quarterly review ', 'Asked for Annsnew price list '\r\n"
                                "7, '3/15/2021', '9:05:00 AM', 'Follow-up ', ' '\r\n"
                                "TABLE END\r\n"
                                "\r\n"
                                "KEYS Contact Types\r\n"
                                "1\r\n"
                                "KEYS Contacts\r\n"
                                "KEYS END\r\n"
                                "DATES M/d/yyyy h:mm:ss AP\r\n"
                                "LINES Contact Types\r\n"
                                + fingerprint("'Customer ' ") + "LINES Contacts\r\n"
                                "LINES Calls\r\n"
                                + fingerprint("7, '3/14/2021', '2:30:00 PM', 'Quarterly review ', 'Asked for Annsnew price list '")
                                + fingerprint("7, '3/15/2021', '9:05:00 AM', 'Follow-up ', ' '")
                                + "TEXTS\r\n"
                                  "2 0 5 Asked for Ann's\\r\\nnew price list\r\n"
                                  "TEXTS END\r\n"
                                  "UIDS\r\n"
                                  "UIDS END\r\n";
    QCOMPARE(readFile(file()), expected);
}

void BackupFileTest::workedExampleRestoresItsRows()
{
    // As an older installation wrote it: no key section.
    writeFile(file(), "TABLE Contact Types\r\n'Customer ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\n"
                      "7, '3/14/2021', '2:30:00 PM', 'Quarterly review ', 'Asked for Annsnew price list '\r\n"
                      "7, '3/15/2021', '9:05:00 AM', 'Follow-up ', ' '\r\n"
                      "TABLE END\r\n\r\n");
    TestData::addType(db, QStringLiteral("Old type"));

    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QVERIFY(!result->keysFromFile);
    QCOMPARE(snapshot(db), QStringLiteral("1|Customer\n--\n--\n"
                                          "1|7|2021-03-14|14:30:00|Quarterly review|Asked for Annsnew price list\n"
                                          "2|7|2021-03-15|09:05:00|Follow-up|<null>\n--"));
}

void BackupFileTest::encodingRules_data()
{
    QTest::addColumn<QVariantMap>("fields");
    QTest::addColumn<QString>("expected"); // the values written for the fields, in table order

    const QVariant null;
    QTest::newRow("apostrophe removed") << QVariantMap{{"LastName", "O'Neil"}} << "LastName='ONeil '";
    QTest::newRow("two lines joined") << QVariantMap{{"Notes", "first\r\nsecond\nthird\rfourth"}}
                                      << "Notes='firstsecondthirdfourth '";
    QTest::newRow("null text") << QVariantMap{{"City", null}} << "City=' '";
    QTest::newRow("empty text") << QVariantMap{{"City", ""}} << "City=' '";
    QTest::newRow("tab, comma, quotes and brackets kept")
        << QVariantMap{{"Title", "a\tb, \"c\" [d]"}} << "Title='a\tb, \"c\" [d] '";
    QTest::newRow("negative number") << QVariantMap{{"ContactTypeID", -12}} << "ContactTypeID=-12";
    QTest::newRow("null number") << QVariantMap{{"ContactTypeID", null}} << "ContactTypeID=Null";
    QTest::newRow("date only") << QVariantMap{{"Birthdate", "1970-07-04"}} << "Birthdate='7/4/1970'";
    QTest::newRow("date and time") << QVariantMap{{"Birthdate", "2021-03-14T14:30:00"}}
                                   << "Birthdate='3/14/2021 2:30:00 PM'";
    QTest::newRow("date at midnight") << QVariantMap{{"Birthdate", "2021-03-14T00:00:00"}} << "Birthdate='3/14/2021'";
    QTest::newRow("time on the zero date") << QVariantMap{{"Birthdate", "1899-12-30T09:05:07"}}
                                           << "Birthdate='9:05:07 AM'";
    QTest::newRow("null date") << QVariantMap{{"Birthdate", null}} << "Birthdate=Null";
    QTest::newRow("no valid date") << QVariantMap{{"Birthdate", "soon"}} << "Birthdate=Null";
    QTest::newRow("text holding TABLE") << QVariantMap{{"FirstName", "TABLE END"}} << "FirstName='TABLE END '";
}

void BackupFileTest::encodingRules()
{
    QFETCH(QVariantMap, fields);
    QFETCH(QString, expected);
    TestData::addContact(db, fields);

    const QByteArray bytes = backupBytes();
    const QList<QByteArray> lines = bytes.split('\n');
    const qsizetype marker = lines.indexOf("TABLE Contacts\r");
    QVERIFY(marker >= 0);
    QByteArray line = lines.at(marker + 1);
    QVERIFY(line.endsWith('\r'));
    line.chop(1);

    // Every other field of the fresh contact is Null: texts ' ', numbers and dates Null.
    const QStringList fieldNames = {"FirstName", "LastName", "Dear", "Address", "City", "StateOrProvince",
                                    "PostalCode", "Region", "Country", "CompanyName", "Title", "EmailName",
                                    "WorkPhone", "WorkExtension", "HomePhone", "MobilePhone", "FaxNumber",
                                    "Notes", "ContactTypeID", "ReferredBy", "MaritalStatus", "Hometown",
                                    "SpouseName", "Birthdate", "ContactsInterests", "SpousesInterests",
                                    "ChildrenNames"};
    QStringList values;
    const QString name = expected.section(QLatin1Char('='), 0, 0);
    for (const QString &field : fieldNames) {
        if (field == name)
            values << expected.section(QLatin1Char('='), 1);
        else if (field == QLatin1String("ContactTypeID") || field == QLatin1String("Birthdate"))
            values << QStringLiteral("Null");
        else
            values << QStringLiteral("' '");
    }
    QCOMPARE(QString::fromUtf8(line), values.join(QStringLiteral(", ")));
}

void BackupFileTest::textsComeBackExactly()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Vendor "));
    TestData::addContact(db, {{"FirstName", QString::fromUtf8("Zoë ")},
                              {"LastName", "  spaced"},
                              {"City", " "},
                              {"Notes", "tab\there"},
                              {"ContactTypeID", type},
                              {"Birthdate", "1980-02-29"}});
    TestData::addCall(db, 1, QStringLiteral("2021-03-14"), QStringLiteral("00:00:00"), QStringLiteral("Midnight"));

    backupBytes();
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT ContactType FROM \"Contact Types\"").toString(), QStringLiteral("Vendor "));
    QCOMPARE(TestData::scalar(db, "SELECT FirstName FROM Contacts").toString(), QString::fromUtf8("Zoë "));
    QCOMPARE(TestData::scalar(db, "SELECT LastName FROM Contacts").toString(), QStringLiteral("  spaced"));
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts").toString(), QStringLiteral(" "));
    // The TAB is written to the record line, dropped when the line is read,
    // and given back by the exact texts of the trailing section.
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts").toString(), QStringLiteral("tab\there"));
    QVERIFY(TestData::scalar(db, "SELECT Dear FROM Contacts").isNull());
    QCOMPARE(TestData::scalar(db, "SELECT Birthdate FROM Contacts").toString(), QStringLiteral("1980-02-29"));
    QCOMPARE(TestData::scalar(db, "SELECT CallTime FROM Calls").toString(), QStringLiteral("00:00:00"));
}

void BackupFileTest::olderWindows1252FileWithoutKeys()
{
    TestData::addType(db, QStringLiteral("Will be deleted"));
    // M\xFCller, caf\xE9 and the euro sign 0x80 are Windows-1252 bytes, not UTF-8.
    writeFile(file(), "TABLE Contact Types\r\n'Kunde ' \r\n'Lieferant ' \r\nTABLE END\r\n\r\n"
                      "TABLE Contacts\r\n"
                      "'J\xFCrgen ', 'M\xFCller ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 'caf\xE9 ', ' ', ' ', ' ', ' ', "
                      "' ', ' ', ' ', '\x80 5 ', 2, ' ', ' ', ' ', ' ', '12/24/1961', ' ', ' ', ' '\r\n"
                      "TABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '1/2/2003', '11:59:00 PM', 'Gr\xFC\xDF""e ', ' '\r\n"
                      "TABLE END\r\n\r\n");

    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    // Without keys, a delete-first restore numbers from 1 in file order and keeps references as written.
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactTypeID || ':' || ContactType) FROM \"Contact Types\"").toString(),
             QStringLiteral("1:Kunde,2:Lieferant"));
    QCOMPARE(TestData::scalar(db, "SELECT FirstName || ' ' || LastName FROM Contacts WHERE ContactID = 1").toString(),
             QString::fromUtf8("Jürgen Müller"));
    QCOMPARE(TestData::scalar(db, "SELECT CompanyName FROM Contacts").toString(), QString::fromUtf8("café"));
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts").toString(), QString::fromUtf8("€ 5"));
    QCOMPARE(TestData::scalar(db, "SELECT ContactTypeID FROM Contacts").toInt(), 2);
    QCOMPARE(TestData::scalar(db, "SELECT Birthdate FROM Contacts").toString(), QStringLiteral("1961-12-24"));
    QCOMPARE(TestData::scalar(db, "SELECT ContactID || ' ' || CallDate || ' ' || CallTime || ' ' || Subject FROM Calls").toString(),
             QString::fromUtf8("1 2003-01-02 23:59:00 Grüße"));
}

void BackupFileTest::lineFeedOnlyFileIsAccepted()
{
    writeFile(file(), "TABLE Contact Types\n'A ' \nTABLE END\n\nTABLE Contacts\nTABLE END\n\nTABLE Calls\n"
                      "3, '3/14/2021', Null, 'x ', ' '\nTABLE END\n\nKEYS Contact Types\n5\nKEYS Contacts\nKEYS END\n");
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QVERIFY(result->keysFromFile);
    QCOMPARE(TestData::scalar(db, "SELECT ContactTypeID FROM \"Contact Types\" WHERE ContactType = 'A'").toInt(), 5);
    QCOMPARE(TestData::scalar(db, "SELECT Subject FROM Calls WHERE ContactID = 3").toString(), QStringLiteral("x"));
}

void BackupFileTest::backupRestoreBackupGivesTheSameFile()
{
    // Keys with gaps: rows deleted at the start, in the middle and at the end.
    QList<qint64> types;
    for (const char *name : {"Gone", "Customer", "Gone too", "Supplier", "Friend"})
        types << TestData::addType(db, QString::fromLatin1(name));
    QList<qint64> contacts;
    for (int i = 0; i < 8; ++i) {
        contacts << TestData::addContact(db, {{"FirstName", QStringLiteral("First %1").arg(i)},
                                              {"LastName", QStringLiteral("O'Last %1").arg(i)},
                                              {"ContactTypeID", types.at(1 + i % 4)},
                                              {"Birthdate", i % 2 ? QVariant("1975-05-0" + QString::number(i + 1)) : QVariant()}});
    }
    for (int i = 0; i < 20; ++i) {
        TestData::addCall(db, contacts.at(i % 8), QStringLiteral("2021-03-%1").arg(10 + i % 10, 2, 10, QLatin1Char('0')),
                          QStringLiteral("1%1:05:00").arg(i % 10), QStringLiteral("Call %1").arg(i),
                          i % 3 ? QVariant(QStringLiteral("Line one\r\nline two")) : QVariant());
    }
    exec(db, QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactType LIKE 'Gone%'"));
    exec(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID IN (%1, %2, %3)")
                 .arg(contacts.at(0)).arg(contacts.at(3)).arg(contacts.at(7)));
    exec(db, QStringLiteral("DELETE FROM Calls WHERE CallID % 4 = 0"));
    const QStringList withoutCallIds = {"SELECT * FROM \"Contact Types\" ORDER BY 1", "SELECT * FROM Contacts ORDER BY 1",
                                        "SELECT ContactID, CallDate, CallTime, Subject, Notes FROM Calls ORDER BY CallID"};
    const QString before = snapshot(db, withoutCallIds);
    const QStringList withoutKeys = {"SELECT ContactType FROM \"Contact Types\" ORDER BY ContactTypeID",
                                     "SELECT FirstName, LastName, Birthdate FROM Contacts ORDER BY ContactID",
                                     "SELECT CallDate, CallTime, Subject, Notes FROM Calls ORDER BY CallID"};
    const QString beforeWithoutKeys = snapshot(db, withoutKeys);
    const QString contactsBefore = TestData::scalar(db, "SELECT group_concat(ContactID) FROM Contacts").toString();

    const QByteArray first = backupBytes();
    QVERIFY(first.contains("KEYS Contacts\r\n2\r\n3\r\n5\r\n6\r\n7\r\nKEYS END\r\n"));
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QVERIFY(result->keysFromFile);
    QCOMPARE(result->restored[1], 5);
    QCOMPARE(result->restored[2], 15);
    const QByteArray second = backupBytes();
    QCOMPARE(second, first);
    // Types and contacts have their keys back; every reference still holds.
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactID) FROM Contacts").toString(), contactsBefore);
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactTypeID) FROM \"Contact Types\"").toString(),
             QStringLiteral("2,4,5"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)")
                 .toInt(),
             TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID IN (1, 4, 8)").toInt());
    // The texts kept their apostrophes and line breaks: nothing changed.
    QCOMPARE(snapshot(db, withoutCallIds), before);

    // Without the trailing section (as older installations wrote the file)
    // the texts lose their apostrophes and line breaks, nothing else changes.
    writeFile(file(), first.left(first.indexOf("KEYS Contact Types")));
    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->status, RestoreStatus::Done);
    QString cleaned = beforeWithoutKeys;
    cleaned.remove(QLatin1Char('\'')).remove(QStringLiteral("\r\n"));
    QVERIFY(cleaned != beforeWithoutKeys);
    QCOMPARE(snapshot(db, withoutKeys), cleaned);
}

void BackupFileTest::appendTwiceKeepsCallsWithTheirContacts()
{
    const qint64 gone = TestData::addType(db, QStringLiteral("Gone"));
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 friendType = TestData::addType(db, QStringLiteral("Friend"));
    exec(db, QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = %1").arg(gone));
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", customer}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"ContactTypeID", friendType}});
    const qint64 cid = TestData::addContact(db, {{"FirstName", "Cid"}, {"ContactTypeID", gone}});
    TestData::addCall(db, ann, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("Ann call"));
    TestData::addCall(db, bob, QStringLiteral("2021-01-02"), QStringLiteral("11:00:00"), QStringLiteral("Bob call 1"));
    TestData::addCall(db, bob, QStringLiteral("2021-01-03"), QStringLiteral("12:00:00"), QStringLiteral("Bob call 2"));
    TestData::addCall(db, 999, QStringLiteral("2021-01-04"), QStringLiteral("13:00:00"), QStringLiteral("Orphan"));
    exec(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(cid));
    backupBytes();

    // The appends land on existing data whose keys the file's keys collide with.
    for (int round = 0; round < 2; ++round) {
        const RestoreResult result = restoreBackup(folder(), RestoreMode::Append);
        QCOMPARE(result->status, RestoreStatus::Done);
        QVERIFY(result->keysFromFile);
    }
    QCOMPARE(count(db, "Contact Types"), 6);
    QCOMPARE(count(db, "Contacts"), 6);
    QCOMPARE(count(db, "Calls"), 12);
    // Every call belongs to a contact of its own name, every contact to its type.
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls k JOIN Contacts c ON c.ContactID = k.ContactID "
                                  "WHERE k.Subject LIKE c.FirstName || ' call%'").toInt(), 9);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(DISTINCT ContactID) FROM Calls WHERE Subject = 'Bob call 1'").toInt(), 3);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts c JOIN \"Contact Types\" t ON t.ContactTypeID = c.ContactTypeID "
                                  "WHERE (c.FirstName = 'Ann' AND t.ContactType = 'Customer') "
                                  "OR (c.FirstName = 'Bob' AND t.ContactType = 'Friend')").toInt(), 6);
    // A reference to a row that was not in the file comes back as Null.
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE Subject = 'Orphan' AND ContactID IS NULL").toInt(), 2);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = 999").toInt(), 1);
}

void BackupFileTest::lineCarryingSqlIsRejectedAndRunsNothing()
{
    TestData::addType(db, QStringLiteral("Kept"));
    const QString before = snapshot(db);
    writeFile(file(), "TABLE Contact Types\r\n"
                      "'Good ' \r\n"
                      "'Evil ' ); DELETE FROM [Contact Types]; DROP TABLE Calls; --\r\n"
                      "'x '), ('y ' \r\n"
                      "TABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'a '), (2, '3/14/2021', '2:30:00 PM', 'b ', 'c ' \r\n"
                      "TABLE END\r\n\r\n");
    QList<RejectedRecord> rejected;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) { rejected << record; };

    const RestoreResult result = restoreBackup(folder(), RestoreMode::Append, callbacks);
    QCOMPARE(result->message(), QStringLiteral("Done.\nRestored 1 contact type, 0 contacts and 0 calls; 3 records could "
                                              "not be restored."));
    QCOMPARE(rejected.size(), 3);
    QCOMPARE(rejected.at(0).lineNumber, 3);
    QCOMPARE(rejected.at(1).lineNumber, 4);
    QCOMPARE(rejected.at(2).lineNumber, 11);
    QCOMPARE(rejected.at(2).table, BackupTable::Calls);
    // Only the good line was added; nothing was deleted, the Calls table is still there.
    QCOMPARE(snapshot(db), before.left(before.indexOf(QLatin1String("--"))) + QStringLiteral("2|Good\n--\n--\n--"));
    QCOMPARE(count(db, "Calls"), 0);
}

void BackupFileTest::malformedLinesAreReportedAndTheRestRestored()
{
    writeFile(file(), "TABLE Contact Types\r\n'One ' \r\n\r\n'Two' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'fine ', ' '\r\n"
                      "1, '2/30/2021', '2:30:00 PM', 'no such day ', ' '\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'too few '\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'open quote , ' '\r\n"
                      "'one', '3/14/2021', '2:30:00 PM', 'text as number ', ' '\r\n"
                      "NULL, null, Null, 12, -0\r\n"
                      "TABLE END\r\n\r\n");
    QList<RejectedRecord> rejected;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) { rejected << record; };

    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(result->rejected, 5);
    QStringList where;
    for (const RejectedRecord &record : rejected) {
        where << QString::number(record.lineNumber);
        QVERIFY(!record.reason.isEmpty());
    }
    QCOMPARE(where.join(QLatin1Char(',')), QStringLiteral("3,12,13,14,15"));
    QVERIFY(rejected.at(1).reason.contains(QLatin1String("2/30/2021")));
    QVERIFY(rejected.at(2).reason.contains(QLatin1String("4 values")));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactType, '/') FROM \"Contact Types\"").toString(),
             QStringLiteral("One/Two"));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(coalesce(Subject, '-') || ':' || coalesce(Notes, '-'), '/') FROM Calls")
                 .toString(),
             QStringLiteral("fine:-/12:-0"));
}

void BackupFileTest::emptyCaptionComesBackEmpty()
{
    const qint64 empty = TestData::addType(db, QString(""));
    const qint64 named = TestData::addType(db, QStringLiteral("O'Neil's friends"));
    TestData::addContact(db, {{QStringLiteral("FirstName"), QStringLiteral("Ann")},
                              {QStringLiteral("ContactTypeID"), empty}});
    TestData::addContact(db, {{QStringLiteral("FirstName"), QStringLiteral("Bob")},
                              {QStringLiteral("ContactTypeID"), named}});
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactType = ''").toInt(), 1);
    const QByteArray first = backupBytes();
    QVERIFY(first.contains("\r\n' ' \r\n"));

    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactType IS NULL").toInt(), 0);
    QCOMPARE(TestData::scalar(db, "SELECT c.FirstName FROM Contacts c JOIN \"Contact Types\" t "
                                  "ON t.ContactTypeID = c.ContactTypeID WHERE t.ContactType = ''")
                 .toString(),
             QStringLiteral("Ann"));
    // The next backup keeps the empty caption instead of dropping it.
    QCOMPARE(backupBytes(), first);
}

void BackupFileTest::deleteFirstWithRejectsAsksBeforeCommitting_data()
{
    QTest::addColumn<bool>("accept");
    QTest::newRow("No rolls back") << false;
    QTest::newRow("Yes replaces") << true;
}

void BackupFileTest::deleteFirstWithRejectsAsksBeforeCommitting()
{
    QFETCH(bool, accept);
    TestData::addType(db, QStringLiteral("Kept's"));
    TestData::addCall(db, 1, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("Kept\nline"));
    const QString before = snapshot(db);
    writeFile(file(), "TABLE Contact Types\r\n'Friend ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'fine ', ' '\r\n"
                      "1, '2/30/2021', '2:30:00 PM', 'no such day ', ' '\r\n"
                      "1, 'soon', '2:30:00 PM', 'no date ', ' '\r\n"
                      "TABLE END\r\n\r\n");
    QList<qint64> asked;
    RestoreCallbacks callbacks;
    callbacks.acceptRejects = [&](qint64 count) {
        asked << count;
        return accept;
    };
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks);
    QCOMPARE(asked, QList<qint64>{2});
    QCOMPARE(result->rejected, 2);
    if (accept) {
        QCOMPARE(result->status, RestoreStatus::Done);
        QCOMPARE(TestData::scalar(db, "SELECT group_concat(Subject, '/') FROM Calls").toString(), QStringLiteral("fine"));
        QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactType, '/') FROM \"Contact Types\"").toString(),
                 QStringLiteral("Friend"));
    } else {
        QCOMPARE(result->status, RestoreStatus::Declined);
        QCOMPARE(result->restored[0] + result->restored[1] + result->restored[2], 0);
        QCOMPARE(snapshot(db), before);
        // The indexes dropped for the run are back with the rows.
        QVERIFY(TestData::scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'index'").toInt() > 0);
    }

    // An append asks nothing, and a clean delete-first file neither.
    asked.clear();
    QCOMPARE(restoreBackup(folder(), RestoreMode::Append, callbacks)->status, RestoreStatus::Done);
    writeFile(file(), "TABLE Contact Types\r\n'Friend ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\nTABLE END\r\n\r\n");
    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks)->status, RestoreStatus::Done);
    QVERIFY(asked.isEmpty());
}

void BackupFileTest::fullDiskIsNamed()
{
    if (!QFileInfo::exists(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this system");
    for (int i = 0; i < 3000; ++i)
        TestData::addType(db, QStringLiteral("A type with a long caption to fill the buffer %1 ").arg(i).repeated(8));
    QFile full(QStringLiteral("/dev/full"));
    QVERIFY(full.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    QVERIFY(connection);
    const BackupResult result = writeBackupTo(**connection, full);
    QVERIFY(!result.ok());
    QVERIFY2(result.error().description.contains(QStringLiteral("disk is full")), qPrintable(result.error().description));
}

void BackupFileTest::rejectionQuotesAtMostPartOfAHugeValue()
{
    const QByteArray huge(100000, '7');
    writeFile(file(), "TABLE Contact Types\r\n'One ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\n"
                      "1, '" + huge + "', '2:30:00 PM', 'huge date ', ' '\r\n"
                      "'" + huge + "x', '3/14/2021', '2:30:00 PM', 'huge number ', ' '\r\n"
                      "1, '3/14/2021', '2:30:00 PM', 'fine ', ' '\r\n"
                      "TABLE END\r\n\r\n");
    QList<RejectedRecord> rejected;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) { rejected << record; };
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(result->rejected, 2);
    QCOMPARE(rejected.size(), 2);
    for (const RejectedRecord &record : std::as_const(rejected)) {
        QVERIFY2(record.reason.size() < 300, qPrintable(QString::number(record.reason.size())));
        QVERIFY2(record.reason.contains(QString(200, QLatin1Char('7'))), qPrintable(record.reason));
        QVERIFY2(record.reason.contains(QStringLiteral("characters")), qPrintable(record.reason));
    }
    QCOMPARE(count(db, QStringLiteral("Calls")), 1);
}

void BackupFileTest::noFileAndNoDataLeaveTheDatabaseUntouched()
{
    TestData::addType(db, QStringLiteral("Kept"));
    TestData::addCall(db, 1, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("Kept"));
    const QString before = snapshot(db);

    QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->message(), QStringLiteral("No file to restore."));
    QCOMPARE(snapshot(db), before);
    writeFile(file(), QByteArray());
    const RestoreResult empty = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(empty->status, RestoreStatus::NoData);
    QCOMPARE(empty->message(), QStringLiteral("No data to restore."));
    QCOMPARE(snapshot(db), before);
}

void BackupFileTest::fileWithoutMarkerIsRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("mode");
    const QString backupText = QStringLiteral("TABLE Contact Types\r\n'Friend '\r\n\r\nTABLE Contacts\r\n\r\n"
                                              "TABLE Calls\r\n\r\nTABLE END\r\n\r\n");
    QByteArray utf16;
    for (const QChar c : backupText) {
        utf16.append(char(c.unicode() & 0xFF));
        utf16.append(char(c.unicode() >> 8));
    }
    const QByteArray other = "Name,Phone\r\nO'Brien,555-0100\r\n'Zoë ', 'Ünal\tTab '\r\n";
    const QByteArray blanks = "   \r\n\t\r\n \n\r\n";
    const QByteArray lowerCase = "table Contact Types\r\n'Friend '\r\n\r\ntable END\r\n";
    for (const int mode : {int(RestoreMode::DeleteFirst), int(RestoreMode::Append)}) {
        const char *name = mode == int(RestoreMode::DeleteFirst) ? "delete first" : "append";
        QTest::addRow("UTF-16 backup, %s", name) << utf16 << mode;
        QTest::addRow("list of another program, %s", name) << other << mode;
        QTest::addRow("blanks, %s", name) << blanks << mode;
        QTest::addRow("lower-case markers, %s", name) << lowerCase << mode;
    }
}

void BackupFileTest::fileWithoutMarkerIsRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, mode);
    TestData::addType(db, QStringLiteral("Kept's"));
    TestData::addCall(db, 1, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("Kept"));
    const QString before = snapshot(db);
    QVERIFY(count(db, QStringLiteral("Calls")) > 0);

    writeFile(file(), bytes);
    const RestoreResult result = restoreBackup(folder(), RestoreMode(mode));
    if (result->status == RestoreStatus::NoData) {
        // A file of blanks alone may count as holding no lines at all.
        QVERIFY(bytes.trimmed().isEmpty());
    } else {
        QCOMPARE(result->status, RestoreStatus::NotBackup);
        QVERIFY2(result->message().contains(QStringLiteral("not a backup")), qPrintable(result->message()));
    }
    QCOMPARE(result->restored[0] + result->restored[1] + result->restored[2], 0);
    QCOMPARE(snapshot(db), before);
}

void BackupFileTest::databaseFailureInTheMiddleLeavesTheDatabaseAsBefore()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Before"));
    TestData::addContact(db, {{"FirstName", "Before"}, {"ContactTypeID", type}});
    TestData::addCall(db, 1, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("Before"));
    // The database gives up the whole transaction at the third call, as it
    // does when its disk fails.
    exec(db, QStringLiteral("CREATE TRIGGER fail_midway BEFORE INSERT ON Calls WHEN NEW.Subject = 'boom' "
                            "BEGIN SELECT RAISE(ROLLBACK, 'disk I/O error'); END"));
    const QString before = snapshot(db);
    writeFile(file(), "TABLE Contact Types\r\n'New ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\n"
                      "'New ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
                      "1, ' ', ' ', ' ', ' ', Null, ' ', ' ', ' '\r\n"
                      "TABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '1/1/2022', Null, 'one ', ' '\r\n"
                      "1, '1/1/2022', Null, 'two ', ' '\r\n"
                      "1, '1/1/2022', Null, 'boom ', ' '\r\n"
                      "1, '1/1/2022', Null, 'four ', ' '\r\n"
                      "TABLE END\r\n\r\n");

    for (const RestoreMode mode : {RestoreMode::DeleteFirst, RestoreMode::Append}) {
        int rejected = 0;
        RestoreCallbacks callbacks;
        callbacks.rejected = [&](const RejectedRecord &) { ++rejected; };
        const RestoreResult result = restoreBackup(folder(), mode, callbacks);
        QVERIFY(!result);
        QVERIFY2(result.error().description.contains(QLatin1String("disk I/O error")), qPrintable(result.error().description));
        QCOMPARE(rejected, 0);
        QCOMPARE(snapshot(db), before);
    }
}

void BackupFileTest::interruptedRestoreLeavesTheDatabaseAsBefore()
{
    TestData::addType(db, QStringLiteral("Before"));
    QByteArray text = "TABLE Contact Types\r\n";
    for (int i = 0; i < 2500; ++i)
        text += "'Type " + QByteArray::number(i) + " ' \r\n";
    text += "TABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\nTABLE Calls\r\nTABLE END\r\n\r\n";
    writeFile(file(), text);
    const QString before = snapshot(db);

    // The program ends in the middle of the restore (here: an exception out
    // of the progress report after 2000 records).
    RestoreCallbacks callbacks;
    qint64 reported = 0;
    callbacks.progress = [&](qint64 done, qint64 total) {
        QCOMPARE(total, 2500);
        reported = done;
        if (done >= 2000)
            throw std::runtime_error("stopped");
    };
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, restoreBackup(folder(), RestoreMode::DeleteFirst, callbacks));
    QCOMPARE(reported, 2000);
    QCOMPARE(snapshot(db), before);
}

void BackupFileTest::sectionsAreFoundByPosition()
{
    // Lines before the first marker are ignored, and the marker names are
    // read only to find a missing end marker.
    writeFile(file(), "a heading someone typed\r\n'Not a type ' \r\nTABLE whatever\r\n'Real ' \r\nTABLE\r\n"
                      "skipped\r\nTABLEAU\r\n"
                      "'Ann ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
                      "'TABLE END ', Null, ' ', ' ', ' ', ' ', Null, ' ', ' ', ' '\r\nTABLE\r\n\r\nTABLE 3\r\n"
                      "TABLE END\r\n");
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactType) FROM \"Contact Types\"").toString(),
             QStringLiteral("Real"));
    QCOMPARE(TestData::scalar(db, "SELECT FirstName || '|' || Notes FROM Contacts").toString(),
             QStringLiteral("Ann|TABLE END"));
    QCOMPARE(count(db, "Calls"), 0);

    const BackupLines lines(QByteArray("x\nT\tABLE 1\n\n"));
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.isMarker(1));
    QCOMPARE(lines.text(1), QStringLiteral("TABLE 1"));
}

void BackupFileTest::keySectionThatDoesNotMatchIsIgnored()
{
    // Two types but one key line: the references are restored as written.
    writeFile(file(), "TABLE Contact Types\r\n'A ' \r\n'B ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
                      "TABLE Calls\r\n4, Null, Null, 'x ', ' '\r\nTABLE END\r\n\r\n"
                      "KEYS Contact Types\r\n8\r\nKEYS Contacts\r\nKEYS END\r\n");
    const RestoreResult result = restoreBackup(folder(), RestoreMode::Append);
    // The user is told that the keys could not be used.
    QCOMPARE(result->message(), QStringLiteral("Done.\nRestored 2 contact types, 0 contacts and 1 call; no record was "
                                              "rejected.\nThe keys of 2 records could not be taken from the file; their "
                                              "contacts and calls may not be linked to them as before."));
    QCOMPARE(result->keysNotUsed, 2);
    QVERIFY(!result->keysFromFile);
    QCOMPARE(TestData::scalar(db, "SELECT ContactID FROM Calls").toInt(), 4);
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactTypeID) FROM \"Contact Types\"").toString(),
             QStringLiteral("1,2"));
}

void BackupFileTest::fileThatCannotBeCreatedIsReported()
{
    TestData::addType(db, QStringLiteral("A"));
    const BackupResult result = writeBackup(folder() + QStringLiteral("/missing/folder"));
    QVERIFY(!result.ok());
    QVERIFY(result.error().description.startsWith(QLatin1String("Could not create the file")));
    QVERIFY(result.error().description.contains(QLatin1String("BackupDB.txt")));
    QVERIFY(!QFile::exists(folder() + QStringLiteral("/missing/folder/BackupDB.txt")));

    QCOMPARE(backupFilePath(QStringLiteral("/home/ann//backup/")), QStringLiteral("/home/ann/backup/BackupDB.txt"));
    QCOMPARE(backupFilePath(QStringLiteral("/")), QStringLiteral("/BackupDB.txt"));
    QCOMPARE(backupFilePath(QStringLiteral("////server//share/")), QStringLiteral("//server/share/BackupDB.txt"));
}

QTEST_MAIN(BackupFileTest)
#include "tst_backup_file.moc"
