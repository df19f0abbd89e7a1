#include "support/TestSupport.h"

#include "store/Connection.h"
#include "base/ContactFields.h"
#include "store/ContactStore.h"
#include "store/Schema.h"
#include "store/UidStore.h"

#include <QFile>
#include <QSqlQuery>
#include <QtTest>

namespace {
ContactValues named(const QString &first)
{
    ContactValues values(ContactField::Count);
    values[ContactField::FirstName] = first;
    return values;
}

std::unique_ptr<Connection> openFile(const QString &path)
{
    Result<std::unique_ptr<Connection>> opened = Connection::open(path);
    if (!opened)
        qFatal("open: %s", qPrintable(opened.error().description));
    return std::move(opened).value();
}

int uidRows(Connection &connection)
{
    const Result<std::optional<QVariant>> count = connection.value(QStringLiteral("SELECT COUNT(*) FROM ContactUids"));
    return count && count->has_value() ? (*count)->toInt() : -1;
}
} // namespace

class StoreUidsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }
    void aContactKeepsTheUidItIsFirstGiven();
    void importedUidsAreKeptAndNeverShared();
    void deletingAContactDeletesItsUid();
    void anOlderFileGainsTheTableAndKeepsItsRows();

private:
    IsolatedEnvironment env;
};

void StoreUidsTest::aContactKeepsTheUidItIsFirstGiven()
{
    const QString path = env.root() + QStringLiteral("/uids.sqlite");
    QVERIFY(writeBlankDatabaseFile(path).ok());
    auto connection = openFile(path);
    ContactStore contacts(*connection);
    UidStore uids(*connection);
    const qint64 ann = contacts.insert(named(QStringLiteral("Ann"))).value();
    const qint64 bob = contacts.insert(named(QStringLiteral("Bob"))).value();

    QVERIFY(!uids.storedUidOf(ann).value().has_value());
    const QString annUid = uids.uidOf(ann).value();
    QVERIFY(!QUuid::fromString(annUid).isNull());
    QCOMPARE(annUid, annUid.toLower());
    QCOMPARE(uids.uidOf(ann).value(), annUid);
    QVERIFY(uids.uidOf(bob).value() != annUid);
    QCOMPARE(uids.contactOfUid(annUid).value(), std::optional<qint64>(ann));

    // The UID lives in the file, not in the connection.
    connection.reset();
    connection = openFile(path);
    UidStore reopened(*connection);
    QCOMPARE(reopened.uidOf(ann).value(), annUid);

    // A key without a contact gets no UID.
    const Result<QString> none = reopened.uidOf(ann + bob + 100);
    QVERIFY(!none);
    QVERIFY(none.error().description.contains(QString::number(ann + bob + 100)));
    QCOMPARE(uidRows(*connection), 2);
}

void StoreUidsTest::importedUidsAreKeptAndNeverShared()
{
    const QString path = env.root() + QStringLiteral("/import.sqlite");
    QVERIFY(writeBlankDatabaseFile(path).ok());
    auto connection = openFile(path);
    ContactStore contacts(*connection);
    UidStore uids(*connection);
    const qint64 ann = contacts.insert(named(QStringLiteral("Ann"))).value();
    const qint64 bob = contacts.insert(named(QStringLiteral("Bob"))).value();

    const QString cardUid = QStringLiteral("urn:uuid:4fbe8971-0bc3-424c-9c26-36c3e1eff6b1");
    QVERIFY(uids.setUid(ann, QStringLiteral("  ") + cardUid + QStringLiteral("\n")).ok());
    QCOMPARE(uids.uidOf(ann).value(), cardUid);
    QCOMPARE(uids.contactOfUid(cardUid).value(), std::optional<qint64>(ann));

    const Status taken = uids.setUid(bob, cardUid);
    QVERIFY(!taken);
    QVERIFY(taken.error().description.contains(cardUid));
    QVERIFY(!uids.storedUidOf(bob).value().has_value());
    QVERIFY(!uids.setUid(bob, QStringLiteral(" ")));

    // Setting the UID a contact already has changes nothing; a new one replaces it.
    QVERIFY(uids.setUid(ann, cardUid).ok());
    QVERIFY(uids.setUid(ann, QStringLiteral("ann@example.org")).ok());
    QCOMPARE(uids.uidOf(ann).value(), QStringLiteral("ann@example.org"));
    QVERIFY(!uids.contactOfUid(cardUid).value().has_value());
    QCOMPARE(uidRows(*connection), 1);
}

void StoreUidsTest::deletingAContactDeletesItsUid()
{
    const QString path = env.root() + QStringLiteral("/delete.sqlite");
    QVERIFY(writeBlankDatabaseFile(path).ok());
    auto connection = openFile(path);
    ContactStore contacts(*connection);
    UidStore uids(*connection);
    const qint64 ann = contacts.insert(named(QStringLiteral("Ann"))).value();
    const qint64 bob = contacts.insert(named(QStringLiteral("Bob"))).value();
    const QString annUid = uids.uidOf(ann).value();
    const QString bobUid = uids.uidOf(bob).value();

    QVERIFY(contacts.remove(ann).ok());
    QVERIFY(!uids.contactOfUid(annUid).value().has_value());
    QCOMPARE(uids.contactOfUid(bobUid).value(), std::optional<qint64>(bob));
    QCOMPARE(uidRows(*connection), 1);
    // The next contact never inherits the deleted one's identity.
    const qint64 cy = contacts.insert(named(QStringLiteral("Cy"))).value();
    QVERIFY(uids.uidOf(cy).value() != annUid);
}

void StoreUidsTest::anOlderFileGainsTheTableAndKeepsItsRows()
{
    const QString path = env.root() + QStringLiteral("/older.sqlite");
    {
        QVERIFY(writeBlankDatabaseFile(path).ok());
        auto connection = openFile(path);
        QVERIFY(connection->execute(QStringLiteral("DROP TABLE ContactUids")).ok());
        QVERIFY(connection->execute(QStringLiteral("INSERT INTO Contacts (ContactID, FirstName) VALUES (7, 'Old')")).ok());
    }
    auto connection = openFile(path);
    QVERIFY(uidRows(*connection) < 0);
    QVERIFY(prepareSchema(*connection).ok());
    QCOMPARE(uidRows(*connection), 0);
    UidStore uids(*connection);
    const QString uid = uids.uidOf(7).value();
    QCOMPARE(uids.contactOfUid(uid).value(), std::optional<qint64>(7));
    ContactStore contacts(*connection);
    QCOMPARE(contacts.byKey(7).value()->at(ContactField::FirstName).toString(), QStringLiteral("Old"));
}

QTEST_MAIN(StoreUidsTest)
#include "tst_store_uids.moc"
