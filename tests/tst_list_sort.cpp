// Sorting the main window's contact list by clicking its column captions.

#include "support/TestSupport.h"

#include "contacts/Form1.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QTableView>
#include <QtTest>

namespace {
QTableView *listOf(Form1 &main)
{
    return child<QTableView>(&main, QStringLiteral("ListView1"));
}

// Clicks a column caption as the user does.
void clickHeader(Form1 &main, int column)
{
    QHeaderView *header = listOf(main)->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

QList<qint64> listedKeys(Form1 &main)
{
    QAbstractItemModel *model = listOf(main)->model();
    QList<qint64> keys;
    for (int row = 0; row < model->rowCount(); ++row)
        keys << model->index(row, 0).data().toLongLong();
    return keys;
}

qint64 selectedKey(Form1 &main)
{
    const QModelIndex current = listOf(main)->currentIndex();
    return current.isValid() ? current.siblingAtColumn(0).data().toLongLong() : -1;
}

QString banner(Form1 &main)
{
    return child<QLabel>(&main, QStringLiteral("FullName1"))->text();
}
} // namespace

class ListSortTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { TestData::close(db); }

    void aClickSortsByTheColumnAndASecondClickReverses();
    void everyColumnSortsAndTheKeyColumnReverses();
    void theCurrentContactStaysSelectedWhenSorting();
    void savingAfterSortingKeepsTheContactAndRestoresKeyOrder();
    void aLargeListSortsAcrossBlocksAndFindsEveryContact();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
    QList<qint64> keys; // in the order the contacts were added
};

void ListSortTest::init()
{
    env.reset();
    db = TestData::openLive();
    keys.clear();
    const qint64 type = TestData::addType(db, QStringLiteral("Friend"));
    // Case differences, Null and empty text, an apostrophe, a leading blank, accents.
    const QList<QVariantMap> contacts = {
        {{"FirstName", "zoe"}, {"LastName", "smith"}, {"City", "Oslo"}},
        {{"FirstName", "Al"}, {"LastName", QVariant()}, {"City", "bergen"}},
        {{"FirstName", "Émile"}, {"LastName", "Adams"}, {"City", QVariant()}},
        {{"FirstName", "Bea"}, {"LastName", "Smith"}, {"City", "Bergen"}},
        {{"FirstName", "Cy"}, {"LastName", ""}, {"City", "Åre"}},
        {{"FirstName", "Dan"}, {"LastName", "O'Brien"}, {"City", " Zug"}},
        {{"FirstName", "Eve"}, {"LastName", "Zhou"}, {"City", "oslo"}},
        {{"FirstName", "Gone"}, {"LastName", "Deleted"}, {"City", "Nowhere"}},
    };
    for (QVariantMap fields : contacts) {
        fields.insert(QStringLiteral("ContactTypeID"), type);
        keys << TestData::addContact(db, fields);
    }
    // A deleted contact leaves a gap in the keys.
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(keys.takeLast()));
}

void ListSortTest::aClickSortsByTheColumnAndASecondClickReverses()
{
    Form1 main;
    QVERIFY(showActive(&main));
    QHeaderView *header = listOf(main)->horizontalHeader();
    QCOMPARE(listedKeys(main), keys);
    QVERIFY(!header->isSortIndicatorShown());

    clickHeader(main, 2); // "Lastname"
    // Null first, then empty text, then the names ignoring case, equal names in key order.
    const QList<qint64> ascending = {keys[1], keys[4], keys[2], keys[5], keys[0], keys[3], keys[6]};
    QCOMPARE(listedKeys(main), ascending);
    QVERIFY(header->isSortIndicatorShown());
    QCOMPARE(header->sortIndicatorSection(), 2);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(listOf(main)->model()->index(3, 2).data().toString(), QStringLiteral("O'Brien"));

    clickHeader(main, 2);
    QList<qint64> descending = ascending;
    std::reverse(descending.begin(), descending.end());
    QCOMPARE(listedKeys(main), descending);
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);

    clickHeader(main, 2);
    QCOMPARE(listedKeys(main), ascending);
    QVERIFY(env.messages.errors().isEmpty());
}

void ListSortTest::everyColumnSortsAndTheKeyColumnReverses()
{
    Form1 main;
    QVERIFY(showActive(&main));
    clickHeader(main, 4); // "City": Null, " Zug", the two Bergens in key order, the two Oslos, then "Åre" (not an ASCII letter)
    QCOMPARE(listedKeys(main), QList<qint64>({keys[2], keys[5], keys[1], keys[3], keys[0], keys[6], keys[4]}));

    clickHeader(main, 1); // "FirstName": a new column starts ascending
    QCOMPARE(listedKeys(main), QList<qint64>({keys[1], keys[3], keys[4], keys[5], keys[6], keys[0], keys[2]}));
    QCOMPARE(listOf(main)->horizontalHeader()->sortIndicatorOrder(), Qt::AscendingOrder);

    clickHeader(main, 0); // "Address ID": key order, then reversed
    QCOMPARE(listedKeys(main), keys);
    clickHeader(main, 0);
    QList<qint64> reversed = keys;
    std::reverse(reversed.begin(), reversed.end());
    QCOMPARE(listedKeys(main), reversed);

    for (int column = 3; column < 7; ++column) {
        clickHeader(main, column);
        QCOMPARE(listOf(main)->model()->rowCount(), keys.size());
        QCOMPARE(listOf(main)->horizontalHeader()->sortIndicatorSection(), column);
    }
    QVERIFY(env.messages.errors().isEmpty());
}

void ListSortTest::theCurrentContactStaysSelectedWhenSorting()
{
    Form1 main;
    QVERIFY(showActive(&main));
    clickListRow(&main, 6); // Eve Zhou
    QCOMPARE(banner(main), QStringLiteral("Eve Zhou"));

    clickHeader(main, 2);
    QCOMPARE(selectedKey(main), keys[6]);
    QCOMPARE(listOf(main)->currentIndex().row(), 6);
    clickHeader(main, 2);
    QCOMPARE(selectedKey(main), keys[6]);
    QCOMPARE(listOf(main)->currentIndex().row(), 0);
    QCOMPARE(banner(main), QStringLiteral("Eve Zhou"));
    QCOMPARE(child<QLineEdit>(&main, QStringLiteral("Text1_0"))->text(), QStringLiteral("Eve"));

    // Moving with the bar does not move the selection, as before sorting;
    // clicking another row of the sorted list shows that contact.
    clickListRow(&main, 1); // Smith, Bea
    QCOMPARE(banner(main), QStringLiteral("Bea Smith"));
    QCOMPARE(selectedKey(main), keys[3]);
}

void ListSortTest::savingAfterSortingKeepsTheContactAndRestoresKeyOrder()
{
    Form1 main;
    QVERIFY(showActive(&main));
    clickHeader(main, 2);
    clickHeader(main, 2); // descending: Zhou, Smith, smith, O'Brien, Adams, '', Null
    clickListRow(&main, 3);
    QCOMPARE(banner(main), QStringLiteral("Dan O'Brien"));

    auto *city = child<QLineEdit>(&main, QStringLiteral("Text1_12"));
    city->setFocus(Qt::MouseFocusReason);
    city->selectAll();
    QTest::keyClicks(city, QStringLiteral("Cork"));
    QTest::mouseClick(child<QPushButton>(&main, QStringLiteral("PushButton7")), Qt::LeftButton);

    // The rebuilt list is in key order again, without a sort mark, and the
    // edited contact is still the current and the selected one.
    QCOMPARE(listedKeys(main), keys);
    QVERIFY(!listOf(main)->horizontalHeader()->isSortIndicatorShown());
    QCOMPARE(banner(main), QStringLiteral("Dan O'Brien"));
    QCOMPARE(selectedKey(main), keys[5]);
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT City FROM Contacts WHERE ContactID = ?"), {keys[5]}).toString(),
             QStringLiteral("Cork"));
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE City = 'Cork'")).toInt(), 1);
}

void ListSortTest::aLargeListSortsAcrossBlocksAndFindsEveryContact()
{
    // More rows than one block of keys, with many equal values ignoring case.
    QVERIFY(db.transaction());
    QSqlQuery insert(db);
    QVERIFY(insert.prepare(QStringLiteral("INSERT INTO Contacts (FirstName, LastName, Region) VALUES (?, ?, ?)")));
    QRandomGenerator random(7);
    const QStringList regions = {"north", "North", "NORTH", "south", "East", "west", "O'Neill Bay"};
    for (int i = 0; i < 9000; ++i) {
        insert.addBindValue(QStringLiteral("P%1").arg(i));
        insert.addBindValue(QStringLiteral("L%1").arg(random.bounded(1000)));
        insert.addBindValue(i % 11 == 0 ? QVariant() : QVariant(regions[random.bounded(regions.size())]));
        QVERIFY(insert.exec());
    }
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID % 97 = 0"));
    QVERIFY(db.commit());
    const int total = TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts")).toInt();

    Form1 main;
    QVERIFY(showActive(&main));
    clickHeader(main, 5); // "Region"
    clickHeader(main, 5); // descending
    QAbstractItemModel *model = listOf(main)->model();
    QCOMPARE(model->rowCount(), total);

    // Each row follows its predecessor: region descending ignoring case (Null last), then key descending.
    QSet<qint64> seen;
    for (int row = 0; row < total; ++row) {
        const qint64 key = model->index(row, 0).data().toLongLong();
        QVERIFY2(!seen.contains(key), qPrintable(QStringLiteral("row %1 repeats a contact").arg(row)));
        seen.insert(key);
        if (row == 0)
            continue;
        const qint64 previousKey = model->index(row - 1, 0).data().toLongLong();
        const QVariant region = TestData::scalar(db, QStringLiteral("SELECT Region FROM Contacts WHERE ContactID = ?"), {key});
        const QVariant previous = TestData::scalar(db, QStringLiteral("SELECT Region FROM Contacts WHERE ContactID = ?"), {previousKey});
        const int order = previous.isNull() ? (region.isNull() ? 0 : -1)
                        : region.isNull()   ? 1
                                            : previous.toString().compare(region.toString(), Qt::CaseInsensitive);
        QVERIFY2(order > 0 || (order == 0 && previousKey > key), qPrintable(QStringLiteral("row %1 is out of order").arg(row)));
        QCOMPARE(model->index(row, 5).data(), region.isNull() ? QVariant(QString()) : region);
    }

    // Ctrl+End reaches the last row; clicking rows far apart shows those contacts,
    // and each stays selected when the order is reversed.
    listOf(main)->setFocus();
    QTest::keyClick(listOf(main), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(listOf(main)->currentIndex().row(), total - 1);
    for (const int row : {total - 1, 4095, 4096, total / 2, 0}) {
        listOf(main)->scrollTo(model->index(row, 1));
        clickListRow(&main, row);
        const qint64 key = model->index(row, 0).data().toLongLong();
        QCOMPARE(child<QLineEdit>(&main, QStringLiteral("Text1_0"))->text(), model->index(row, 1).data().toString());
        clickHeader(main, 5);
        QCOMPARE(selectedKey(main), key);
        clickHeader(main, 5);
        QCOMPARE(selectedKey(main), key);
        QCOMPARE(listOf(main)->currentIndex().row(), row);
    }
    QVERIFY(env.messages.errors().isEmpty());
}

QTEST_MAIN(ListSortTest)
#include "tst_list_sort.moc"
