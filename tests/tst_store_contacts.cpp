#include "support/TestSupport.h"

#include "store/CallStore.h"
#include "store/Connection.h"
#include "base/ContactFields.h"
#include "store/ContactStore.h"
#include "store/Schema.h"
#include "store/TypeStore.h"

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace {
const QString kRowChanged = QStringLiteral(
    "Row cannot be located for updating. Some values may have been changed since it was last read.");

ContactValues contact(const QVariantMap &fields)
{
    ContactValues values(ContactField::Count);
    for (auto it = fields.cbegin(); it != fields.cend(); ++it)
        values[contactFieldNames().indexOf(it.key())] = it.value();
    return values;
}

// The schema as files were written before the keys were AUTOINCREMENT.
const char *const kOlderSchema[] = {
    "CREATE TABLE \"Contact Types\" (ContactTypeID INTEGER PRIMARY KEY, ContactType TEXT)",
    "CREATE TABLE Contacts (ContactID INTEGER PRIMARY KEY, FirstName TEXT, LastName TEXT, Dear TEXT, Address TEXT, "
    "City TEXT, StateOrProvince TEXT, PostalCode TEXT, Region TEXT, Country TEXT, CompanyName TEXT, Title TEXT, "
    "EmailName TEXT, WorkPhone TEXT, WorkExtension TEXT, HomePhone TEXT, MobilePhone TEXT, FaxNumber TEXT, "
    "Notes TEXT, ContactTypeID INTEGER, ReferredBy TEXT, MaritalStatus TEXT, Hometown TEXT, SpouseName TEXT, "
    "Birthdate TEXT, ContactsInterests TEXT, SpousesInterests TEXT, ChildrenNames TEXT)",
    "CREATE TABLE Calls (CallID INTEGER PRIMARY KEY, ContactID INTEGER, CallDate TEXT, CallTime TEXT, "
    "Subject TEXT, Notes TEXT)",
    "CREATE INDEX idxCallsContactID ON Calls (ContactID)",
    "CREATE INDEX idxMine ON Contacts (City, Country)",
    "CREATE VIEW qryRep1A AS SELECT ContactTypeID AS FirstLetter, ContactType FROM \"Contact Types\"",
    "CREATE VIEW myView AS SELECT FirstName FROM Contacts",
    "INSERT INTO \"Contact Types\" VALUES (3, 'Kunde'), (7, 'Lieferant')",
    "INSERT INTO Contacts (ContactID, FirstName, LastName, ContactTypeID, Notes) VALUES "
    "(2, 'Zoë', 'O''Neil', 7, 'line one\nline two'), (5, 'Юрий', NULL, 3, ' tab\there '), (9, '', 'Last', NULL, NULL)",
    "INSERT INTO Calls VALUES (4, 2, '2021-03-14', '14:30:00', 'Review', NULL), (11, 9, '2020-01-02', '23:59:00', 'Late', 'x')",
};

QStringList rows(Connection &connection, const QString &sql)
{
    Result<Rows> rows = connection.run(sql);
    if (!rows)
        return {rows.error().description};
    QStringList result;
    while (rows->next()) {
        QStringList values;
        for (int i = 0; i < rows->columnCount(); ++i)
            values << (rows->isNull(i) ? QStringLiteral("<null>") : rows->value(i).toString());
        result << values.join(QLatin1Char('|'));
    }
    if (Status read = rows->status(); !read)
        return {read.error().description};
    return result;
}
} // namespace

class StoreContactsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void rowsAreWalkedInKeyOrderAcrossGaps();
    void textsComeBackAsStoredEmptyTextIncluded();
    void updateMergesOtherFieldsAndRefusesAFieldChangedElsewhere();
    void updateOfARowGoneOrReplacedWritesNothing();
    void deletedKeysAreNeverHandedOutAgain();
    void removingAContactRemovesItsCallsOnly();
    void listKeysAndColumns();
    void listOrdersUseIndexesAndPositionsAgreeWithTheKeys();
    void callsAndTypes();
    void readOnlyFileGivesTheDatabaseMessage();
    void lockedFileGivesTheDatabaseMessageAfterTheBusyTimeout();
    void olderFileIsUpgradedOnceKeepingRowsKeysAndPositions();
    void upgradeThatFailsLeavesTheFileAsItWas();

private:
    std::unique_ptr<Connection> open(const QString &path = QString());

    IsolatedEnvironment env;
    QString path;
    std::unique_ptr<Connection> connection;
};

std::unique_ptr<Connection> StoreContactsTest::open(const QString &file)
{
    Result<std::unique_ptr<Connection>> opened = Connection::open(file.isEmpty() ? path : file);
    if (!opened)
        qFatal("open: %s", qPrintable(opened.error().description));
    return std::move(opened).value();
}

void StoreContactsTest::init()
{
    env.reset();
    path = env.root() + QStringLiteral("/store.sqlite");
    QFile::remove(path);
    QVERIFY(writeBlankDatabaseFile(path).ok());
    connection = open();
}

void StoreContactsTest::cleanup()
{
    connection.reset();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
}

void StoreContactsTest::rowsAreWalkedInKeyOrderAcrossGaps()
{
    ContactStore store(*connection);
    QCOMPARE(store.count().value(), 0);
    QVERIFY(!store.first().value().has_value());
    QList<qint64> keys;
    for (const char *name : {"Ann", "Bob", "Cy", "Di"})
        keys << store.insert(contact({{"FirstName", name}})).value();
    QVERIFY(store.remove(keys[1]).ok()); // a gap
    QCOMPARE(store.count().value(), 3);
    QCOMPARE(store.first().value()->at(ContactField::FirstName).toString(), QStringLiteral("Ann"));
    QCOMPARE(store.after(keys[0]).value()->at(ContactField::FirstName).toString(), QStringLiteral("Cy"));
    QCOMPARE(store.before(keys[2]).value()->at(ContactField::FirstName).toString(), QStringLiteral("Ann"));
    QCOMPARE(store.last().value()->at(ContactField::FirstName).toString(), QStringLiteral("Di"));
    QVERIFY(!store.after(keys[3]).value().has_value());
    QVERIFY(!store.before(keys[0]).value().has_value());
    QVERIFY(!store.byKey(keys[1]).value().has_value());
}

void StoreContactsTest::textsComeBackAsStoredEmptyTextIncluded()
{
    ContactStore store(*connection);
    const QString notes = QStringLiteral("  O'Brien said:\r\n\t\"ja\" — 日本語 \n");
    const qint64 key = store.insert(contact({{"FirstName", "Łukasz"}, {"LastName", ""}, {"Notes", notes},
                                             {"Birthdate", "1990-02-28"}, {"ContactTypeID", 4}}))
                           .value();
    const ContactValues row = *store.byKey(key).value();
    QCOMPARE(row[ContactField::FirstName].toString(), QStringLiteral("Łukasz"));
    // An empty text stays an empty text, apart from Null.
    QVERIFY(!row[ContactField::LastName].isNull());
    QCOMPARE(row[ContactField::LastName].toString(), QString());
    QCOMPARE(row[ContactField::Notes].toString(), notes);
    QCOMPARE(row[ContactField::Birthdate].toString(), QStringLiteral("1990-02-28"));
    QCOMPARE(row[ContactField::ContactTypeID].toLongLong(), 4);
    QVERIFY(row[ContactField::City].isNull());
}

void StoreContactsTest::updateMergesOtherFieldsAndRefusesAFieldChangedElsewhere()
{
    ContactStore mine(*connection);
    std::unique_ptr<Connection> otherConnection = open();
    ContactStore other(*otherConnection);
    const qint64 key = mine.insert(contact({{"FirstName", "Xu"}, {"City", "Oslo"}})).value();
    const ContactValues readByMe = *mine.byKey(key).value();
    const ContactValues readByOther = *other.byKey(key).value();

    // Different fields: both edits are kept.
    ContactValues otherEdit = readByOther;
    otherEdit[ContactField::City] = QStringLiteral("Bergen");
    QVERIFY(other.update(key, {ContactField::City}, otherEdit, readByOther).ok());
    ContactValues myEdit = readByMe;
    myEdit[ContactField::Title] = QStringLiteral("Buyer");
    QVERIFY(mine.update(key, {ContactField::Title}, myEdit, readByMe).ok());
    ContactValues stored = *mine.byKey(key).value();
    QCOMPARE(stored[ContactField::City].toString(), QStringLiteral("Bergen"));
    QCOMPARE(stored[ContactField::Title].toString(), QStringLiteral("Buyer"));

    // The same field changed elsewhere since it was read: nothing is written.
    ContactValues stale = readByMe;
    stale[ContactField::City] = QStringLiteral("Rome");
    stale[ContactField::FirstName] = QStringLiteral("Edited Xu");
    const Status refused = mine.update(key, {ContactField::FirstName, ContactField::City}, stale, readByMe);
    QVERIFY(!refused);
    QCOMPARE(refused.error().description, kRowChanged);
    stored = *mine.byKey(key).value();
    QCOMPARE(stored[ContactField::City].toString(), QStringLiteral("Bergen"));
    QCOMPARE(stored[ContactField::FirstName].toString(), QStringLiteral("Xu"));

    // A field read as Null is compared as Null.
    ContactValues fromNull = stored;
    fromNull[ContactField::Country] = QStringLiteral("Norway");
    QVERIFY(mine.update(key, {ContactField::Country}, fromNull, stored).ok());
}

void StoreContactsTest::updateOfARowGoneOrReplacedWritesNothing()
{
    ContactStore store(*connection);
    const qint64 key = store.insert(contact({{"FirstName", "Xu"}})).value();
    const ContactValues read = *store.byKey(key).value();
    ContactValues edit = read;
    edit[ContactField::FirstName] = QStringLiteral("Edited Xu");

    // Another program puts another person under the key (a restore).
    QVERIFY(connection->execute(QStringLiteral("UPDATE Contacts SET FirstName = 'Xena'")));
    Status refused = store.update(key, {ContactField::FirstName}, edit, read);
    QCOMPARE(refused.error().description, kRowChanged);
    QCOMPARE(store.byKey(key).value()->at(ContactField::FirstName).toString(), QStringLiteral("Xena"));

    QVERIFY(store.remove(key).ok());
    refused = store.update(key, {ContactField::FirstName}, edit, read);
    QCOMPARE(refused.error().description, kRowChanged);
    QCOMPARE(store.count().value(), 0);
}

void StoreContactsTest::deletedKeysAreNeverHandedOutAgain()
{
    ContactStore contacts(*connection);
    TypeStore types(*connection);
    CallStore calls(*connection);
    const qint64 firstContact = contacts.insert(contact({{"FirstName", "A"}})).value();
    const qint64 lastContact = contacts.insert(contact({{"FirstName", "B"}})).value();
    const qint64 type = types.add(QStringLiteral("Old")).value();
    const qint64 call = calls.add(lastContact, QDateTime(QDate(2026, 1, 2), QTime(3, 4))).value();
    QVERIFY(contacts.remove(lastContact).ok());
    QVERIFY(types.remove(type).ok());
    QVERIFY(calls.remove(call).ok());
    QVERIFY(contacts.insert(contact({{"FirstName", "C"}})).value() > lastContact);
    QVERIFY(types.add(QStringLiteral("New")).value() > type);
    QVERIFY(calls.add(firstContact, QDateTime::currentDateTime()).value() > call);
}

void StoreContactsTest::removingAContactRemovesItsCallsOnly()
{
    ContactStore contacts(*connection);
    CallStore calls(*connection);
    const qint64 ann = contacts.insert(contact({{"FirstName", "Ann"}})).value();
    const qint64 bob = contacts.insert(contact({{"FirstName", "Bob"}})).value();
    (void)calls.add(ann, QDateTime(QDate(2026, 3, 14), QTime(13, 5)));
    (void)calls.add(bob, QDateTime(QDate(2026, 3, 15), QTime(9, 0)));
    QVERIFY(contacts.remove(ann).ok());
    QCOMPARE(calls.callsOf(ann).value().size(), 0);
    QCOMPARE(calls.callsOf(bob).value().size(), 1);
}

void StoreContactsTest::listKeysAndColumns()
{
    ContactStore store(*connection);
    QList<qint64> keys;
    for (int i = 0; i < 7; ++i)
        keys << store.insert(contact({{"FirstName", QStringLiteral("N%1").arg(i)}, {"Address", "1 Road\nFlat 2"}})).value();
    QVERIFY(store.remove(keys[2]).ok());
    QCOMPARE(store.keysFrom(0, 3).value(), (QVector<qint64>{keys[0], keys[1], keys[3]}));
    QCOMPARE(store.keysFrom(3, 10).value(), (QVector<qint64>{keys[4], keys[5], keys[6]}));
    QCOMPARE(store.keysAfter(keys[1], 2).value(), (QVector<qint64>{keys[3], keys[4]}));
    QCOMPARE(store.keysBelow(keys[4]).value(), 3);
    const QVector<QVariantList> columns = store.listColumns(keys[1], keys[3]).value();
    QCOMPARE(columns.size(), 2);
    QCOMPARE(columns[0].size(), 7);
    QCOMPARE(columns[1][1].toString(), QStringLiteral("N3"));
    QCOMPARE(columns[1][3].toString(), QStringLiteral("1 Road\nFlat 2"));
}

void StoreContactsTest::listOrdersUseIndexesAndPositionsAgreeWithTheKeys()
{
    ContactStore store(*connection);
    const QStringList cities = {"Oslo", "oslo", "OSLO", "", "Åre", " Zug", "Bergen", "O'Hara"};
    QList<qint64> keys;
    for (int i = 0; i < 40; ++i) {
        const QVariant city = i % 9 == 0 ? QVariant() : QVariant(cities[i % cities.size()]);
        keys << store.insert(contact({{"FirstName", QStringLiteral("n%1").arg(i % 5)}, {"City", city},
                                      {"Country", i % 2 ? QVariant("Norway") : QVariant()}})).value();
    }
    for (const int gone : {3, 17, 39})
        QVERIFY(store.remove(keys[gone]).ok());

    for (int column = 0; column < 7; ++column) {
        for (const bool descending : {false, true}) {
            const ContactListOrder order{column, descending};
            const QString name = QStringLiteral("column %1%2").arg(column).arg(descending ? " descending" : "");
            const QString plan = store.orderPlan(order).value().join(QLatin1Char('|'));
            QVERIFY2(plan.contains(QLatin1String("INDEX")) && !plan.contains(QLatin1String("TEMP B-TREE")),
                     qPrintable(name + ": " + plan));
            const QVector<qint64> all = store.keysInOrder(order, 0, 100).value();
            QCOMPARE(all.size(), 37);
            // Blocks read from an offset join up to the whole order.
            QCOMPARE(store.keysInOrder(order, 0, 10).value() + store.keysInOrder(order, 10, 100).value(), all);
            for (int position = 0; position < all.size(); ++position) {
                const std::optional<qint64> found = store.positionInOrder(order, all[position]).value();
                QVERIFY2(found.has_value() && *found == position, qPrintable(name));
            }
            QVERIFY(!store.positionInOrder(order, keys[17]).value().has_value());
        }
    }
    // Ascending City: Null (empty text is stored as Null), " Zug", then the letters ignoring case.
    const QVector<qint64> byCity = store.keysInOrder({4, false}, 0, 100).value();
    QVERIFY(store.byKey(byCity.first()).value()->at(ContactField::City).isNull());
    QCOMPARE(store.byKey(byCity.last()).value()->at(ContactField::City).toString(), QStringLiteral("Åre"));
    QVERIFY(!store.keysInOrder({7, false}, 0, 10).ok());
    QVERIFY(!store.positionInOrder({-1, true}, keys[0]).ok());
}

void StoreContactsTest::callsAndTypes()
{
    CallStore calls(*connection);
    const qint64 first = calls.add(7, QDateTime(QDate(2021, 3, 14), QTime(14, 30))).value();
    const qint64 second = calls.add(7, QDateTime(QDate(2020, 1, 2), QTime(23, 59))).value();
    QVERIFY(calls.setField(second, CallStore::Subject, QStringLiteral("It's done\ttoday")).ok());
    QVERIFY(calls.setField(second, CallStore::Notes, QString()).ok());
    QVERIFY(!calls.setField(second, CallStore::ContactID, 8));
    const QVector<CallValues> log = calls.callsOf(7).value();
    QCOMPARE(log.size(), 2);
    QCOMPARE(log[0][CallStore::CallID].toLongLong(), first);
    QCOMPARE(log[0][CallStore::CallDate].toString(), QStringLiteral("2021-03-14"));
    QCOMPARE(log[0][CallStore::CallTime].toString(), QStringLiteral("14:30:00"));
    QVERIFY(log[0][CallStore::Subject].isNull());
    QCOMPARE(log[1][CallStore::Subject].toString(), QStringLiteral("It's done\ttoday"));
    QVERIFY(log[1][CallStore::Notes].isNull());
    QVERIFY(calls.remove(first).ok());
    QCOMPARE(calls.setField(first, CallStore::Subject, QStringLiteral("x")).error().description, kRowChanged);

    TypeStore types(*connection);
    const qint64 zulu = types.add(QStringLiteral("Zulu")).value();
    types.add(QStringLiteral("Ärzte")).value();
    types.add(QStringLiteral("Alpha")).value();
    QVERIFY(types.rename(zulu, QStringLiteral("Beta")).ok());
    QStringList names;
    const QVector<ContactTypeRow> all = types.all().value();
    for (const ContactTypeRow &row : all)
        names << row.name.toString();
    QCOMPARE(names, (QStringList{"Alpha", "Beta", "Ärzte"})); // the database's own order
    QVERIFY(types.remove(zulu).ok());
    QCOMPARE(types.rename(zulu, QStringLiteral("Gone")).error().description, kRowChanged);
}

void StoreContactsTest::readOnlyFileGivesTheDatabaseMessage()
{
    ContactStore store(*connection);
    const qint64 key = store.insert(contact({{"FirstName", "Ann"}})).value();
    connection.reset();
    // A file the program may only read (the tests may run with rights that
    // ignore file permissions, so the connection is made read-only itself).
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner));
    std::unique_ptr<Connection> readOnly = open();
    QVERIFY(readOnly->execute(QStringLiteral("PRAGMA query_only = ON")).ok());
    QVERIFY(prepareSchema(*readOnly).ok()); // nothing to change: a read-only file still opens
    ContactStore reader(*readOnly);
    QCOMPARE(reader.first().value()->at(ContactField::FirstName).toString(), QStringLiteral("Ann"));
    const Result<qint64> refused = reader.insert(contact({{"FirstName", "Bob"}}));
    QVERIFY(!refused);
    QVERIFY2(refused.error().description.contains(QLatin1String("readonly database")), qPrintable(refused.error().description));
    const Status removed = reader.remove(key);
    QVERIFY(!removed);
    QVERIFY(removed.error().description.contains(QLatin1String("readonly database")));
    QCOMPARE(reader.count().value(), 1);
}

void StoreContactsTest::lockedFileGivesTheDatabaseMessageAfterTheBusyTimeout()
{
    ContactStore store(*connection);
    const qint64 key = store.insert(contact({{"FirstName", "Ann"}})).value();
    std::unique_ptr<Connection> holder = open();
    QVERIFY(holder->execute(QStringLiteral("BEGIN EXCLUSIVE")).ok());
    const ContactValues read = *store.byKey(key).value(); // readers still read
    ContactValues edit = read;
    edit[ContactField::City] = QStringLiteral("Rome");
    const Status refused = store.update(key, {ContactField::City}, edit, read);
    QVERIFY(!refused);
    QVERIFY2(refused.error().description.contains(QLatin1String("locked")), qPrintable(refused.error().description));
    QVERIFY(holder->execute(QStringLiteral("ROLLBACK")).ok());
    QVERIFY(store.update(key, {ContactField::City}, edit, read).ok());
}

void StoreContactsTest::olderFileIsUpgradedOnceKeepingRowsKeysAndPositions()
{
    const QString older = env.root() + QStringLiteral("/older.sqlite");
    QFile::remove(older);
    {
        Result<std::unique_ptr<Connection>> made = Connection::open(older, Connection::Open::CreateIfMissing);
        QVERIFY(made.ok());
        for (const char *statement : kOlderSchema)
            QVERIFY2((*made)->execute(QString::fromUtf8(statement)).ok(), statement);
    }
    std::unique_ptr<Connection> file = open(older);
    const QStringList contactsBefore = rows(*file, QStringLiteral("SELECT * FROM Contacts ORDER BY ContactID"));
    const QStringList callsBefore = rows(*file, QStringLiteral("SELECT * FROM Calls ORDER BY CallID"));
    const QStringList typesBefore = rows(*file, QStringLiteral("SELECT * FROM \"Contact Types\" ORDER BY 1"));
    const QStringList columnsBefore = rows(*file, QStringLiteral("SELECT name FROM pragma_table_info('Contacts')"));
    QCOMPARE(schemaVersion(*file).value(), 0);

    const Status upgraded = prepareSchema(*file);
    QVERIFY2(upgraded.ok(), qPrintable(upgraded ? QString() : upgraded.error().description));
    QCOMPARE(schemaVersion(*file).value(), kSchemaVersion);
    for (const QString &table : {QStringLiteral("Contacts"), QStringLiteral("Calls"), QStringLiteral("Contact Types")}) {
        const QStringList sql = rows(*file, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = '%1'").arg(table));
        QVERIFY2(sql.value(0).contains(QLatin1String("AUTOINCREMENT")), qPrintable(sql.value(0)));
    }
    QCOMPARE(rows(*file, QStringLiteral("SELECT * FROM Contacts ORDER BY ContactID")), contactsBefore);
    QCOMPARE(rows(*file, QStringLiteral("SELECT * FROM Calls ORDER BY CallID")), callsBefore);
    QCOMPARE(rows(*file, QStringLiteral("SELECT * FROM \"Contact Types\" ORDER BY 1")), typesBefore);
    QCOMPARE(rows(*file, QStringLiteral("SELECT name FROM pragma_table_info('Contacts')")), columnsBefore);
    QCOMPARE(columnsBefore, contactFieldNames());
    // The file's own index and view are still there, and so are the schema's.
    QCOMPARE(rows(*file, QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name IN ('idxMine', 'myView', "
                                        "'idxContactsOrder', 'qryRep3B')")),
             QStringList{"4"});
    QCOMPARE(rows(*file, QStringLiteral("SELECT FirstName FROM myView ORDER BY 1")), (QStringList{"", "Zoë", "Юрий"}));

    // The highest key is not handed out again after its row is deleted.
    ContactStore contacts(*file);
    QVERIFY(contacts.remove(9).ok());
    QCOMPARE(contacts.insert(contact({{"FirstName", "New"}})).value(), 10);
    TypeStore types(*file);
    QVERIFY(types.remove(7).ok());
    QCOMPARE(types.add(QStringLiteral("New Type")).value(), 8);

    // A second start changes nothing.
    const QStringList schema = rows(*file, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name"));
    QVERIFY(prepareSchema(*file).ok());
    QCOMPARE(rows(*file, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name")), schema);
}

void StoreContactsTest::upgradeThatFailsLeavesTheFileAsItWas()
{
    const QString older = env.root() + QStringLiteral("/older-busy.sqlite");
    QFile::remove(older);
    {
        Result<std::unique_ptr<Connection>> made = Connection::open(older, Connection::Open::CreateIfMissing);
        QVERIFY(made.ok());
        for (const char *statement : kOlderSchema)
            QVERIFY((*made)->execute(QString::fromUtf8(statement)).ok());
        // A table in the way of the rebuild makes it fail halfway.
        QVERIFY((*made)->execute(QStringLiteral("CREATE TABLE corvanta_upgrade (x)")).ok());
    }
    std::unique_ptr<Connection> file = open(older);
    const QStringList before = rows(*file, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name"));
    const Status failed = prepareSchema(*file);
    QVERIFY(!failed);
    QVERIFY2(failed.error().description.contains(QLatin1String("corvanta_upgrade")), qPrintable(failed.error().description));
    QCOMPARE(rows(*file, QStringLiteral("SELECT type, name, sql FROM sqlite_master ORDER BY name")), before);
    QCOMPARE(schemaVersion(*file).value(), 0);
    QCOMPARE(rows(*file, QStringLiteral("SELECT COUNT(*) FROM Contacts")), QStringList{"3"});
}

QTEST_MAIN(StoreContactsTest)
#include "tst_store_contacts.moc"
