// The backup file across machines and by hand: a file restores the same under
// every locale, gives back every text exactly, and keeps contacts with their
// types and calls when a line was added or changed.

#include "support/TestSupport.h"

#include "backup/BackupFile.h"
#include "backup/BackupTrailer.h"
#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using namespace backup;

namespace {
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

// Every value of every row with its SQLite type, keys included, as one text.
QString snapshot(QSqlDatabase &db)
{
    QStringList rows;
    for (const char *table : {"\"Contact Types\"", "Contacts", "Calls"}) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table))))
            qFatal("snapshot: %s", qPrintable(query.lastError().text()));
        const QSqlRecord record = query.record();
        QStringList types;
        for (int i = 0; i < record.count(); ++i)
            types << QStringLiteral("typeof(\"%1\")").arg(record.fieldName(i));
        QSqlQuery typed(db);
        typed.exec(QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(types.join(QLatin1Char(',')), QLatin1String(table)));
        while (query.next() && typed.next()) {
            QStringList values;
            for (int i = 0; i < record.count(); ++i)
                values << typed.value(i).toString() + QLatin1Char(':')
                        + (query.isNull(i) ? QStringLiteral("<null>") : query.value(i).toString());
            rows << values.join(QLatin1Char('|'));
        }
        rows << QStringLiteral("--");
    }
    return rows.join(QLatin1Char('\n'));
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

// Keeps the default locale of the reader for one test.
class LocaleScope {
public:
    explicit LocaleScope(const QString &name) : m_saved(QLocale()) { QLocale::setDefault(QLocale(name)); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

// The record lines of a section of a file, without their line ends.
QList<QByteArray> sectionLines(const QByteArray &file, const QByteArray &marker)
{
    QList<QByteArray> lines = file.split('\n');
    for (QByteArray &line : lines)
        line.chop(line.endsWith('\r') ? 1 : 0);
    const qsizetype start = lines.indexOf(marker);
    QList<QByteArray> section;
    for (qsizetype i = start + 1; start >= 0 && i < lines.size() && !lines.at(i).startsWith("TABLE"); ++i)
        section << lines.at(i);
    return section;
}
} // namespace

class BackupRoundTripTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void theFileIsTheSameUnderEveryLocale_data();
    void theFileIsTheSameUnderEveryLocale();
    void olderFilesAreReadInTheirLocale_data();
    void olderFilesAreReadInTheirLocale();
    void aFileWithTheDateFormIsReadInThatFormOnly();
    void everyHardTextComesBackExactly();
    void exactTextsThatDoNotFitTheirLineAreNotUsed();
    void anExtraLineCostsOnlyItsOwnRecord_data();
    void anExtraLineCostsOnlyItsOwnRecord();
    void aLostLineIsRefused();
    void oneThreadWritesWhatTwoThreadsWrite();
    void escapedTextsReadBack_data();
    void escapedTextsReadBack();

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
    // Contacts, types and calls with many distinct dates and times of day.
    void fillWithDates();

    IsolatedEnvironment env;
    QSqlDatabase db;
};

void BackupRoundTripTest::init()
{
    env.reset();
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    db = TestData::openLive();
}

void BackupRoundTripTest::cleanup()
{
    TestData::close(db);
    QFile::remove(liveDatabasePath());
}

void BackupRoundTripTest::fillWithDates()
{
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 supplier = TestData::addType(db, QStringLiteral("Supplier's"));
    const QDate first(1901, 1, 1);
    for (int i = 0; i < 40; ++i) {
        // Days and months that read differently in the day-first forms.
        const QString birth = first.addDays(qint64(i) * 997 + 3).toString(Qt::ISODate);
        const qint64 contact = TestData::addContact(db, {{"FirstName", QStringLiteral("Name %1").arg(i)},
                                                         {"LastName", i % 3 ? "O'Brien" : "Müller"},
                                                         {"ContactTypeID", i % 2 ? customer : supplier},
                                                         {"Birthdate", i % 7 ? QVariant(birth) : QVariant()}});
        for (int c = 0; c < 3; ++c) {
            const int seconds = (i * 3 + c) * 1237 % 86400;
            TestData::addCall(db, contact, first.addDays(qint64(i) * 1301 + c * 29).toString(Qt::ISODate),
                              QTime(0, 0).addSecs(seconds).toString(QStringLiteral("HH:mm:ss")),
                              QStringLiteral("Call %1.%2").arg(i).arg(c));
        }
    }
}

void BackupRoundTripTest::theFileIsTheSameUnderEveryLocale_data()
{
    QTest::addColumn<QString>("writer");
    QTest::addColumn<QString>("reader");
    QTest::newRow("C to en_US") << "C" << "en_US";
    QTest::newRow("de_DE to en_US") << "de_DE" << "en_US";
    QTest::newRow("en_GB to en_US") << "en_GB" << "en_US";
    QTest::newRow("en_US to C") << "en_US" << "C";
    QTest::newRow("en_US to de_DE") << "en_US" << "de_DE";
    QTest::newRow("en_US to en_GB") << "en_US" << "en_GB";
}

void BackupRoundTripTest::theFileIsTheSameUnderEveryLocale()
{
    QFETCH(QString, writer);
    QFETCH(QString, reader);
    fillWithDates();
    exec(db, QStringLiteral("UPDATE Contacts SET Birthdate = '2021-03-14T14:30:00' WHERE ContactID = 2"));
    const QString before = snapshot(db);
    QByteArray written;
    {
        LocaleScope locale(writer);
        written = backupBytes();
    }
    {
        // The US-English General Date form of every kind of value.
        LocaleScope locale(QStringLiteral("en_US"));
        QCOMPARE(backupBytes(), written);
    }
    QVERIFY(written.contains("DATES M/d/yyyy h:mm:ss AP\r\n"));
    QVERIFY(written.contains(", '3/14/2021 2:30:00 PM', "));
    const QList<QByteArray> calls = sectionLines(written, "TABLE Calls");
    QCOMPARE(calls.size(), 120);
    QVERIFY2(calls.first().startsWith("1, '1/1/1901', '12:00:00 AM', "), calls.first().constData());

    LocaleScope locale(reader);
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(result->restored[2], 120);
    QCOMPARE(snapshot(db), before);
}

void BackupRoundTripTest::olderFilesAreReadInTheirLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QByteArray>("birthdate");
    QTest::addColumn<QByteArray>("callDate");
    QTest::addColumn<QByteArray>("callTime");
    // As the writer of an older installation wrote them under each locale:
    // the short date with four-digit years and the long time without zone.
    QTest::newRow("C") << "C" << QByteArray("4 Feb 1961") << QByteArray("24 Sep 2026") << QByteArray("23:59:07");
    QTest::newRow("de_DE") << "de_DE" << QByteArray("04.02.1961") << QByteArray("24.09.2026") << QByteArray("23:59:07");
    QTest::newRow("en_GB") << "en_GB" << QByteArray("04/02/1961") << QByteArray("24/09/2026") << QByteArray("23:59:07");
    QTest::newRow("en_US") << "en_US" << QByteArray("2/4/1961") << QByteArray("9/24/2026") << QByteArray("11:59:07 PM");
}

void BackupRoundTripTest::olderFilesAreReadInTheirLocale()
{
    QFETCH(QString, locale);
    QFETCH(QByteArray, birthdate);
    QFETCH(QByteArray, callDate);
    QFETCH(QByteArray, callTime);
    writeFile(file(), "TABLE Contact Types\r\n'Kunde ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\n"
                      "'Jürgen ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
                      "' ', ' ', ' ', ' ', 1, ' ', ' ', ' ', ' ', '" + birthdate + "', ' ', ' ', ' '\r\n"
                      "TABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '" + callDate + "', '" + callTime + "', 'late ', ' '\r\n"
                      "1, '2026-09-25', '08:00:00', 'ISO by hand ', ' '\r\n"
                      "TABLE END\r\n\r\nKEYS Contact Types\r\n1\r\nKEYS Contacts\r\n1\r\nKEYS END\r\n");
    LocaleScope scope(locale);
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT Birthdate FROM Contacts").toString(), QStringLiteral("1961-02-04"));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(CallDate || ' ' || CallTime, '/') FROM Calls").toString(),
             QStringLiteral("2026-09-24 23:59:07/2026-09-25 08:00:00"));

    // The same older US file under another locale: the locale's forms come
    // first, then the US form.
    if (locale == QLatin1String("en_US")) {
        LocaleScope german(QStringLiteral("de_DE"));
        QCOMPARE(restoreBackup(folder(), RestoreMode::DeleteFirst)->status, RestoreStatus::Done);
        QCOMPARE(TestData::scalar(db, "SELECT CallDate || ' ' || CallTime FROM Calls ORDER BY CallID").toString(),
                 QStringLiteral("2026-09-24 23:59:07"));
    }
}

void BackupRoundTripTest::aFileWithTheDateFormIsReadInThatFormOnly()
{
    // 03/04/2021 is the 4th of March in the recorded form, whatever the
    // locale; a German date in such a file is refused, not guessed.
    writeFile(file(), "TABLE Contact Types\r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\nTABLE Calls\r\n"
                      "1, '03/04/2021', '1:02:03 PM', 'US ', ' '\r\n"
                      "1, '24.09.2026', '13:02:03', 'German ', ' '\r\n"
                      "TABLE END\r\n\r\nKEYS Contact Types\r\nKEYS Contacts\r\nKEYS END\r\n"
                      "DATES M/d/yyyy h:mm:ss AP\r\nLINES Contact Types\r\nLINES Contacts\r\nLINES Calls\r\n"
                      "TEXTS\r\nTEXTS END\r\n");
    LocaleScope scope(QStringLiteral("en_GB"));
    QList<RejectedRecord> rejected;
    RestoreCallbacks callbacks;
    callbacks.rejected = [&](const RejectedRecord &record) { rejected << record; };
    const RestoreResult result = restoreBackup(folder(), RestoreMode::Append, callbacks);
    QCOMPARE(result->rejected, 1);
    QCOMPARE(rejected.size(), 1);
    QCOMPARE(rejected.first().lineNumber, 9);
    QVERIFY2(rejected.first().reason.contains(QLatin1String("24.09.2026")), qPrintable(rejected.first().reason));
    QCOMPARE(TestData::scalar(db, "SELECT CallDate || ' ' || CallTime FROM Calls").toString(),
             QStringLiteral("2021-03-04 13:02:03"));
}

void BackupRoundTripTest::everyHardTextComesBackExactly()
{
    const qint64 empty = TestData::addType(db, QString(""));
    const qint64 hard = TestData::addType(db, QStringLiteral("O'Neil's\tfriends\r\n "));
    TestData::addType(db, QStringLiteral("  Ελληνικά 中文 "));
    const QStringList texts = {
        QStringLiteral("O'Brien"), QStringLiteral("two\r\nlines"), QStringLiteral("lf\nonly"), QStringLiteral("cr\ronly"),
        QStringLiteral("tab\tinside"), QStringLiteral("  leading and trailing  "), QStringLiteral(" "), QString(""),
        QStringLiteral("Zoë Ünal çà"), QStringLiteral("Łukasz Дмитрий 山田 😀"), QStringLiteral("back\\slash \\n \\x20"),
        QStringLiteral("line\nTABLE END"), QStringLiteral("ctrl\x01\x1f\x7f"), QStringLiteral("'"), QStringLiteral("''"),
        QStringLiteral("a, 'b', Null"), QStringLiteral("trailing tab\t"), QStringLiteral("ends with CR\r")};
    QList<qint64> contacts;
    for (int i = 0; i < texts.size(); ++i) {
        const QString &text = texts.at(i);
        contacts << TestData::addContact(db, {{"FirstName", text},
                                              {"LastName", texts.at((i + 5) % texts.size())},
                                              {"Address", QStringLiteral("%1 Street\r\nFloor %1").arg(i)},
                                              {"Notes", i % 2 ? QVariant() : QVariant(text)},
                                              {"Dear", i % 3 ? QVariant(QString("")) : QVariant()},
                                              {"ContactTypeID", i % 2 ? empty : hard}});
        TestData::addCall(db, contacts.last(), QStringLiteral("2021-03-%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                          QStringLiteral("%1:%2:%3").arg(i % 24, 2, 10, QLatin1Char('0')).arg(i * 7 % 60, 2, 10, QLatin1Char('0'))
                              .arg(i * 13 % 60, 2, 10, QLatin1Char('0')),
                          text, i % 3 ? QVariant(texts.at((i + 1) % texts.size())) : QVariant());
    }
    // Values the record line cannot carry: dates not in their stored form,
    // a text in a number field.
    exec(db, QStringLiteral("UPDATE Contacts SET Birthdate = '2021-03-14T00:00:00' WHERE ContactID = 1"));
    exec(db, QStringLiteral("UPDATE Contacts SET Birthdate = 'soon' WHERE ContactID = 2"));
    exec(db, QStringLiteral("UPDATE Contacts SET Birthdate = ' 1970-01-01' WHERE ContactID = 3"));
    exec(db, QStringLiteral("UPDATE Contacts SET Birthdate = '1980-02-29' WHERE ContactID = 4"));
    exec(db, QStringLiteral("UPDATE Contacts SET ContactTypeID = 'none' WHERE ContactID = 5"));
    exec(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID = 6"));
    const QString before = snapshot(db);

    const QByteArray first = backupBytes();
    // The main sections keep their cleaned form.
    QVERIFY(first.contains("\r\n'ONeils\tfriends  ' \r\n"));
    // The exact "TABLE END" after a line break never begins a line.
    QCOMPARE(first.count("\nTABLE"), 5);
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Done);
    QCOMPARE(snapshot(db), before);
    QCOMPARE(backupBytes(), first);

    // An append gives the same texts to the added rows.
    QCOMPARE(restoreBackup(folder(), RestoreMode::Append)->status, RestoreStatus::Done);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts c JOIN Contacts d ON d.ContactID > c.ContactID "
                                  "AND d.FirstName IS c.FirstName AND d.LastName IS c.LastName AND d.Notes IS c.Notes "
                                  "AND d.Dear IS c.Dear AND d.Birthdate IS c.Birthdate AND d.Address IS c.Address")
                 .toInt(),
             texts.size() - 1);
}

void BackupRoundTripTest::exactTextsThatDoNotFitTheirLineAreNotUsed()
{
    TestData::addContact(db, {{"FirstName", "O'Brien"}, {"Notes", "two\r\nlines"}});
    TestData::addContact(db, {{"FirstName", "D'Arcy"}});
    QByteArray bytes = backupBytes();
    // The first contact's name edited by hand: its exact text no longer fits.
    bytes.replace("'OBrien '", "'OBrian '");
    writeFile(file(), bytes);
    RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    // The edited line has no fingerprint of its own any more, so its key and
    // texts are not used (it comes back as its line gives it, under a new
    // key); the other record keeps both, and the user is told.
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactID || FirstName || '/' || coalesce(Notes, '-'), '|') "
                                  "FROM Contacts").toString(),
             QStringLiteral("2D'Arcy/-|3OBrian/twolines"));
    QCOMPARE(result->keysNotUsed, 1);
    QVERIFY2(result->message().contains(QLatin1String("keys of 1 record")), qPrintable(result->message()));

    // A list of exact texts that does not end: the file was cut short, and
    // nothing of it is restored.
    bytes = backupBytes();
    bytes.truncate(bytes.indexOf("TEXTS END"));
    writeFile(file(), bytes);
    result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Incomplete);
    QCOMPARE(result->message(), QStringLiteral("The file ends inside its closing lists, after the Calls section; it is "
                                               "incomplete. Nothing was changed."));
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(FirstName, '|') FROM Contacts").toString(),
             QStringLiteral("D'Arcy|OBrian"));
}

void BackupRoundTripTest::anExtraLineCostsOnlyItsOwnRecord_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("extra");
    for (const int mode : {int(RestoreMode::DeleteFirst), int(RestoreMode::Append)}) {
        const char *name = mode == int(RestoreMode::DeleteFirst) ? "delete first" : "append";
        QTest::addRow("blank line, %s", name) << mode << QByteArray("");
        QTest::addRow("contact typed in, %s", name)
            << mode
            << QByteArray("'Typed ', 'In ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
                          "' ', ' ', 2, ' ', ' ', ' ', ' ', Null, ' ', ' ', ' '");
    }
}

void BackupRoundTripTest::anExtraLineCostsOnlyItsOwnRecord()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, extra);
    // Keys with gaps, so that renumbering would move calls to other contacts.
    const qint64 gone = TestData::addType(db, QStringLiteral("Gone"));
    QList<qint64> types;
    for (const char *name : {"Customer", "Friend", "Supplier"})
        types << TestData::addType(db, QString::fromLatin1(name));
    exec(db, QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = %1").arg(gone));
    for (int i = 0; i < 28; ++i) {
        const qint64 contact = TestData::addContact(db, {{"FirstName", QStringLiteral("Person%1").arg(i)},
                                                         {"ContactTypeID", types.at(i % 3)}});
        if (i % 4 == 0)
            exec(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(contact));
        else
            TestData::addCall(db, contact, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"),
                              QStringLiteral("Person%1 call").arg(i));
    }
    QByteArray bytes = backupBytes();
    const QByteArray anchor = "'Person10 '";
    const qsizetype at = bytes.indexOf(anchor);
    QVERIFY(at > 0);
    bytes.insert(bytes.lastIndexOf("\r\n", at) + 2, extra + "\r\n");
    writeFile(file(), bytes);

    RestoreCallbacks callbacks;
    callbacks.acceptRejects = [](qint64) { return true; };
    const RestoreResult result = restoreBackup(folder(), RestoreMode(mode), callbacks);
    QCOMPARE(result->status, RestoreStatus::Done);
    QVERIFY(result->keysFromFile);
    QCOMPARE(result->rejected, extra.isEmpty() ? 1 : 0);
    QCOMPARE(result->keysNotUsed, extra.isEmpty() ? 0 : 1);
    if (!extra.isEmpty())
        QVERIFY2(result->message().contains(QLatin1String("keys of 1 record")), qPrintable(result->message()));
    // Every call is still under the contact of its name, every contact under its type.
    const int copies = mode == int(RestoreMode::Append) ? 2 : 1;
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 21 * copies);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls k JOIN Contacts c ON c.ContactID = k.ContactID "
                                  "WHERE k.Subject = c.FirstName || ' call'").toInt(),
             21 * copies);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts c JOIN \"Contact Types\" t ON t.ContactTypeID = c.ContactTypeID "
                                  "WHERE c.FirstName LIKE 'Person%' AND t.ContactType = "
                                  "CASE CAST(substr(c.FirstName, 7) AS INTEGER) % 3 WHEN 0 THEN 'Customer' "
                                  "WHEN 1 THEN 'Friend' ELSE 'Supplier' END").toInt(),
             21 * copies);
}

void BackupRoundTripTest::aLostLineIsRefused()
{
    // A line lost from a section could be a file cut short: nothing is
    // restored, and the message names the section.
    QList<qint64> contacts;
    for (int i = 0; i < 6; ++i) {
        contacts << TestData::addContact(db, {{"FirstName", QStringLiteral("P%1").arg(i)}});
        TestData::addCall(db, contacts.last(), QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"),
                          QStringLiteral("P%1").arg(i));
    }
    exec(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID = 1"));
    QByteArray bytes = backupBytes();
    const qsizetype at = bytes.indexOf("'P3 '");
    const qsizetype start = bytes.lastIndexOf("\r\n", at) + 2;
    bytes.remove(start, bytes.indexOf("\r\n", at) + 2 - start);
    writeFile(file(), bytes);
    const QString before = snapshot(db);
    const RestoreResult result = restoreBackup(folder(), RestoreMode::DeleteFirst);
    QCOMPARE(result->status, RestoreStatus::Incomplete);
    QCOMPARE(result->message(), QStringLiteral("The Contacts section holds 4 records; the list at the end of the file "
                                              "names 5. The file is incomplete. Nothing was changed."));
    QCOMPARE(snapshot(db), before);
}

void BackupRoundTripTest::oneThreadWritesWhatTwoThreadsWrite()
{
    fillWithDates();
    for (int i = 0; i < 3000; ++i)
        TestData::addCall(db, 1 + i % 40, QStringLiteral("2020-01-01"), QStringLiteral("12:00:01"),
                          QStringLiteral("Call's %1\r\nline").arg(i));
    // The calls are encoded on a second connection and thread.
    const QByteArray twoThreads = backupBytes();
    QVERIFY(twoThreads.contains("'Calls 2999line '"));
    QVERIFY(twoThreads.contains(" Call's 2999\\r\\nline\r\n"));

    // While another program holds the write lock the second connection
    // cannot be set up safely, and one thread writes everything.
    QSqlDatabase other = TestData::openFile(liveDatabasePath());
    exec(other, QStringLiteral("BEGIN IMMEDIATE"));
    QFile::remove(file());
    const QByteArray oneThread = backupBytes();
    exec(other, QStringLiteral("ROLLBACK"));
    TestData::close(other);
    QCOMPARE(oneThread, twoThreads);
}

void BackupRoundTripTest::escapedTextsReadBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("plain") << QStringLiteral("O'Brien") << QByteArray("1 2 3 O'Brien");
    QTest::newRow("line breaks") << QStringLiteral("a\r\nb\nc\r") << QByteArray("1 2 3 a\\r\\nb\\nc\\r");
    QTest::newRow("tab and backslash") << QStringLiteral("\t\\t") << QByteArray("1 2 3 \\t\\\\t");
    QTest::newRow("blanks at both ends") << QStringLiteral("  x  ") << QByteArray("1 2 3   x\\x20\\x20");
    QTest::newRow("only blanks") << QStringLiteral("   ") << QByteArray("1 2 3 \\x20\\x20\\x20");
    QTest::newRow("empty") << QString("") << QByteArray("1 2 3 ");
    QTest::newRow("control characters") << QStringLiteral("\x01\x7f") << QByteArray("1 2 3 \\x01\\x7f");
    QTest::newRow("non-Latin") << QStringLiteral("中文 😀") << QByteArray("1 2 3 中文 😀");
}

void BackupRoundTripTest::escapedTextsReadBack()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, written);
    QByteArray line;
    appendExactText(line, 1, 2, 3, text.toUtf8());
    QCOMPARE(line, written);
    const BackupLines lines("TEXTS\r\n" + line + "\r\n");
    QByteArray back;
    QVERIFY(exactTextOf(lines, ExactText{1, 3, 2, 1}, &back));
    QCOMPARE(QString::fromUtf8(back), text);
}

QTEST_MAIN(BackupRoundTripTest)
#include "tst_backup_roundtrip.moc"
