#include "exchange/ContactFileImport.h"
#include "exchange/ContactFileReader.h"
#include "exchange/CsvFormat.h"
#include "exchange/VCardMapping.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QStringEncoder>
#include <QTest>

using namespace exchange;

class TestExchangeFiles : public QObject {
    Q_OBJECT

private slots:
    void init();
    void oversizedCardIsSkippedAndTheRestRead();
    void overlongLineIsCut();
    void unclosedQuoteStopsAtTheRowCap();
    void columnsBeyondTheCapAreDropped();
    void utf16FileAcrossReadChunks();
    void largeFileIsReadTwiceAndStoredWhole();
    void duplicatesInOneFileNeverOverwriteEachOther();
    void skippedDuplicatesCreateNoTypes();
    void unreadableFileChangesNothing();
    void largeImportKeepsEveryIndex();

private:
    QString write(const QString &name, const QByteArray &bytes);
    std::unique_ptr<IsolatedEnvironment> m_env;
};

void TestExchangeFiles::init()
{
    m_env = std::make_unique<IsolatedEnvironment>();
    QSqlDatabase db = TestData::openLive();
    const qint64 friends = TestData::addType(db, QStringLiteral("Friends"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "O'Hara"}, {"EmailName", "ann@example.org"},
                              {"ContactTypeID", friends}});
    TestData::close(db);
}

QString TestExchangeFiles::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_env->root() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

static ContactRecord person(int i)
{
    ContactRecord record;
    record[FirstName] = QStringLiteral("First %1").arg(i);
    record[LastName] = QStringLiteral("Last %1").arg(i);
    record[City] = QStringLiteral("Zürich");
    return record;
}

static QByteArray card(const QByteArray &name, const QByteArray &extra = {})
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + ";Ann;;;\r\nFN:Ann " + name + "\r\n" + extra + "END:VCARD\r\n";
}

void TestExchangeFiles::oversizedCardIsSkippedAndTheRestRead()
{
    // Five folded lines of 1,000,000 characters: within the line cap, over the card cap.
    QByteArray note = "NOTE:start";
    for (int i = 0; i < 5; ++i)
        note += "\r\n " + QByteArray(1000000, 'x');
    QBuffer buffer;
    buffer.setData(card("First") + card("Huge", note + "\r\n") + card("Last"));
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QCOMPARE(reader.format(), FileFormat::VCard);
    QStringList names;
    ContactRecord record;
    while (reader.next(record))
        names << record[LastName];
    QCOMPARE(names, (QStringList{QStringLiteral("First"), QStringLiteral("Last")}));
    QCOMPARE(reader.problems().size(), 1);
    QVERIFY2(reader.problems().first().startsWith(QStringLiteral("1 card longer than")), qPrintable(reader.problems().first()));
}

void TestExchangeFiles::overlongLineIsCut()
{
    QBuffer buffer;
    buffer.setData(card("First", "NOTE:" + QByteArray(3 * kMaxLineBytes, 'y') + "\r\n") + card("Second"));
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QList<ContactRecord> records;
    ContactRecord record;
    while (reader.next(record))
        records << record;
    QCOMPARE(records.size(), 2);
    QVERIFY(records[0][Notes].size() < kMaxLineBytes);
    QVERIFY(records[0][Notes].startsWith(QStringLiteral("yyyy")));
    QCOMPARE(records[1][LastName], QStringLiteral("Second"));
    QVERIFY2(reader.problems().value(0).startsWith(QStringLiteral("1 line longer than")), qPrintable(reader.problems().join('|')));
}

void TestExchangeFiles::unclosedQuoteStopsAtTheRowCap()
{
    QByteArray file = "FirstName,Notes\r\nAnn,\"never closed\r\n";
    for (int i = 0; i < 60; ++i)
        file += QByteArray(100000, 'z') + "\r\n";
    file += "Bo,after the cap\r\n";
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QCOMPARE(reader.format(), FileFormat::Csv);
    QList<ContactRecord> records;
    ContactRecord record;
    while (reader.next(record))
        records << record;
    QVERIFY(!records.isEmpty());
    QCOMPARE(records.last()[FirstName], QStringLiteral("Bo"));
    QCOMPARE(records.last()[Notes], QStringLiteral("after the cap"));
    for (const ContactRecord &read : records)
        QVERIFY(read[Notes].size() < kMaxRecordChars);
    QVERIFY2(reader.problems().join('|').contains(QStringLiteral("1 row longer than")), qPrintable(reader.problems().join('|')));
}

void TestExchangeFiles::columnsBeyondTheCapAreDropped()
{
    QStringList header{QStringLiteral("FirstName")};
    QStringList values{QStringLiteral("Cai")};
    for (int i = 1; i < kMaxColumns + 500; ++i) {
        header << QStringLiteral("Extra %1").arg(i);
        values << QString();
    }
    values[kMaxColumns - 1] = QStringLiteral("kept");
    values[kMaxColumns + 10] = QStringLiteral("dropped");
    QBuffer buffer;
    buffer.setData(csvLine(header) + csvLine(values));
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QCOMPARE(reader.headers().size(), kMaxColumns);
    ContactRecord record;
    QVERIFY(reader.next(record));
    QCOMPARE(record[FirstName], QStringLiteral("Cai"));
    QCOMPARE(record[Notes], QStringLiteral("Extra %1: kept").arg(kMaxColumns - 1));
    QVERIFY(!reader.next(record));
    QCOMPARE(reader.problems(), QStringList{QStringLiteral("1000 values after column 1000 were not read.")});
}

void TestExchangeFiles::utf16FileAcrossReadChunks()
{
    QString text = QStringLiteral("Vorname;Nachname;Notes\r\n");
    for (int i = 0; i < 3000; ++i)
        text += QStringLiteral("Jörg %1;\"Ō'Brien;\r\n東京 %1\";€ %1\r\n").arg(i);
    QStringEncoder encoder(QStringEncoder::Utf16LE);
    QBuffer buffer;
    buffer.setData("\xFF\xFE" + QByteArray(encoder(text)));
    QVERIFY(buffer.data().size() > 2 * 65536);
    buffer.open(QIODevice::ReadOnly);
    CsvStream stream(&buffer);
    QCOMPARE(stream.delimiter(), QLatin1Char(';'));
    QStringList row;
    QVERIFY(stream.next(row));
    QCOMPARE(row, (QStringList{"Vorname", "Nachname", "Notes"}));
    for (int i = 0; i < 3000; ++i) {
        QVERIFY(stream.next(row));
        QCOMPARE(row, (QStringList{QStringLiteral("Jörg %1").arg(i), QStringLiteral("Ō'Brien;\r\n東京 %1").arg(i),
                                   QStringLiteral("€ %1").arg(i)}));
    }
    QVERIFY(!stream.next(row));
}

void TestExchangeFiles::largeFileIsReadTwiceAndStoredWhole()
{
    QByteArray file;
    const int count = FileImport::kHeldRecords + 37;
    for (int i = 0; i < count; ++i) {
        ContactRecord record;
        record[FirstName] = QStringLiteral("Zoë %1").arg(i);
        record[LastName] = QStringLiteral("D'Arcy");
        record[Notes] = QStringLiteral("line\r\nbreak %1").arg(i);
        record.typeName = QStringLiteral("Type %1").arg(i % 4);
        if (i == 17)
            record[EmailName] = QStringLiteral("ANN@example.org");
        file += writeVCard(record);
    }
    const QString path = write(QStringLiteral("many.vcf"), file);
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    FileImport import({{path, {}}});
    QList<qint64> seen;
    const Result<ImportSurvey> survey = import.survey(**connection, [&](qint64 done, qint64 total) {
        seen << done;
        return done <= total;
    });
    QVERIFY(survey);
    QCOMPARE(survey->found, count);
    QCOMPARE(survey->duplicates, 1);
    QVERIFY(seen.size() > 10);
    QVERIFY(std::is_sorted(seen.begin(), seen.end()));
    int last = 0;
    const Result<ImportOutcome> outcome = import.run(**connection, DuplicatePolicy::Skip, [&](int done, int total) {
        last = done;
        return total == count;
    });
    QVERIFY(outcome);
    QCOMPARE(outcome->added, count - 1);
    QCOMPARE(outcome->skipped, 1);
    QCOMPARE(outcome->typesCreated, 4);
    QVERIFY(last > count - 100);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), count);
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts WHERE FirstName = ?", {QStringLiteral("Zoë 4999")}).toString(),
             QStringLiteral("line\r\nbreak 4999"));
    TestData::close(db);
}

void TestExchangeFiles::duplicatesInOneFileNeverOverwriteEachOther()
{
    QList<ContactRecord> records(2);
    records[0][EmailName] = QStringLiteral("ann@example.org");
    records[0][City] = QStringLiteral("Cork");
    records[1][EmailName] = QStringLiteral("Ann@Example.org ");
    records[1][City] = QStringLiteral("Galway");
    records[1][Title] = QStringLiteral("Buyer");
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    const Result<ImportOutcome> outcome = importContacts(**connection, records, DuplicatePolicy::FillEmpty);
    QVERIFY(outcome);
    QCOMPARE(outcome->filled, 2);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT City || '|' || Title FROM Contacts WHERE ContactID = 1").toString(),
             QStringLiteral("Cork|Buyer"));
    TestData::close(db);
}

void TestExchangeFiles::skippedDuplicatesCreateNoTypes()
{
    QList<ContactRecord> records(1);
    records[0][EmailName] = QStringLiteral("ann@example.org");
    records[0].typeName = QStringLiteral("Never used");
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    const Result<ImportOutcome> outcome = importContacts(**connection, records, DuplicatePolicy::Skip);
    QVERIFY(outcome);
    QCOMPARE(outcome->skipped, 1);
    QCOMPARE(outcome->typesCreated, 0);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 1);
    TestData::close(db);
}

void TestExchangeFiles::unreadableFileChangesNothing()
{
    QByteArray file;
    for (int i = 0; i < FileImport::kHeldRecords + 5; ++i)
        file += card("Row" + QByteArray::number(i));
    const QString path = write(QStringLiteral("gone.vcf"), file);
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    FileImport import({{path, {}}, {path, {}}});
    // Without a temporary folder to hold the contacts read, the files are read again...
    import.setSpoolFolder(m_env->root() + QStringLiteral("/no such folder"));
    const Result<ImportSurvey> survey = import.survey(**connection);
    QVERIFY(survey);
    QCOMPARE(survey->found, 2 * (FileImport::kHeldRecords + 5));
    // ... and the second file disappears between the passes.
    int calls = 0;
    const Result<ImportOutcome> outcome = import.run(**connection, DuplicatePolicy::AddNew, [&](int done, int) {
        if (++calls == 2 && done > 0)
            QFile::remove(path);
        return true;
    });
    QVERIFY(!outcome);
    QVERIFY2(outcome.error().description.contains(QStringLiteral("Cannot read")), qPrintable(outcome.error().description));
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    TestData::close(db);
}

void TestExchangeFiles::largeImportKeepsEveryIndex()
{
    const QString indexes = QStringLiteral("SELECT group_concat(name || ':' || sql, '|') FROM "
                                           "(SELECT name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL ORDER BY name)");
    QSqlDatabase db = TestData::openLive();
    const QString before = TestData::scalar(db, indexes).toString();
    TestData::close(db);
    QVERIFY(before.contains(QStringLiteral("idxContactsOrder")));
    QByteArray file = csvLine(csvHeader());
    const int count = int(kIndexRebuildRecords) + 100;
    for (int i = 0; i < count; ++i) {
        ContactRecord record = person(i);
        file += csvLine(record);
    }
    const QString path = write(QStringLiteral("large.csv"), file);
    for (const bool cancel : {true, false}) {
        auto connection = openLiveDatabase();
        QVERIFY(connection);
        FileImport import({{path, {}}});
        QVERIFY(import.survey(**connection));
        const Result<ImportOutcome> outcome =
            import.run(**connection, DuplicatePolicy::Skip, [&](int done, int) { return !cancel || done < count / 2; });
        QVERIFY(outcome);
        QCOMPARE(outcome->cancelled, cancel);
        db = TestData::openLive();
        QCOMPARE(TestData::scalar(db, indexes).toString(), before);
        QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), cancel ? 1 : count + 1);
        QCOMPARE(TestData::scalar(db, "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
        QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts WHERE LastName = ? COLLATE NOCASE",
                                  {QStringLiteral("LAST 777")}).toInt(), cancel ? 0 : 1);
        TestData::close(db);
    }
}

QTEST_MAIN(TestExchangeFiles)
#include "tst_exchange_files.moc"
