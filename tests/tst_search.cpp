#include "support/TestSupport.h"

#include "contacts/ContactListModel.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"
#include "search/Form4.h"
#include "search/SearchResultsModel.h"
#include "base/Paths.h"
#include "store/SearchPattern.h"
#include "store/SearchStore.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>
#include <optional>

#include "support/SearchDriving.h"

using namespace SearchDriving;

namespace {

// Acts on the modal window the next call opens; a window the action left open
// is closed afterwards, so that a failing check never leaves exec() waiting.
void whileModal(const std::function<void(Form4 *)> &action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = qobject_cast<Form4 *>(QApplication::activeModalWidget());
        if (!dialog) {
            QFAIL("the search window was not opened");
            if (QApplication::activeModalWidget())
                QApplication::activeModalWidget()->close();
            return;
        }
        action(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void eachFieldIsFoundByItsBeginningOnly_data();
    void eachFieldIsFoundByItsBeginningOnly();
    void blanksAreKeptAsTyped();
    void wildcardsStayWildcards();
    void quotesAndSemicolonsAreJustText();
    void contactMatchingSeveralFieldsIsListedOnce();
    void lettersMatchInAnyCaseBeyondAscii_data();
    void lettersMatchInAnyCaseBeyondAscii();
    void emptyOrBlankSearchKeepsTheList();
    void enterRunsTheSearchAndKeepsTheWindowOpen();
    void resultRowsShowTheSixFields();
    void selectMakesTheContactCurrentInTheMainWindow();
    void doubleClickSelectsLikeSelect();
    void selectWithoutChosenRowTakesTheFirst();
    void selectWithNothingFoundKeepsTheWindowOpen();
    void contactDeletedMeanwhileGivesAQuietMessage();
    void cancelChangesNothing();
    void manyResultsArriveInBatches();
    void prefixSearchReadsThroughTheIndexes_data();
    void prefixSearchReadsThroughTheIndexes();
    void returnInTheListSelectsLikeADoubleClick();

private:
    qint64 add(std::initializer_list<std::pair<const char *, QVariant>> values)
    {
        QVariantMap map = fields(values);
        map.insert(QStringLiteral("ContactTypeID"), type);
        return TestData::addContact(db, map);
    }
    void start() { main = std::make_unique<Form1>(); }
    Form4 *openWindow()
    {
        window = std::make_unique<Form4>(liveDatabasePath(), main.get());
        window->show();
        return window.get();
    }
    QTableView *mainList() const { return main->findChild<QTableView *>(QStringLiteral("ListView1")); }
    qint64 mainSelectedId() const
    {
        const QModelIndex current = mainList()->selectionModel()->currentIndex();
        if (!current.isValid() || !mainList()->selectionModel()->isRowSelected(current.row(), {}))
            return -1;
        return main->contactList()->contactIdAt(current.row());
    }
    QString banner() const { return main->findChild<QLabel *>(QStringLiteral("FullName1"))->text(); }

    IsolatedEnvironment env;
    QSqlDatabase db;
    qint64 type = 0;
    std::unique_ptr<Form1> main;
    std::unique_ptr<Form4> window;
};

void SearchTest::init()
{
    env.reset();
    db = TestData::openLive();
    type = TestData::addType(db, QStringLiteral("Customer"));
}

void SearchTest::cleanup()
{
    window.reset();
    main.reset();
    TestData::close(db);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
}

void SearchTest::eachFieldIsFoundByItsBeginningOnly_data()
{
    QTest::addColumn<QString>("field");
    for (const QString &field : SearchPattern::fields())
        QTest::newRow(qPrintable(field)) << field;
}

void SearchTest::eachFieldIsFoundByItsBeginningOnly()
{
    QFETCH(QString, field);
    QCOMPARE(SearchPattern::fields().size(), 17);
    add({{"FirstName", "Other"}, {"LastName", "Person"}});
    QVariantMap values{{field, QStringLiteral("Zebulon Quarry")}, {QStringLiteral("ContactTypeID"), type}};
    const qint64 id = TestData::addContact(db, values);
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, QStringLiteral("Zebu")), Ids{id});
    QCOMPARE(search(form, QStringLiteral("zEBULON q")), Ids{id});
    QCOMPARE(search(form, QStringLiteral("ebulon")), Ids{});
    QCOMPARE(search(form, QStringLiteral("Quarry")), Ids{});
    QCOMPARE(search(form, QStringLiteral("Zebulon Quarryx")), Ids{});
}

void SearchTest::blanksAreKeptAsTyped()
{
    const qint64 spaced = add({{"City", " Oslo"}});
    const qint64 plain = add({{"City", "Oslo"}});
    const qint64 annMarie = add({{"FirstName", "Ann Marie"}});
    add({{"FirstName", "Anna"}});
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, QStringLiteral(" Os")), Ids{spaced});
    QCOMPARE(search(form, QStringLiteral("Os")), Ids{plain});
    QCOMPARE(search(form, QStringLiteral("Ann ")), Ids{annMarie});
}

void SearchTest::wildcardsStayWildcards()
{
    const qint64 oslo = add({{"City", "Oslo"}});
    const qint64 spacedOslo = add({{"City", " Oslo"}});
    const qint64 percent = add({{"Title", "50% off"}});
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, QStringLiteral("%slo")), (Ids{oslo, spacedOslo}));
    QCOMPARE(search(form, QStringLiteral("_slo")), Ids{oslo});
    QCOMPARE(search(form, QStringLiteral("O_l")), Ids{oslo});
    // A typed % is the wildcard, so it also finds the text without a percent sign.
    QCOMPARE(search(form, QStringLiteral("50%f")), Ids{percent});
    QCOMPARE(search(form, QStringLiteral("%")).size(), 3);
}

void SearchTest::quotesAndSemicolonsAreJustText()
{
    const qint64 obrien = add({{"LastName", "O'Brien"}});
    const qint64 tricky = add({{"CompanyName", "x'; \"DROP\"; -- ' OR ''='"}});
    add({{"LastName", "Obrien"}});
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, QStringLiteral("O'Brien")), Ids{obrien});
    QCOMPARE(search(form, QStringLiteral("o'b")), Ids{obrien});
    QCOMPARE(search(form, QStringLiteral("x'; \"DROP\"; -- ' OR ''='")), Ids{tricky});
    QCOMPARE(search(form, QStringLiteral("'; DROP TABLE Contacts; --")), Ids{});
    QCOMPARE(search(form, QStringLiteral("' OR 1=1 --")), Ids{});
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts")).toInt(), 3);
}

void SearchTest::contactMatchingSeveralFieldsIsListedOnce()
{
    const qint64 sam = add({{"FirstName", "Sam"}, {"LastName", "Samson"}, {"City", "Samara"},
                            {"SpouseName", "Samantha"}, {"ContactsInterests", "sambuca"}});
    const qint64 other = add({{"FirstName", "Tom"}, {"Hometown", "Samarkand"}});
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, QStringLiteral("sam")), (Ids{sam, other}));
}

void SearchTest::lettersMatchInAnyCaseBeyondAscii_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("typed");
    QTest::newRow("ASCII upper finds lower") << "smith" << "SMI";
    QTest::newRow("É finds é") << "émile" << "Ém";
    QTest::newRow("é finds É") << "Émile" << "émi";
    QTest::newRow("after an ASCII beginning") << "Zoë Ådne" << "ZOË å";
    QTest::newRow("Ö in the middle") << "Österreich" << "öSTER";
    QTest::newRow("Greek capitals") << "ΣΟΦΊΑ" << "σοφία";
    QTest::newRow("final sigma") << "Σ" << "ς";
    QTest::newRow("Cyrillic") << "Жанна" << "жАН";
    QTest::newRow("Kelvin sign folds to k") << "\u212Aelvin" << "kel";
    QTest::newRow("wildcard before the letter") << "Café Émile" << "%ÉMILE";
}

void SearchTest::lettersMatchInAnyCaseBeyondAscii()
{
    QFETCH(QString, stored);
    QFETCH(QString, typed);
    const qint64 id = add({{"CompanyName", stored}});
    add({{"CompanyName", "Unrelated"}});
    start();
    Form4 *form = openWindow();

    QCOMPARE(search(form, typed), Ids{id});
    // The same letters with one more character do not match.
    QCOMPARE(search(form, typed + QStringLiteral("qq")), Ids{});
}

void SearchTest::emptyOrBlankSearchKeepsTheList()
{
    const qint64 smith = add({{"LastName", "Smith"}});
    start();
    Form4 *form = openWindow();
    QVERIFY(listedIds(form).isEmpty());

    QCOMPARE(search(form, QStringLiteral("Sm")), Ids{smith});
    QCOMPARE(search(form, QString()), Ids{smith});
    QCOMPARE(search(form, QStringLiteral("   ")), Ids{smith});
    QCOMPARE(search(form, QStringLiteral("xyz")), Ids{});

    // A new window starts with an empty list.
    QCOMPARE(search(form, QStringLiteral("Sm")), Ids{smith});
    Form4 second(liveDatabasePath(), main.get());
    QVERIFY(listedIds(&second).isEmpty());
}

void SearchTest::enterRunsTheSearchAndKeepsTheWindowOpen()
{
    const qint64 smith = add({{"LastName", "Smith"}});
    add({{"LastName", "Jones"}});
    start();
    Form4 *form = openWindow();

    QTest::keyClicks(form->searchBox(), QStringLiteral("smi"));
    QTest::keyClick(form->searchBox(), Qt::Key_Return);
    QCOMPARE(listedIds(form), Ids{smith});
    QVERIFY(form->isVisible());
    QCOMPARE(form->result(), int(QDialog::Rejected));
}

void SearchTest::resultRowsShowTheSixFields()
{
    const qint64 id = add({{"FirstName", "Anna"}, {"LastName", "Smith"}, {"Address", "1 Main St"},
                           {"City", "Bergen"}, {"CompanyName", "Acme"}, {"Title", "CEO"},
                           {"Country", "Norway"}});
    add({{"LastName", "Smyth"}}); // Nulls show as empty text
    start();
    Form4 *form = openWindow();
    search(form, QStringLiteral("Sm"));

    const QAbstractItemModel *model = form->resultList()->model();
    QCOMPARE(model->rowCount(), 2);
    QStringList headers;
    QStringList first;
    QStringList second;
    for (int column = 0; column < model->columnCount(); ++column) {
        headers << model->headerData(column, Qt::Horizontal).toString();
        first << model->index(0, column).data().toString();
        second << model->index(1, column).data().toString();
    }
    QCOMPARE(headers, (QStringList{"", "FirstName", "Lastname", "Address", "City", "Company", "Title"}));
    QCOMPARE(first, (QStringList{QString::number(id), "Anna", "Smith", "1 Main St", "Bergen", "Acme", "CEO"}));
    QCOMPARE(second.mid(1), (QStringList{"", "Smyth", "", "", "", ""}));
    QVERIFY(form->resultList()->isColumnHidden(SearchResultsModel::Key));
}

void SearchTest::selectMakesTheContactCurrentInTheMainWindow()
{
    add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    add({{"FirstName", "Carl"}, {"LastName", "Dahl"}});
    const qint64 sam = add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    add({{"FirstName", "Eva"}, {"LastName", "Smith"}});
    start();
    // The user had clicked the second row of the main list.
    mainList()->selectionModel()->setCurrentIndex(main->contactList()->index(1, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(main->lastListIndex(), 2);

    bool selected = false;
    whileModal([&](Form4 *form) {
        QCOMPARE(form->windowTitle(), QStringLiteral("Search"));
        QCOMPARE(search(form, QStringLiteral("Smy")), Ids{sam});
        form->resultList()->setCurrentIndex(form->resultList()->model()->index(0, 1));
        QTest::mouseClick(button(form, "PushButton1"), Qt::LeftButton);
        selected = !form->isVisible() && form->result() == QDialog::Accepted;
    });
    QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("PushButton8")), Qt::LeftButton);
    QVERIFY(selected);

    QCOMPARE(main->contactsRs()->currentId(), sam);
    QCOMPARE(main->findChild<QLineEdit *>(QStringLiteral("Text1_1"))->text(), QStringLiteral("Smythe"));
    QCOMPARE(banner(), QStringLiteral("Sam Smythe"));
    QCOMPARE(mainSelectedId(), sam);

    // The next rebuild of the list keeps the searched contact, not the clicked row.
    main->listContacts();
    QCOMPARE(mainSelectedId(), sam);
    QCOMPARE(main->contactsRs()->currentId(), sam);
    QCOMPARE(banner(), QStringLiteral("Sam Smythe"));
}

void SearchTest::doubleClickSelectsLikeSelect()
{
    add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    const qint64 first = add({{"FirstName", "Eva"}, {"LastName", "Smith"}});
    const qint64 second = add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    start();
    bool closed = false;
    whileModal([&](Form4 *form) {
        QCOMPARE(search(form, QStringLiteral("Sm")), (Ids{first, second}));
        QTableView *list = form->resultList();
        const QRect cell = list->visualRect(list->model()->index(1, SearchResultsModel::LastName));
        QVERIFY(cell.isValid());
        // A double click as the platform delivers it: a click, then the second press.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
        closed = !form->isVisible() && form->result() == QDialog::Accepted;
    });
    main->PushButton8_Click();
    QVERIFY(closed);
    QCOMPARE(main->contactsRs()->currentId(), second);
    QCOMPARE(mainSelectedId(), second);
    QCOMPARE(banner(), QStringLiteral("Sam Smythe"));
}

void SearchTest::selectWithoutChosenRowTakesTheFirst()
{
    add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    const qint64 first = add({{"FirstName", "Eva"}, {"LastName", "Smith"}});
    add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    start();
    bool closed = false;
    whileModal([&](Form4 *form) {
        search(form, QStringLiteral("Sm"));
        QVERIFY(!form->resultList()->selectionModel()->hasSelection());
        form->PushButton1_Click();
        closed = !form->isVisible();
    });
    main->PushButton8_Click();
    QVERIFY(closed);
    QCOMPARE(main->contactsRs()->currentId(), first);
    QCOMPARE(mainSelectedId(), first);
}

void SearchTest::selectWithNothingFoundKeepsTheWindowOpen()
{
    const qint64 anna = add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    start();
    Form4 *form = openWindow();
    QCOMPARE(search(form, QStringLiteral("Nobody")), Ids{});
    form->PushButton1_Click();
    QVERIFY(form->isVisible());
    QCOMPARE(main->contactsRs()->currentId(), anna);
    QVERIFY(env.messages.shown.isEmpty());
}

void SearchTest::contactDeletedMeanwhileGivesAQuietMessage()
{
    const qint64 anna = add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    const qint64 sam = add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    start();
    Form4 *form = openWindow();
    QCOMPARE(search(form, QStringLiteral("Smythe")), Ids{sam});
    QSqlQuery remove(db);
    QVERIFY(remove.exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(sam)));

    form->PushButton1_Click();
    QCOMPARE(env.messages.informations(), QStringList{"This contact is no longer in the database."});
    QVERIFY(env.messages.errors().isEmpty());
    QVERIFY(form->isVisible());
    QCOMPARE(listedIds(form), Ids{});
    // The main window keeps its contact: no cursor past the end.
    QVERIFY(main->contactsRs()->hasCurrent());
    QCOMPARE(main->contactsRs()->currentId(), anna);
    QCOMPARE(banner(), QStringLiteral("Anna Berg"));
}

void SearchTest::cancelChangesNothing()
{
    const qint64 anna = add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    start();
    const qint64 selectedBefore = mainSelectedId();
    whileModal([&](Form4 *form) {
        search(form, QStringLiteral("Smy"));
        form->resultList()->setCurrentIndex(form->resultList()->model()->index(0, 1));
        QTest::mouseClick(button(form, "PushButton2"), Qt::LeftButton);
        QVERIFY(!form->isVisible());
        QCOMPARE(form->result(), int(QDialog::Rejected));
    });
    main->PushButton8_Click();
    QCOMPARE(main->contactsRs()->currentId(), anna);
    QCOMPARE(banner(), QStringLiteral("Anna Berg"));
    QCOMPARE(mainSelectedId(), selectedBefore);
}

void SearchTest::manyResultsArriveInBatches()
{
    Ids expected;
    QVERIFY(db.transaction());
    for (int i = 0; i < 250; ++i)
        expected << add({{"LastName", QStringLiteral("Miller %1").arg(i)}});
    add({{"LastName", "Jones"}});
    QVERIFY(db.commit());
    start();
    Form4 *form = openWindow();
    SearchResultsModel *results = form->results();

    search(form, QStringLiteral("mill"));
    // The first batch is there at once, the further keys follow while the window waits for the user.
    QCOMPARE(results->rowCount(), SearchResultsModel::kBatchSize);
    QVERIFY(results->counting());
    QTRY_VERIFY(!results->counting());
    QCOMPARE(results->rowCount(), 250);
    Ids listed = listedIds(form);
    std::sort(listed.begin(), listed.end());
    QCOMPARE(listed, expected);
    // Fields are read only for the rows that have been shown.
    QVERIFY(results->isRead(0));
    QVERIFY(!results->isRead(249));
    QVERIFY(results->readRows(240, 249));
    QCOMPARE(results->index(249, SearchResultsModel::LastName).data().toString().left(7), QStringLiteral("Miller "));
}

void SearchTest::prefixSearchReadsThroughTheIndexes_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("indexed");
    QTest::newRow("ASCII") << "Smi" << true;
    QTest::newRow("leading capital beyond ASCII") << "Émile" << true;
    QTest::newRow("letters with rare case forms") << "Kessler" << true;
    QTest::newRow("leading blank") << " Os" << true;
    QTest::newRow("wildcard in the middle") << "Sm_th" << true;
    QTest::newRow("leading wildcard reads the table") << "%son" << false;
}

void SearchTest::prefixSearchReadsThroughTheIndexes()
{
    QFETCH(QString, typed);
    QFETCH(bool, indexed);
    start(); // brings the database up to the program's schema
    Result<std::unique_ptr<SearchStore>> store = SearchStore::open(liveDatabasePath());
    QVERIFY(store);
    const Result<QStringList> plan = (*store)->queryPlan(typed);
    QVERIFY2(plan, qPrintable(plan ? QString() : plan.error().description));
    const QString text = plan->join('\n');
    if (indexed) {
        QVERIFY2(text.contains(QLatin1String("MULTI-INDEX OR")), qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("SCAN")), qPrintable(text));
        for (const QString &field : SearchPattern::fields())
            QVERIFY2(text.contains(QStringLiteral("idxContacts%1NoCase").arg(field)), qPrintable(field));
    } else {
        QVERIFY2(text.contains(QLatin1String("SCAN")), qPrintable(text));
    }
}

void SearchTest::returnInTheListSelectsLikeADoubleClick()
{
    add({{"FirstName", "Anna"}, {"LastName", "Berg"}});
    add({{"FirstName", "Eva"}, {"LastName", "Smith"}});
    const qint64 second = add({{"FirstName", "Sam"}, {"LastName", "Smythe"}});
    start();
    std::optional<qint64> handedBack;
    bool closed = false;
    whileModal([&](Form4 *form) {
        QCOMPARE(search(form, QStringLiteral("Sm")).size(), 2);
        QTableView *list = form->resultList();
        list->setFocus();
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Return);
        closed = !form->isVisible() && form->result() == QDialog::Accepted;
        handedBack = form->selectedContactKey();
    });
    QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("PushButton8")), Qt::LeftButton);
    QVERIFY(closed);
    QCOMPARE(handedBack, std::optional<qint64>(second));
    QCOMPARE(main->contactsRs()->currentId(), second);
    QCOMPARE(mainSelectedId(), second);
    QCOMPARE(banner(), QStringLiteral("Sam Smythe"));

    // Enter on the keypad does the same; with nothing found the window stays open.
    start();
    Form4 *form = openWindow();
    QCOMPARE(search(form, QStringLiteral("Nobody")), Ids{});
    QTest::keyClick(form->resultList(), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(form->isVisible());
    QCOMPARE(form->selectedContactKey(), std::nullopt);
    QCOMPARE(search(form, QStringLiteral("Smy")), Ids{second});
    QTest::keyClick(form->resultList(), Qt::Key_Enter, Qt::KeypadModifier);
    QVERIFY(!form->isVisible());
    QCOMPARE(form->selectedContactKey(), std::optional<qint64>(second));
}

QTEST_MAIN(SearchTest)
#include "tst_search.moc"
