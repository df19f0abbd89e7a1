// Built against the store and its base alone (no Qt Widgets, no Qt Gui):
// the data layer works on its own, and its transactions keep a write of
// several statements whole.

#include "base/ContactFields.h"
#include "store/CallStore.h"
#include "store/Connection.h"
#include "store/ContactStore.h"
#include "store/Database.h"
#include "store/Schema.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class StoreOnlyTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void noWidgetsOrGuiLibraryIsLoaded();
    void valuesAreBoundAndFailuresCarryTheDatabaseMessage();
    void transactionLandsOnlyWhenCommitted();
    void failedCommitIsRolledBack();
    void deleteKeepsContactAndCallsWhenOnePartFails();

private:
    qint64 count(const QString &table);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Connection> m_connection;
};

void StoreOnlyTest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    const QString path = m_dir->filePath(QStringLiteral("store.sqlite"));
    const Status written = writeBlankDatabaseFile(path);
    QVERIFY2(written, written ? "" : qPrintable(written.error().description));
    Result<std::unique_ptr<Connection>> opened = openDatabaseFile(path);
    QVERIFY2(opened, opened ? "" : qPrintable(opened.error().description));
    m_connection = std::move(opened).value();
}

void StoreOnlyTest::cleanup()
{
    m_connection.reset();
    m_dir.reset();
}

qint64 StoreOnlyTest::count(const QString &table)
{
    const Result<std::optional<QVariant>> counted = m_connection->value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table));
    if (!counted || !counted->has_value())
        return -1;
    return (*counted)->toLongLong();
}

void StoreOnlyTest::noWidgetsOrGuiLibraryIsLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray loaded = maps.readAll();
    QVERIFY(loaded.contains("libQt6Sql"));
    QVERIFY2(!loaded.contains("libQt6Widgets"), "the store pulled in Qt Widgets");
    QVERIFY2(!loaded.contains("libQt6Gui"), "the store pulled in Qt Gui");
}

void StoreOnlyTest::valuesAreBoundAndFailuresCarryTheDatabaseMessage()
{
    ContactStore contacts(*m_connection);
    ContactValues values(ContactField::Count);
    const QString hostile = QStringLiteral("x'); DROP TABLE Contacts; --");
    values[ContactField::LastName] = hostile;
    const Result<qint64> key = contacts.insert(values);
    QVERIFY(key);
    const Result<std::optional<QVariant>> stored =
        m_connection->value(QStringLiteral("SELECT LastName FROM Contacts WHERE ContactID = ?"), {*key});
    QVERIFY(stored && stored->has_value());
    QCOMPARE((*stored)->toString(), hostile);

    const Result<Rows> wrong = m_connection->run(QStringLiteral("SELECT NoSuchField FROM Contacts"));
    QVERIFY(!wrong);
    QVERIFY2(wrong.error().description.contains(QLatin1String("no such column")), qPrintable(wrong.error().description));

    const Result<std::optional<QVariant>> none =
        m_connection->value(QStringLiteral("SELECT ContactID FROM Contacts WHERE ContactID = ?"), {*key + 100});
    QVERIFY(none);
    QVERIFY(!none->has_value());
}

void StoreOnlyTest::transactionLandsOnlyWhenCommitted()
{
    {
        Result<Connection::Transaction> transaction = m_connection->begin();
        QVERIFY(transaction);
        QVERIFY(m_connection->execute(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {QStringLiteral("Gone")}));
        QCOMPARE(count(QStringLiteral("\"Contact Types\"")), 1);
        // Leaves the scope without commit(), as an early return of a failure does.
    }
    QVERIFY(!m_connection->inTransaction());
    QCOMPARE(count(QStringLiteral("\"Contact Types\"")), 0);

    {
        Result<Connection::Transaction> transaction = m_connection->begin(Connection::Lock::Immediate);
        QVERIFY(transaction);
        QVERIFY(m_connection->inTransaction());
        QVERIFY(m_connection->execute(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {QStringLiteral("Kept")}));
        QVERIFY(transaction->commit());
        QVERIFY(!transaction->isOpen());
        QVERIFY(!transaction->commit()); // a second commit is refused, not silently accepted
    }
    QCOMPARE(count(QStringLiteral("\"Contact Types\"")), 1);

    // A second connection sees only what was committed.
    Result<std::unique_ptr<Connection>> other = openDatabaseFile(m_connection->path());
    QVERIFY(other);
    const Result<std::optional<QVariant>> seen = (*other)->value(QStringLiteral("SELECT ContactType FROM \"Contact Types\""));
    QVERIFY(seen && seen->has_value());
    QCOMPARE((*seen)->toString(), QStringLiteral("Kept"));
}

void StoreOnlyTest::failedCommitIsRolledBack()
{
    // A deferred foreign key is checked at COMMIT, which then fails.
    QVERIFY(m_connection->execute(QStringLiteral("PRAGMA foreign_keys = ON")));
    QVERIFY(m_connection->execute(QStringLiteral("CREATE TABLE Parent (Id INTEGER PRIMARY KEY)")));
    QVERIFY(m_connection->execute(
        QStringLiteral("CREATE TABLE Child (ParentId INTEGER REFERENCES Parent (Id) DEFERRABLE INITIALLY DEFERRED)")));
    {
        Result<Connection::Transaction> transaction = m_connection->begin();
        QVERIFY(transaction);
        QVERIFY(m_connection->execute(QStringLiteral("INSERT INTO Child VALUES (?)"), {5}));
        const Status committed = transaction->commit();
        QVERIFY(!committed);
        QVERIFY2(committed.error().description.contains(QLatin1String("FOREIGN KEY")), qPrintable(committed.error().description));
        QVERIFY(transaction->isOpen());
        QVERIFY(m_connection->inTransaction());
    }
    QVERIFY(!m_connection->inTransaction());
    QCOMPARE(count(QStringLiteral("Child")), 0);
}

void StoreOnlyTest::deleteKeepsContactAndCallsWhenOnePartFails()
{
    ContactStore contacts(*m_connection);
    CallStore calls(*m_connection);
    ContactValues values(ContactField::Count);
    values[ContactField::FirstName] = QStringLiteral("Ada");
    const Result<qint64> key = contacts.insert(values);
    QVERIFY(key);
    QVERIFY(calls.add(*key, QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9))));
    QVERIFY(calls.add(*key, QDateTime(QDate(2024, 5, 7), QTime(7, 8, 9))));

    // The calls go first; the contact's own row is then refused.
    QVERIFY(m_connection->execute(QStringLiteral(
        "CREATE TRIGGER KeepContacts BEFORE DELETE ON Contacts BEGIN SELECT RAISE(ABORT, 'contacts are kept'); END")));
    const Status removed = contacts.remove(*key);
    QVERIFY(!removed);
    QVERIFY2(removed.error().description.contains(QLatin1String("contacts are kept")), qPrintable(removed.error().description));
    QVERIFY(!m_connection->inTransaction());
    QCOMPARE(count(QStringLiteral("Contacts")), 1);
    QCOMPARE(count(QStringLiteral("Calls")), 2);

    QVERIFY(m_connection->execute(QStringLiteral("DROP TRIGGER KeepContacts")));
    QVERIFY(contacts.remove(*key));
    QCOMPARE(count(QStringLiteral("Contacts")), 0);
    QCOMPARE(count(QStringLiteral("Calls")), 0);
}

QTEST_GUILESS_MAIN(StoreOnlyTest)
#include "tst_store_only.moc"
