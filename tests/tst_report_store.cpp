#include "support/TestSupport.h"

#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QSqlQuery>
#include <QtTest>

// The report queries read through the store: the columns asked for, in that
// order, and failures as values carrying the database's own message.
class ReportStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readsTheColumnsAskedFor();
    void refusesAnythingButTheSavedQueries();
    void namesAMissingColumn();
    void missingQueryFailsWithTheDatabaseMessage();
    void freshFileHoldsTheProgramsQueries();
    void olderQueryIsReplacedWhenRead();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
};

void ReportStoreTest::init()
{
    env.reset();
    db = TestData::openLive();
}

void ReportStoreTest::cleanup()
{
    TestData::close(db);
}

void ReportStoreTest::readsTheColumnsAskedFor()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "O'Brien"}, {"ContactTypeID", type},
                              {"CompanyName", "Acme\tInc"}});
    TestData::addContact(db, {{"FirstName", "  Bob"}, {"LastName", QVariant()}, {"ContactTypeID", type}});

    auto connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<QueryRows> rows = store.savedQuery(QStringLiteral("qryRep1B"),
                                                    {QStringLiteral("CompanyName"), QStringLiteral("fld01")});
    QVERIFY(rows);
    QCOMPARE(rows->columns, QStringList({"CompanyName", "fld01"}));
    QCOMPARE(rows->rows.size(), 2);
    QStringList names;
    for (const QVariantList &row : rows->rows) {
        QCOMPARE(row.size(), 2);
        names << row[1].toString();
        if (row[1].toString() == QLatin1String("Ann O'Brien"))
            QCOMPARE(row[0].toString(), QStringLiteral("Acme\tInc"));
        else
            QVERIFY(row[0].isNull());
    }
    names.sort();
    QCOMPARE(names, QStringList({"Ann O'Brien", "Bob"}));
}

void ReportStoreTest::refusesAnythingButTheSavedQueries()
{
    QVERIFY(ReportStore::isSavedQuery(QStringLiteral("qryRep3A")));
    QVERIFY(!ReportStore::isSavedQuery(QStringLiteral("Contacts")));
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<QueryRows> rows = store.savedQuery(QStringLiteral("Contacts; DROP TABLE Calls"), {});
    QVERIFY(!rows);
    QVERIFY(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'Calls'")).toInt()
            == 1);
}

void ReportStoreTest::namesAMissingColumn()
{
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<QueryRows> rows = store.savedQuery(QStringLiteral("qryRep2A"), {QStringLiteral("NoSuchColumn")});
    QVERIFY(!rows);
    QVERIFY2(rows.error().description.contains(QLatin1String("NoSuchColumn (qryRep2A)")),
             qPrintable(rows.error().description));
}

void ReportStoreTest::missingQueryFailsWithTheDatabaseMessage()
{
    QSqlQuery drop(db);
    QVERIFY(drop.exec(QStringLiteral("DROP VIEW qryRep3B")));
    auto connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<QueryRows> rows = store.savedQuery(QStringLiteral("qryRep3B"), {QStringLiteral("CallDate")});
    QVERIFY(!rows);
    QVERIFY2(rows.error().description.contains(QLatin1String("no such table: qryRep3B")),
             qPrintable(rows.error().description));
    QCOMPARE(rows.error().code, 1); // SQLITE_ERROR
}

void ReportStoreTest::freshFileHoldsTheProgramsQueries()
{
    for (const char *name : {"qryRep1A", "qryRep1B", "qryRep2A", "qryRep2B", "qryRep3A", "qryRep3B"}) {
        const QString definition = ReportStore::definition(QString::fromLatin1(name));
        QVERIFY(definition.startsWith(QStringLiteral("CREATE VIEW %1 AS\nSELECT").arg(QLatin1String(name))));
        QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = ?"),
                                  {QString::fromLatin1(name)})
                     .toString(),
                 definition);
    }
    QVERIFY(ReportStore::definition(QStringLiteral("Contacts")).isEmpty());
}

void ReportStoreTest::olderQueryIsReplacedWhenRead()
{
    // An older installation listed only contacts of an existing type.
    QSqlQuery query(db);
    QVERIFY(query.exec(QStringLiteral("DROP VIEW qryRep1B")));
    QVERIFY(query.exec(QStringLiteral(
        "CREATE VIEW qryRep1B AS SELECT c.ContactTypeID AS FirstLetter, c.FirstName AS fld01, c.LastName, "
        "c.FirstName FROM Contacts AS c WHERE c.ContactTypeID IS NOT NULL")));
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type}});
    TestData::addContact(db, {{"FirstName", "Ned"}, {"LastName", "Notype"}});

    auto connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<QueryRows> rows = store.savedQuery(QStringLiteral("qryRep1B"),
                                                    {QStringLiteral("fld01"), QStringLiteral("FirstLetter")});
    QVERIFY(rows);
    QCOMPARE(rows->rows.size(), 2);
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'qryRep1B'")).toString(),
             ReportStore::definition(QStringLiteral("qryRep1B")));
}

QTEST_MAIN(ReportStoreTest)
#include "tst_report_store.moc"
