// Large vCard files are parsed on worker threads in batches: the contacts
// must come out exactly as one card read at a time gives them, in the
// order of the file, with the summary's lines in that order too.
#include "exchange/ContactFileImport.h"
#include "exchange/ContactFileReader.h"
#include "exchange/VCardLibrary.h"
#include "exchange/VCardMapping.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ExchangeStore.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QFile>
#include <QTest>

using namespace exchange;

class TestExchangeParallel : public QObject {
    Q_OBJECT

private slots:
    void init();
    void batchesGiveWhatOneCardAtATimeGives();
    void importStoresEveryFieldInFileOrder();
    void cancelWhileBatchesAreParsedChangesNothing();

private:
    QString writeFile(const QByteArray &bytes);
    std::unique_ptr<IsolatedEnvironment> m_env;
};

namespace {
constexpr int kCards = FileImport::kHeldRecords + 1234; // many batches, and the spool

const QString hardTexts[] = {
    QStringLiteral("O'Brien"),
    QStringLiteral("  leading and trailing  "),
    QStringLiteral("tab\there"),
    QStringLiteral("semi;colon, comma\\back"),
    QStringLiteral("Ελληνικά και 日本語"),
    QStringLiteral("Zoë Ångström-Łukasz"),
    QStringLiteral("emoji \U0001F600 end"),
    QStringLiteral("line\r\nbreak"),
    QStringLiteral("lone\rcarriage and\nfeed"),
    QString(),
};

ContactRecord varied(int i)
{
    const int n = int(std::size(hardTexts));
    ContactRecord record;
    for (int field = FirstName; field < FieldCount; ++field)
        if (field != ContactTypeID && field != Birthdate)
            record[field] = hardTexts[(i + field) % n].isEmpty() && field == LastName
                                ? QStringLiteral("Last")
                                : hardTexts[(i + field) % n] + QString::number(i);
    record[FirstName] = QStringLiteral("Card %1").arg(i);
    record[Birthdate] = i % 3 == 0 ? QString() : QStringLiteral("19%1-0%2-1%3").arg(10 + i % 90).arg(1 + i % 9).arg(i % 10);
    record.typeName = i % 5 == 0 ? QString() : QStringLiteral("Type %1").arg(i % 7);
    return record;
}

// A card as an old phone writes it: 2.1, quoted-printable with a soft line break.
QByteArray oldPhoneCard(int i)
{
    return "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller;Phone " + QByteArray::number(i)
           + "\r\nNOTE;ENCODING=QUOTED-PRINTABLE:first=0D=0A=\r\nsecond\r\nTEL;CELL:+49 " + QByteArray::number(i)
           + "\r\nEND:VCARD\r\n";
}

QByteArray photoCard(int i)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Photo;Ann " + QByteArray::number(i)
           + ";;;\r\nPHOTO;ENCODING=b;TYPE=JPEG:AAAA\r\nURL:http://example.org/" + QByteArray::number(i)
           + "\r\nEND:VCARD\r\n";
}

// The cards of the file, each one whole.
QList<QByteArray> cards()
{
    QList<QByteArray> all;
    for (int i = 0; i < kCards; ++i)
        all << (i % 97 == 5 ? oldPhoneCard(i) : i % 89 == 7 ? photoCard(i) : writeVCard(varied(i)));
    return all;
}

// What the library gives for each card alone, one after the other.
VCardImport oneAtATime(const QList<QByteArray> &cards)
{
    VCardImport read;
    for (const QByteArray &bytes : cards)
        for (const VCard &card : VCardLibrary::instance().read(decodeText(bytes)))
            read.contacts << recordFromVCard(card, read.notKept);
    return read;
}
} // namespace

void TestExchangeParallel::init()
{
    m_env = std::make_unique<IsolatedEnvironment>();
    QSqlDatabase db = TestData::openLive(); // an empty database
    TestData::close(db);
}

QString TestExchangeParallel::writeFile(const QByteArray &bytes)
{
    const QString path = m_env->root() + QStringLiteral("/many.vcf");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestExchangeParallel::batchesGiveWhatOneCardAtATimeGives()
{
    const QList<QByteArray> all = cards();
    const VCardImport expected = oneAtATime(all);
    QCOMPARE(expected.contacts.size(), kCards);
    QVERIFY(expected.notKept.size() > 10);

    QBuffer buffer;
    buffer.setData(all.join());
    buffer.open(QIODevice::ReadOnly);
    ContactFileReader reader(&buffer);
    QList<ContactRecord> read;
    ContactRecord record;
    while (reader.next(record))
        read << record;
    QCOMPARE(read.size(), expected.contacts.size());
    for (qsizetype i = 0; i < read.size(); ++i) {
        for (int field = FirstName; field < FieldCount; ++field)
            QVERIFY2(read[i][field] == expected.contacts[i][field],
                     qPrintable(QStringLiteral("card %1, field %2: %3").arg(i).arg(field).arg(read[i][field])));
        QCOMPARE(read[i].typeName, expected.contacts[i].typeName);
    }
    QCOMPARE(reader.notKept(), expected.notKept);
    QVERIFY(reader.problems().isEmpty());
    // The hard characters went through unchanged.
    QCOMPARE(read[3][Notes], varied(3)[Notes]);
    QCOMPARE(read[5][LastName], QStringLiteral("Müller"));
    QCOMPARE(read[5][Notes], QStringLiteral("first\r\nsecond"));
    QCOMPARE(read[7][Notes], QStringLiteral("Web page: http://example.org/7"));
}

void TestExchangeParallel::importStoresEveryFieldInFileOrder()
{
    const QList<QByteArray> all = cards();
    const VCardImport expected = oneAtATime(all);
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    FileImport import({{writeFile(all.join()), {}}});
    const Result<ImportSurvey> survey = import.survey(**connection);
    QVERIFY(survey);
    QCOMPARE(survey->found, kCards);
    QCOMPARE(survey->notKept, expected.notKept);
    const Result<ImportOutcome> outcome = import.run(**connection, DuplicatePolicy::AddNew);
    QVERIFY(outcome);
    QCOMPARE(outcome->added, kCards);

    ExchangeStore store(**connection);
    const Result<QList<QStringList>> rows = store.contacts();
    QVERIFY(rows);
    const Result<QHash<QString, qint64>> types = store.typeKeys();
    QVERIFY(types);
    QCOMPARE(rows->size(), kCards);
    for (qsizetype i = 0; i < rows->size(); ++i) {
        const QStringList &row = rows->at(i);
        const ContactRecord &want = expected.contacts[i];
        for (int field = FirstName; field < FieldCount; ++field) {
            const QString stored = row.value(field);
            const QString wanted =
                field == ContactTypeID ? (want.typeName.isEmpty() ? QString() : QString::number(types->value(want.typeName)))
                                       : want[field];
            QVERIFY2(stored == wanted, qPrintable(QStringLiteral("contact %1, field %2: %3").arg(i).arg(field).arg(stored)));
        }
    }
}

void TestExchangeParallel::cancelWhileBatchesAreParsedChangesNothing()
{
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    FileImport import({{writeFile(cards().join()), {}}});
    int calls = 0;
    const Result<ImportSurvey> survey = import.survey(**connection, [&](qint64, qint64) { return ++calls < 3; });
    QVERIFY(survey);
    QVERIFY(survey->cancelled);
    QCOMPARE(calls, 3);
    ExchangeStore store(**connection);
    const Result<QList<QStringList>> rows = store.contacts();
    QVERIFY(rows);
    QVERIFY(rows->isEmpty());
}

QTEST_MAIN(TestExchangeParallel)
#include "tst_exchange_parallel.moc"
