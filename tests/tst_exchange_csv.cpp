#include "exchange/CsvFormat.h"

#include <QStringEncoder>
#include <QTest>

using namespace exchange;

class TestExchangeCsv : public QObject {
    Q_OBJECT

private slots:
    void readsEachDelimiterAndEncoding_data();
    void readsEachDelimiterAndEncoding();
    void writtenFileReadsBackExactly();
    void knownHeadersMapThemselves_data();
    void knownHeadersMapThemselves();
    void unknownColumnsBecomeNoteLines();
    void birthDatesOfSpreadsheets_data();
    void birthDatesOfSpreadsheets();
};

static QByteArray encoded(const QString &text, const QString &encoding)
{
    if (encoding == QLatin1String("utf-8"))
        return text.toUtf8();
    if (encoding == QLatin1String("utf-8 bom"))
        return "\xEF\xBB\xBF" + text.toUtf8();
    if (encoding == QLatin1String("utf-16le bom")) {
        QStringEncoder encoder(QStringEncoder::Utf16LE);
        return "\xFF\xFE" + QByteArray(encoder(text));
    }
    if (encoding == QLatin1String("utf-16be bom")) {
        QStringEncoder encoder(QStringEncoder::Utf16BE);
        return "\xFE\xFF" + QByteArray(encoder(text));
    }
    // Windows-1252 for the characters used below.
    QByteArray bytes;
    for (const QChar c : text)
        bytes += c == QChar(0x20AC) ? '\x80' : c == QChar(0x201C) ? '\x93' : char(c.unicode());
    return bytes;
}

void TestExchangeCsv::readsEachDelimiterAndEncoding_data()
{
    QTest::addColumn<QString>("delimiter");
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("lineEnd");
    for (const char *delimiter : {",", ";", "\t"})
        for (const char *encoding : {"utf-8", "utf-8 bom", "utf-16le bom", "utf-16be bom", "windows-1252"})
            QTest::addRow("%s %s", *delimiter == '\t' ? "TAB" : delimiter, encoding)
                << QString::fromLatin1(delimiter) << QString::fromLatin1(encoding)
                << QString::fromLatin1(*delimiter == ';' ? "\n" : "\r\n");
}

void TestExchangeCsv::readsEachDelimiterAndEncoding()
{
    QFETCH(QString, delimiter);
    QFETCH(QString, encoding);
    QFETCH(QString, lineEnd);
    const QString text = QStringList{QStringLiteral("First Name"), QStringLiteral("Last Name"), QStringLiteral("Notes")}.join(delimiter)
                         + lineEnd
                         + QStringList{QStringLiteral("René"), QStringLiteral("\"O'Brien, \"\"the\"\" one\""),
                                       QStringLiteral("\"line one\r\nline two; a\tb € “\"")}.join(delimiter)
                         + lineEnd + QStringList{QStringLiteral(" Ann "), QString(), QStringLiteral("x")}.join(delimiter);
    const CsvTable table = readCsv(encoded(text, encoding));
    QCOMPARE(table.delimiter, delimiter.at(0));
    QCOMPARE(table.rows.size(), 3);
    QCOMPARE(table.rows[1], (QStringList{QStringLiteral("René"), QStringLiteral("O'Brien, \"the\" one"),
                                         QStringLiteral("line one\r\nline two; a\tb € “")}));
    QCOMPARE(table.rows[2], (QStringList{QStringLiteral(" Ann "), QString(), QStringLiteral("x")}));
    const QList<ContactRecord> records = recordsFromCsv(table, automaticMapping(table.rows[0]));
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0][LastName], QStringLiteral("O'Brien, \"the\" one"));
    QCOMPARE(records[1][FirstName], QStringLiteral(" Ann "));
}

void TestExchangeCsv::writtenFileReadsBackExactly()
{
    ContactRecord record;
    for (int field = FirstName; field < FieldCount; ++field)
        record[field] = QStringLiteral(" %1, \"x\"; y\tz\r\nÆ 東京 ").arg(field);
    record[Birthdate] = QStringLiteral("1999-12-31");
    record.typeName = QStringLiteral("Client, \"key\"");
    ContactRecord plain;
    plain[FirstName] = QStringLiteral("Bo");
    QByteArray file = csvLine(csvHeader()) + csvLine(record) + csvLine(plain);
    QVERIFY(file.startsWith("FirstName,LastName,Dear,Address,"));
    QVERIFY(file.contains(",ContactType,"));
    QVERIFY(file.endsWith("\r\n"));
    const CsvTable table = readCsv(file);
    QCOMPARE(table.rows.size(), 3);
    const QList<ContactRecord> back = recordsFromCsv(table, automaticMapping(table.rows[0]));
    QCOMPARE(back.size(), 2);
    for (int field = FirstName; field < FieldCount; ++field) {
        if (field == ContactTypeID)
            continue;
        QCOMPARE(back[0][field], record[field]);
        QCOMPARE(back[1][field], plain[field]);
    }
    QCOMPARE(back[0].typeName, record.typeName);
}

void TestExchangeCsv::knownHeadersMapThemselves_data()
{
    QTest::addColumn<QString>("header");
    QTest::addColumn<int>("field");
    QTest::newRow("own name") << "SpousesInterests" << int(SpousesInterests);
    QTest::newRow("own type column") << "ContactType" << int(ContactTypeID);
    QTest::newRow("Outlook company") << "Company" << int(CompanyName);
    QTest::newRow("Outlook country") << "Business Country/Region" << int(Country);
    QTest::newRow("Outlook fax") << "Business Fax" << int(FaxNumber);
    QTest::newRow("Thunderbird e-mail") << "Primary Email" << int(EmailName);
    QTest::newRow("Thunderbird mobile") << "Mobile Number" << int(MobilePhone);
    QTest::newRow("Google given name") << "Given Name" << int(FirstName);
    QTest::newRow("Google e-mail") << "E-mail 1 - Value" << int(TypedEmailColumn);
    QTest::newRow("Google labels") << "Labels" << int(ContactTypeID);
    QTest::newRow("unknown") << "Pet's name" << int(NoteLineColumn);
}

void TestExchangeCsv::knownHeadersMapThemselves()
{
    QFETCH(QString, header);
    QFETCH(int, field);
    QCOMPARE(fieldForHeader(header), field);
}

void TestExchangeCsv::unknownColumnsBecomeNoteLines()
{
    const CsvTable table = readCsv("Given Name,Notes,Pet,Primary Email,E-mail 1 - Value,\r\n"
                                   "Ann,Met in Oslo,Rex,a@x.org,b@y.org,\r\n");
    const QList<int> mapping = automaticMapping(table.rows[0]);
    QCOMPARE(mapping, (QList<int>{FirstName, Notes, NoteLineColumn, EmailName, TypedEmailColumn, IgnoreColumn}));
    const QList<ContactRecord> records = recordsFromCsv(table, mapping);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records[0][EmailName], QStringLiteral("a@x.org"));
    QCOMPARE(records[0][Notes], QStringLiteral("Met in Oslo\nPet: Rex\nE-mail: b@y.org"));
}

void TestExchangeCsv::birthDatesOfSpreadsheets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("notes");
    QTest::newRow("ISO") << "1980-01-31" << "1980-01-31" << QString();
    QTest::newRow("ISO with time") << "1980-01-31T06:15:00" << "1980-01-31T06:15:00" << QString();
    QTest::newRow("German") << "31.01.1980" << "1980-01-31" << QString();
    QTest::newRow("Outlook US") << "1/31/1980" << "1980-01-31" << QString();
    QTest::newRow("day first") << "31/01/1980" << "1980-01-31" << QString();
    QTest::newRow("no such day") << "2/30/1980" << QString() << "Birthday: 2/30/1980";
    QTest::newRow("words") << "around 1980" << QString() << "Birthday: around 1980";
    QTest::newRow("Outlook empty date") << "0/0/00" << QString() << QString();
}

void TestExchangeCsv::birthDatesOfSpreadsheets()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    QFETCH(QString, notes);
    const ContactRecord record = recordFromCsvRow({QStringLiteral("Birthday"), QStringLiteral("First Name")},
                                                  {text, QStringLiteral("Ann")}, {Birthdate, FirstName});
    QCOMPARE(record[Birthdate], stored);
    QCOMPARE(record[Notes], notes);
    QCOMPARE(record[FirstName], QStringLiteral("Ann"));
}

QTEST_GUILESS_MAIN(TestExchangeCsv)
#include "tst_exchange_csv.moc"
