#include "support/TestSupport.h"

#include "base/Paths.h"
#include "store/Connection.h"
#include "store/SearchPattern.h"
#include "store/SearchStore.h"

#include <QDir>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <memory>

namespace {
using Ids = QList<qint64>;

Ids sorted(Ids ids)
{
    std::sort(ids.begin(), ids.end());
    return ids;
}

// Every key of a search, read in small chunks.
Result<Ids> allKeys(SearchStore &store, const QString &typed, int chunk = 3)
{
    if (Status started = store.start(typed); !started)
        return started.error();
    Ids keys;
    while (store.searching()) {
        Result<Ids> more = store.nextKeys(chunk);
        if (!more)
            return more.error();
        keys += *more;
    }
    return keys;
}
} // namespace

class SearchStoreTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keysArriveInChunksAndTheSearchEnds();
    void aDeadlineEndsAChunkButNotTheSearch();
    void rowsFollowTheKeysAndSkipContactsNoLongerThere();
    void rowsAreReadForManyKeys();
    void containsTellsWhetherTheContactIsThere();
    void theDatabaseDecidesUnlessALetterWithCaseFormsFollowsAWildcard_data();
    void theDatabaseDecidesUnlessALetterWithCaseFormsFollowsAWildcard();
    void keysAreExactlyTheMatchingContacts_data();
    void keysAreExactlyTheMatchingContacts();
    void failuresCarryTheDatabasesMessage();
    void searchConnectionsLeaveTheOtherConnectionsAlone();

private:
    qint64 add(const QVariantMap &values)
    {
        QVariantMap map = values;
        map.insert(QStringLiteral("ContactTypeID"), type);
        return TestData::addContact(db, map);
    }
    std::unique_ptr<SearchStore> openStore()
    {
        Result<std::unique_ptr<SearchStore>> store = SearchStore::open(liveDatabasePath());
        if (!store)
            qFatal("%s", qPrintable(store.error().description));
        return std::move(store).value();
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
    qint64 type = 0;
};

void SearchStoreTest::init()
{
    env.reset();
    db = TestData::openLive();
    type = TestData::addType(db, QStringLiteral("Customer"));
}

void SearchStoreTest::cleanup()
{
    TestData::close(db);
}

void SearchStoreTest::keysArriveInChunksAndTheSearchEnds()
{
    Ids expected;
    for (int i = 0; i < 7; ++i)
        expected << add({{"LastName", QStringLiteral("Smith %1").arg(i)}});
    add({{"LastName", "Jones"}});
    auto store = openStore();

    QVERIFY(store->start(QStringLiteral("smi")));
    QVERIFY(store->searching());
    Result<Ids> first = store->nextKeys(3);
    QVERIFY(first);
    QCOMPARE(first->size(), 3);
    QVERIFY(store->searching());
    Result<Ids> second = store->nextKeys(3);
    QCOMPARE(second->size(), 3);
    Result<Ids> last = store->nextKeys(3);
    QCOMPARE(last->size(), 1);
    QVERIFY(!store->searching());
    QVERIFY(store->nextKeys(3)->isEmpty());
    QCOMPARE(sorted(*first + *second + *last), expected);

    // A new search ends the running one; stop() ends it too.
    QVERIFY(store->start(QStringLiteral("smi")));
    QVERIFY(store->start(QStringLiteral("jo")));
    QCOMPARE(store->nextKeys(10)->size(), 1);
    QVERIFY(store->start(QStringLiteral("smi")));
    store->stop();
    QVERIFY(!store->searching());
    QVERIFY(store->nextKeys(10)->isEmpty());
}

void SearchStoreTest::aDeadlineEndsAChunkButNotTheSearch()
{
    QVERIFY(db.transaction());
    Ids expected;
    for (int i = 0; i < 5000; ++i) {
        const bool rare = i == 10 || i == 4990;
        const qint64 id = add({{"Title", rare ? QStringLiteral("Czär %1").arg(i) : QStringLiteral("Czar %1").arg(i)}});
        if (rare)
            expected << id;
    }
    QVERIFY(db.commit());
    auto store = openStore();

    // After a wildcard the database cannot tell ä from a: every Czar comes
    // back to be checked here, and the deadline ends a chunk among them.
    QVERIFY(!SearchPattern(QStringLiteral("%zär")).databaseDecides());
    QVERIFY(store->start(QStringLiteral("%zär")));
    Ids keys;
    int chunks = 0;
    while (store->searching()) {
        Result<Ids> more = store->nextKeys(100, QDeadlineTimer(0));
        QVERIFY(more);
        keys += *more;
        ++chunks;
    }
    QVERIFY(chunks > 2);
    QCOMPARE(sorted(keys), expected);
}

void SearchStoreTest::rowsFollowTheKeysAndSkipContactsNoLongerThere()
{
    const qint64 anna = add({{"FirstName", "Anna"}, {"LastName", "O'Brien"}, {"Address", "1 Main St\nFlat 2"},
                             {"City", " Oslo "}, {"CompanyName", "Café\tÉmile"}, {"Title", "Ἀρχιτέκτων"}});
    const qint64 nulls = add({{"LastName", "Nobody"}});
    const qint64 empty = add({{"FirstName", ""}, {"LastName", "Empty"}});
    const qint64 gone = add({{"LastName", "Gone"}});
    QSqlQuery remove(db);
    QVERIFY(remove.exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(gone)));
    auto store = openStore();

    Result<QList<SearchRow>> rows = store->rows({empty, gone, anna, nulls});
    QVERIFY(rows);
    QCOMPARE(rows->size(), 3);
    QCOMPARE(rows->at(0).contactId, empty);
    QCOMPARE(rows->at(1).contactId, anna);
    QCOMPARE(rows->at(2).contactId, nulls);
    QCOMPARE(rows->at(1).texts, (QStringList{"Anna", "O'Brien", "1 Main St\nFlat 2", " Oslo ", "Café\tÉmile",
                                              "Ἀρχιτέκτων"}));
    QCOMPARE(rows->at(2).texts, (QStringList{"", "Nobody", "", "", "", ""}));
    QCOMPARE(rows->at(0).texts.first(), QString());
    QVERIFY(store->rows({})->isEmpty());
}

void SearchStoreTest::rowsAreReadForManyKeys()
{
    Ids keys;
    QVERIFY(db.transaction());
    for (int i = 0; i < 1234; ++i)
        keys << add({{"LastName", QStringLiteral("Miller %1").arg(i)}});
    QVERIFY(db.commit());
    std::reverse(keys.begin(), keys.end());
    auto store = openStore();

    Result<QList<SearchRow>> rows = store->rows(keys);
    QVERIFY(rows);
    QCOMPARE(rows->size(), keys.size());
    for (int i = 0; i < keys.size(); ++i)
        QCOMPARE(rows->at(i).contactId, keys.at(i));
    QCOMPARE(rows->last().texts.value(1), QStringLiteral("Miller 0"));
}

void SearchStoreTest::containsTellsWhetherTheContactIsThere()
{
    const qint64 anna = add({{"FirstName", "Anna"}});
    auto store = openStore();
    QCOMPARE(store->contains(anna).valueOr(false), true);
    QCOMPARE(store->contains(anna + 1).valueOr(true), false);
    QSqlQuery remove(db);
    QVERIFY2(remove.exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(anna)), qPrintable(remove.lastError().text()));
    QCOMPARE(store->contains(anna).valueOr(true), false);
}

void SearchStoreTest::theDatabaseDecidesUnlessALetterWithCaseFormsFollowsAWildcard_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("decides");
    QTest::newRow("ASCII") << "Smith" << true;
    QTest::newRow("accent in the beginning") << "Mü" << true;
    QTest::newRow("ASCII after a wildcard") << "%ton" << true;
    QTest::newRow("s has the long s as a case form") << "%son" << false;
    QTest::newRow("accent after a wildcard") << "%Émile" << false;
    QTest::newRow("accent after one any-character") << "S_ö" << false;
    QTest::newRow("k has the Kelvin sign as a case form") << "%k" << false;
    QTest::newRow("more case forms than key ranges") << "ééééé" << false;
}

void SearchStoreTest::theDatabaseDecidesUnlessALetterWithCaseFormsFollowsAWildcard()
{
    QFETCH(QString, typed);
    QFETCH(bool, decides);
    QCOMPARE(SearchPattern(typed).databaseDecides(), decides);
}

void SearchStoreTest::keysAreExactlyTheMatchingContacts_data()
{
    QTest::addColumn<QString>("typed");
    for (const char *typed : {"Sm", "%son", "%ÉMILE", "é", "É", "%é", "s_ö", "%k", "K", "σ", "%Σ", "o'", " O",
                              "ééééé", "_", "%\t", "Zo%ë", "ж"})
        QTest::newRow(typed) << QString::fromUtf8(typed);
}

// Whatever the database decides and whatever is checked row by row, the keys
// are those of the contacts that SearchPattern::matches() finds in any field.
void SearchStoreTest::keysAreExactlyTheMatchingContacts()
{
    QFETCH(QString, typed);
    const QStringList values = {
        "Smith",      "smyth",     "Johnson",   "Café Émile", "Camile",      "Amile",     "émile",
        "Émile",      "Söder",     "Sxöder",    "SÖren",      "kelvin",      "\u212Aelvin", "Karl",
        "Σοφία",      "ς",         "σ",         "O'Brien",    " Oslo",       "ÉÉÉÉÉ",     "ééééé",
        "éÉéÉéx",     "a\tb",      "\ttab",     "Zoë",        "Zoe",         "Жанна",     "жук",
        "",           "Émilie"};
    const QStringList &fields = SearchPattern::fields();
    QVERIFY(db.transaction());
    Ids expected;
    const SearchPattern pattern(typed);
    for (int i = 0; i < values.size(); ++i) {
        // Each value in another field, beside a value that never matches.
        const QString field = fields.at(i % fields.size());
        const QString other = fields.at((i + 5) % fields.size());
        const qint64 id = add(QVariantMap{{field, values.at(i)}, {other, QStringLiteral("~~~")}});
        if (pattern.matches(values.at(i)) || pattern.matches(QStringLiteral("~~~")))
            expected << id;
    }
    QVERIFY(db.commit());
    auto store = openStore();

    Result<Ids> keys = allKeys(*store, typed);
    QVERIFY2(keys, qPrintable(keys ? QString() : keys.error().description));
    QCOMPARE(sorted(*keys), expected);
    QCOMPARE(QSet<qint64>(keys->cbegin(), keys->cend()).size(), keys->size());
}

void SearchStoreTest::failuresCarryTheDatabasesMessage()
{
    // A database without the Contacts table.
    const QString bare = env.root() + QStringLiteral("/bare.sqlite");
    {
        Result<std::unique_ptr<Connection>> created = Connection::open(bare, Connection::Open::CreateIfMissing);
        QVERIFY(created);
        QVERIFY((*created)->execute(QStringLiteral("CREATE TABLE Other (x)")));
    }
    Result<std::unique_ptr<SearchStore>> store = SearchStore::open(bare);
    QVERIFY(store);
    const Status started = (*store)->start(QStringLiteral("Sm"));
    QVERIFY(!started);
    QVERIFY2(started.error().description.contains(QLatin1String("no such table: Contacts")),
             qPrintable(started.error().description));
    QVERIFY(!(*store)->searching());
    QVERIFY((*store)->nextKeys(5)->isEmpty());
    const Result<QList<SearchRow>> rows = (*store)->rows({1, 2});
    QVERIFY(!rows);
    QVERIFY(rows.error().description.contains(QLatin1String("no such table: Contacts")));
    QVERIFY(!(*store)->contains(1));
    QVERIFY(!(*store)->queryPlan(QStringLiteral("Sm")));

    // A file that is not there, and a folder in place of the file.
    const Result<std::unique_ptr<SearchStore>> missing = SearchStore::open(env.root() + QStringLiteral("/none.sqlite"));
    QVERIFY(!missing);
    QVERIFY(missing.error().description.startsWith(QLatin1String("Could not find file")));
    QDir(env.root()).mkpath(QStringLiteral("folder.sqlite"));
    const Result<std::unique_ptr<SearchStore>> folder = SearchStore::open(env.root() + QStringLiteral("/folder.sqlite"));
    if (folder)
        QVERIFY(!(*folder)->start(QStringLiteral("Sm")));
    else
        QVERIFY(!folder.error().description.isEmpty());
}

// The main window holds its connection while the search window opens and
// closes its own ones, many times in a run.
void SearchStoreTest::searchConnectionsLeaveTheOtherConnectionsAlone()
{
    const qint64 anna = add({{"FirstName", "Anna"}});
    for (int i = 0; i < 40; ++i) {
        auto store = openStore();
        QVERIFY(store->contains(anna).valueOr(false));
        QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts")).toInt(), 1);
    }
}

QTEST_MAIN(SearchStoreTest)
#include "tst_searchstore.moc"
