// The backup writer at a size where it works as it does for a real
// database: the calls encoded on a second thread and handed over in pieces
// whose storage is filled again, the trailing section built while encoding.
// Its file must be the one the single-thread writer gives, byte for byte.
// Also the buffer encoders against the appending ones they stand in for.

#include "support/TestSupport.h"

#include "backup/BackupDates.h"
#include "backup/BackupFile.h"
#include "backup/BackupText.h"
#include "store/Connection.h"
#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QSqlQuery>
#include <QtTest>

using namespace backup;

class BackupWriterTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void largeFileIsTheSameOnOneThreadAndOnTwo();
    void dateEncoderAgreesWithTheAppendingOne_data();
    void dateEncoderAgreesWithTheAppendingOne();
    void textEncoderChecksUtf8AndAgreesWithTheAppendingOne_data();
    void textEncoderChecksUtf8AndAgreesWithTheAppendingOne();

private:
    QString folder() const { return env.root() + QStringLiteral("/backups"); }
    QByteArray backupBytes()
    {
        const BackupResult result = writeBackup(folder());
        if (!result.ok())
            qWarning("backup failed: %s", qPrintable(result.error().description));
        QFile file(backupFilePath(folder()));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
};

void BackupWriterTest::init()
{
    env.reset();
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    db = TestData::openLive();
}

void BackupWriterTest::cleanup()
{
    TestData::close(db);
    QFile::remove(liveDatabasePath());
}

void BackupWriterTest::largeFileIsTheSameOnOneThreadAndOnTwo()
{
    const qint64 friends = TestData::addType(db, QStringLiteral("Friend's"));
    QVERIFY(db.transaction());
    QSqlQuery contact(db);
    QVERIFY(contact.prepare(QStringLiteral(
        "INSERT INTO Contacts (FirstName, LastName, Address, Notes, ContactTypeID, Birthdate) VALUES (?, ?, ?, ?, ?, ?)")));
    QSqlQuery call(db);
    QVERIFY(call.prepare(
        QStringLiteral("INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) VALUES (?, ?, ?, ?, ?)")));
    const QDate first(1931, 5, 17);
    qint64 calls = 0;
    for (int i = 1; i <= 3000; ++i) {
        contact.addBindValue(i % 4 ? QStringLiteral("Zoë %1").arg(i) : QStringLiteral("D'Angelo"));
        contact.addBindValue(i % 5 ? QVariant(QStringLiteral("Nakamura\t")) : QVariant());
        contact.addBindValue(QStringLiteral("%1 O'Brien Street\r\nFloor %2").arg(i).arg(i % 9));
        contact.addBindValue(i % 3 ? QStringLiteral("  blanks around  ") : QString(""));
        contact.addBindValue(friends);
        contact.addBindValue(i % 11 ? QVariant(first.addDays(i * 7).toString(Qt::ISODate)) : QVariant());
        QVERIFY(contact.exec());
        const qint64 key = contact.lastInsertId().toLongLong();
        for (int c = 0; c < 30; ++c, ++calls) {
            call.addBindValue(key);
            call.addBindValue(first.addDays(calls % 30000).toString(Qt::ISODate));
            call.addBindValue(QTime(0, 0).addSecs(int(calls * 37 % 86400)).toString(QStringLiteral("HH:mm:ss")));
            call.addBindValue(QStringLiteral("Call %1 about the offer of Øresund & Söhne").arg(calls));
            call.addBindValue(calls % 4 ? QVariant(QStringLiteral("Spoke with %1.\nNext step: 'send it'.").arg(i))
                                        : QVariant());
            QVERIFY(call.exec());
        }
    }
    QVERIFY(db.commit());

    // Two threads: the live database is a file and nothing holds its lock.
    const QByteArray twoThreads = backupBytes();
    QVERIFY(twoThreads.size() > 8 << 20); // several pieces of calls, and write-back on the way
    QVERIFY(twoThreads.contains("TABLE Calls\r\n1, '5/17/1931', '12:00:00 AM', 'Call 0 about the offer of "));
    QVERIFY(twoThreads.contains("\r\n1 0 4 1 O'Brien Street\\r\\nFloor 1\r\n"));

    QByteArray oneThread;
    // One thread: another connection holds the write lock, so the writer
    // cannot fix one moment for a second connection and works alone.
    Result<std::unique_ptr<Connection>> locker = Connection::open(liveDatabasePath());
    QVERIFY(locker);
    {
        Result<Connection::Transaction> lock = (*locker)->begin(Connection::Lock::Immediate);
        QVERIFY(lock);
        oneThread = backupBytes();
    }
    QCOMPARE(oneThread.size(), twoThreads.size());
    QVERIFY(oneThread == twoThreads);

    // And the file restores to a database that backs up the same again.
    const RestoreResult restored = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(restored->status, RestoreStatus::Done);
    QCOMPARE(restored->restored[2], calls);
    QCOMPARE(restored->rejected, 0);
    QVERIFY(backupBytes() == twoThreads);
}

void BackupWriterTest::dateEncoderAgreesWithTheAppendingOne_data()
{
    QTest::addColumn<QByteArray>("stored");
    for (const char *stored :
         {"2021-03-14", "2021-03-14T14:30:00", "2021-03-14T00:00:00", "1899-12-30T14:30:00", "14:30:00", "14:30",
          " 2021-03-14", "2021-03-14 ", "14:30:00 ", "  14:30 ", "2021-03-14 14:30:00", "2021-03-14T14:30   ",
          "2021-03-14T14:30:00.123", "2021-02-30", "0099-01-01", "9999-12-31T23:59:59", "24:00:00", "", "noon",
          "2021-3-14"}) {
        QTest::newRow(stored) << QByteArray(stored);
    }
}

void BackupWriterTest::dateEncoderAgreesWithTheAppendingOne()
{
    QFETCH(QByteArray, stored);
    QByteArray appended;
    const bool valid = appendUsDate(appended, stored);
    char buffer[kUsDateRoom];
    bool canonical = true;
    const char *end = putUsDate(buffer, stored, &canonical);
    QCOMPARE(end != nullptr, valid);
    if (valid) {
        QCOMPARE(QByteArray(buffer, end - buffer), appended);
        QCOMPARE(canonical, isCanonicalStoredDate(stored));
    }
}

void BackupWriterTest::textEncoderChecksUtf8AndAgreesWithTheAppendingOne_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("plain") << QByteArray("Smith") << true;
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("apostrophes and breaks") << QByteArray("O'Brien\r\nline two\n'") << true;
    QTest::newRow("tab") << QByteArray("a\tb") << true;
    QTest::newRow("accents, Greek, CJK, emoji") << QStringLiteral("Zoë Ελένη 東京 😀").toUtf8() << true;
    QTest::newRow("long ascii run") << QByteArray(5000, 'x') << true;
    QTest::newRow("lone continuation byte") << QByteArray("ab\x80") << false;
    QTest::newRow("truncated sequence at the end") << QByteArray("Zo\xC3") << false;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << false;
    QTest::newRow("Windows-1252 letter") << QByteArray("Caf\xE9") << false;
}

void BackupWriterTest::textEncoderChecksUtf8AndAgreesWithTheAppendingOne()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, utf8);
    QCOMPARE(isValidUtf8(text), utf8);
    QByteArray buffer(cleanTextRoom(text.size()), '\0');
    bool exact = false;
    const char *end = putCleanText(buffer.data(), text, &exact);
    QCOMPARE(end != nullptr, utf8);
    if (!utf8)
        return;
    QByteArray appended;
    const bool appendedExact = appendCleanText(appended, text);
    QCOMPARE(QByteArray(buffer.constData(), end - buffer.constData()), appended);
    QCOMPARE(exact, appendedExact);
}

QTEST_MAIN(BackupWriterTest)
#include "tst_backup_writer.moc"
