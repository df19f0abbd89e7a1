#include "exchange/ContactImport.h"
#include "exchange/VCardMapping.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "support/TestSupport.h"

#include <QTest>

using namespace exchange;

class TestExchangeImport : public QObject {
    Q_OBJECT

private slots:
    void init();
    void duplicateChoices_data();
    void duplicateChoices();
    void cancelledImportChangesNothing();
    void vcardFileGoesIntoTheDatabase();

private:
    std::unique_ptr<IsolatedEnvironment> m_env;
};

void TestExchangeImport::init()
{
    m_env = std::make_unique<IsolatedEnvironment>();
    QSqlDatabase db = TestData::openLive();
    const qint64 friends = TestData::addType(db, QStringLiteral("Friends"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "O'Hara"}, {"EmailName", "Ann@Example.org"},
                              {"ContactTypeID", friends}});
    TestData::addContact(db, {{"FirstName", "Bo"}, {"LastName", "Lindqvist"}, {"HomePhone", "(555) 123-4567"},
                              {"City", "Malmö"}});
    TestData::close(db);
}

void TestExchangeImport::duplicateChoices_data()
{
    QTest::addColumn<int>("policy");
    QTest::addColumn<int>("contacts");
    QTest::addColumn<QString>("annCity");
    QTest::addColumn<QString>("boCity");
    QTest::newRow("skip") << int(DuplicatePolicy::Skip) << 3 << QString() << "Malmö";
    QTest::newRow("fill empty fields") << int(DuplicatePolicy::FillEmpty) << 3 << "Dublin" << "Malmö";
    QTest::newRow("add as new") << int(DuplicatePolicy::AddNew) << 5 << QString() << "Malmö";
}

void TestExchangeImport::duplicateChoices()
{
    QFETCH(int, policy);
    QFETCH(int, contacts);
    QFETCH(QString, annCity);
    QFETCH(QString, boCity);
    QList<ContactRecord> records(3);
    records[0][FirstName] = QStringLiteral("Annie");
    records[0][EmailName] = QStringLiteral(" ann@example.org");
    records[0][City] = QStringLiteral("Dublin");
    records[1][FirstName] = QStringLiteral("bo");
    records[1][LastName] = QStringLiteral("Lindqvist");
    records[1][MobilePhone] = QStringLiteral("555.123.4567");
    records[1][City] = QStringLiteral("Lund");
    records[2][FirstName] = QStringLiteral("Cai");
    records[2].typeName = QStringLiteral("Suppliers");
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    const Result<ImportOutcome> outcome = importContacts(**connection, records, DuplicatePolicy(policy));
    QVERIFY(outcome);
    QCOMPARE(outcome->typesCreated, 1);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), contacts);
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts WHERE ContactID = 1").toString(), annCity);
    QCOMPARE(TestData::scalar(db, "SELECT FirstName FROM Contacts WHERE ContactID = 1").toString(), QStringLiteral("Ann"));
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts WHERE ContactID = 2").toString(), boCity);
    QCOMPARE(TestData::scalar(db, "SELECT t.ContactType FROM Contacts c JOIN \"Contact Types\" t USING (ContactTypeID) "
                                  "WHERE c.FirstName = 'Cai'").toString(), QStringLiteral("Suppliers"));
    TestData::close(db);
}

void TestExchangeImport::cancelledImportChangesNothing()
{
    QList<ContactRecord> records(50);
    for (int i = 0; i < records.size(); ++i) {
        records[i][LastName] = QStringLiteral("Row %1").arg(i);
        records[i].typeName = QStringLiteral("Type %1").arg(i % 3);
    }
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    int asked = 0;
    const Result<ImportOutcome> outcome = importContacts(**connection, records, DuplicatePolicy::AddNew,
                                                         [&](int done, int) { ++asked; return done < 30; });
    QVERIFY(outcome);
    QVERIFY(outcome->cancelled);
    QCOMPARE(asked, 31);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 1);
    TestData::close(db);
}

void TestExchangeImport::vcardFileGoesIntoTheDatabase()
{
    ContactRecord record;
    record[FirstName] = QStringLiteral("Zoë");
    record[LastName] = QStringLiteral("D'Arcy");
    record[Notes] = QStringLiteral("two\r\nlines");
    record[Birthdate] = QStringLiteral("1975-05-17");
    record.typeName = QStringLiteral("Friends");
    const VCardImport file = readVCards(writeVCard(record));
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    const Result<ImportOutcome> outcome = importContacts(**connection, file.contacts, DuplicatePolicy::Skip);
    QVERIFY(outcome);
    QCOMPARE(outcome->added, 1);
    QCOMPARE(outcome->typesCreated, 0);
    QSqlDatabase db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts WHERE LastName = ?", {QStringLiteral("D'Arcy")}).toString(),
             record[Notes]);
    QCOMPARE(TestData::scalar(db, "SELECT ContactTypeID FROM Contacts WHERE LastName = ?", {QStringLiteral("D'Arcy")}).toInt(), 1);
    QVERIFY(TestData::scalar(db, "SELECT Region FROM Contacts WHERE LastName = ?", {QStringLiteral("D'Arcy")}).isNull());
    TestData::close(db);
}

QTEST_MAIN(TestExchangeImport)
#include "tst_exchange_import.moc"
