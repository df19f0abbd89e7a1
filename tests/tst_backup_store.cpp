// The backup's data access: whole tables read and written through SQLite's
// own interface, and every failure handed back as a value with the
// database's message.

#include "support/TestSupport.h"

#include "store/BackupStore.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "base/Paths.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

class BackupStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env.reset();
        db = TestData::openLive();
        Result<std::unique_ptr<Connection>> opened = openLiveDatabase();
        QVERIFY(opened);
        connection = std::move(opened).value();
    }
    void cleanup()
    {
        connection.reset();
        TestData::close(db);
        QFile::remove(liveDatabasePath());
    }

    void readsEveryValueAsStored();
    void insertsAndReportsRefusedRows();
    void failuresOfTheDatabaseEndTheRun();
    void missingTablesAreReported();
    void plainIndexesAreDroppedAndBuiltAgain();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;                         // the test's own, for its rows
    std::unique_ptr<Connection> connection;  // the store's
};

void BackupStoreTest::readsEveryValueAsStored()
{
    const qint64 type = TestData::addType(db, QString::fromUtf8("Zoë's"));
    TestData::addContact(db, {{"FirstName", QString("")}, {"ContactTypeID", type}, {"Notes", QString::fromUtf8("中文\r\n")}});
    BackupStore store(*connection);
    const Result<QList<BackupStore::Column>> columns = store.columns(QStringLiteral("Contacts"));
    QVERIFY(columns);
    QCOMPARE(columns->size(), 28);
    QCOMPARE(columns->at(19).name, QStringLiteral("ContactTypeID"));
    QCOMPARE(columns->at(19).declaredType, QStringLiteral("INTEGER"));
    QCOMPARE(store.rowCount(QStringLiteral("Contacts")).valueOr(-1), 1);

    Result<std::unique_ptr<BackupStore::Rows>> rows = store.readRows(QStringLiteral("Contacts"));
    QVERIFY(rows);
    BackupStore::Rows &row = **rows;
    QCOMPARE(row.columnCount(), 28);
    QVERIFY(*row.next());
    QCOMPARE(row.kind(1), BackupStore::Rows::Kind::Text);
    QCOMPARE(row.text(1).size(), 0);
    QCOMPARE(row.kind(2), BackupStore::Rows::Kind::Null);
    QCOMPARE(row.kind(19), BackupStore::Rows::Kind::Integer);
    QCOMPARE(row.integer(19), type);
    QCOMPARE(QString::fromUtf8(row.text(18)), QString::fromUtf8("中文\r\n"));
    QCOMPARE(row.value(18).toString(), QString::fromUtf8("中文\r\n"));
    QVERIFY(!*row.next());
}

void BackupStoreTest::insertsAndReportsRefusedRows()
{
    QSqlQuery(db).exec(QStringLiteral("CREATE UNIQUE INDEX uniqueCaption ON \"Contact Types\" (ContactType)"));
    BackupStore store(*connection);
    Result<Connection::Transaction> transaction = store.beginWrite();
    QVERIFY(transaction);
    QVERIFY(store.inTransaction());
    Result<std::unique_ptr<BackupStore::Insert>> insert =
        store.prepareInsert(QStringLiteral("Contact Types"), {QStringLiteral("ContactTypeID"), QStringLiteral("ContactType")});
    QVERIFY(insert);
    QCOMPARE((*insert)->parameterCount(), 2);
    (*insert)->bindInteger(0, 7);
    const QByteArray caption = "O'Neil";
    (*insert)->bindText(1, caption);
    QCOMPARE((*insert)->run().valueOr(-1), 7);
    // An empty text stays an empty text; a refused row leaves the
    // transaction going.
    (*insert)->bindInteger(0, 8);
    (*insert)->bindText(1, QByteArrayView());
    QCOMPARE((*insert)->run().valueOr(-1), 8);
    (*insert)->bindInteger(0, 9);
    (*insert)->bindText(1, caption);
    const Result<qint64> refused = (*insert)->run();
    QVERIFY(!refused);
    QVERIFY2(refused.error().description.contains(QLatin1String("UNIQUE")), qPrintable(refused.error().description));
    QVERIFY(!BackupStore::isDatabaseFailure(refused.error()));
    QVERIFY(store.inTransaction());
    QVERIFY(transaction->commit());
    QCOMPARE(TestData::scalar(db, "SELECT group_concat(ContactTypeID || ':' || quote(ContactType)) FROM \"Contact Types\"")
                 .toString(),
             QStringLiteral("7:'O''Neil',8:''"));
}

void BackupStoreTest::failuresOfTheDatabaseEndTheRun()
{
    QSqlQuery(db).exec(QStringLiteral("CREATE TRIGGER giveUp BEFORE INSERT ON Calls "
                                      "BEGIN SELECT RAISE(ROLLBACK, 'disk I/O error'); END"));
    BackupStore store(*connection);
    Result<Connection::Transaction> transaction = store.beginWrite();
    QVERIFY(transaction);
    Result<std::unique_ptr<BackupStore::Insert>> insert = store.prepareInsert(QStringLiteral("Calls"), {QStringLiteral("Subject")});
    QVERIFY(insert);
    (*insert)->bindNull(0);
    const Result<qint64> failed = (*insert)->run();
    QVERIFY(!failed);
    QVERIFY(failed.error().description.contains(QLatin1String("disk I/O error")));
    // The database gave the transaction up by itself.
    QVERIFY(!store.inTransaction());
    QVERIFY(!transaction->commit());

    QVERIFY(BackupStore::isDatabaseFailure(failure(QStringLiteral("full"), 13)));     // SQLITE_FULL
    QVERIFY(BackupStore::isDatabaseFailure(failure(QStringLiteral("busy"), 5 | 256))); // an extended busy code
    QVERIFY(!BackupStore::isDatabaseFailure(failure(QStringLiteral("constraint"), 19)));

    // Another connection holding the write lock: the lock is not taken.
    QSqlDatabase other = TestData::openFile(liveDatabasePath());
    QVERIFY(QSqlQuery(other).exec(QStringLiteral("BEGIN IMMEDIATE")));
    store.setBusyTimeout(50);
    const Result<Connection::Transaction> locked = store.beginWrite();
    QVERIFY(!locked);
    QVERIFY2(locked.error().description.contains(QLatin1String("locked")), qPrintable(locked.error().description));
    QSqlQuery(other).exec(QStringLiteral("ROLLBACK"));
    TestData::close(other);
}

void BackupStoreTest::missingTablesAreReported()
{
    BackupStore store(*connection);
    QVERIFY(store.columns(QStringLiteral("No such table"))->isEmpty());
    const Result<std::unique_ptr<BackupStore::Rows>> rows = store.readRows(QStringLiteral("No such table"));
    QVERIFY(!rows);
    QVERIFY2(rows.error().description.contains(QLatin1String("no such table")), qPrintable(rows.error().description));
    QVERIFY(!store.prepareInsert(QStringLiteral("No such table"), {QStringLiteral("x")}));
    QVERIFY(!store.rowCount(QStringLiteral("No such table")));
    QVERIFY(!store.deleteAll(QStringLiteral("No such table")));

}

void BackupStoreTest::plainIndexesAreDroppedAndBuiltAgain()
{
    QSqlQuery(db).exec(QStringLiteral("CREATE UNIQUE INDEX uniqueSubject ON Calls (Subject)"));
    // Read on the store's connection, inside its transaction.
    auto indexes = [&] {
        return connection
            ->value("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master "
                    "WHERE type = 'index' AND tbl_name = 'Calls' ORDER BY name)")
            .valueOr(std::nullopt)
            .value_or(QVariant())
            .toString();
    };
    const QString before = indexes();
    BackupStore store(*connection);
    Result<Connection::Transaction> transaction = store.beginWrite();
    QVERIFY(transaction);
    const Result<QStringList> dropped = store.dropPlainIndexes({QStringLiteral("Calls")});
    QVERIFY(dropped);
    QVERIFY(dropped->size() >= 2);
    // The index that enforces something stays.
    QCOMPARE(indexes(), QStringLiteral("uniqueSubject"));
    QVERIFY(store.recreateIndexes(*dropped));
    QVERIFY(transaction->commit());
    QCOMPARE(indexes(), before);
}

QTEST_MAIN(BackupStoreTest)
#include "tst_backup_store.moc"
