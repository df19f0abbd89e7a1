#include "support/SearchDriving.h"
#include "support/TestSupport.h"

#include "base/Paths.h"

#include <QApplication>
#include <QLabel>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <memory>
#include <optional>

using namespace SearchDriving;

// The search window's result list on its own: keyboard, the number found,
// the list that has its full length while rows are still being read, and
// failures of that reading.
class SearchListTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void tabLeavesTheListForSelectInOneStep();
    void ctrlEndReachesTheLastResultWhileResultsAreStillCounted();
    void theNumberOfResultsIsShownBesideTheSearchLine();
    void aFailingReadAfterTheFirstScreenShowsTheBoxAndTheWindowGoesOn();
    void aDatabaseThatCannotBeOpenedIsReportedUnderItsSteps();
    void theWindowWorksWithoutTheMainWindow();

private:
    qint64 add(std::initializer_list<std::pair<const char *, QVariant>> values)
    {
        QVariantMap map = fields(values);
        map.insert(QStringLiteral("ContactTypeID"), type);
        return TestData::addContact(db, map);
    }
    Form4 *openWindow()
    {
        window = std::make_unique<Form4>(liveDatabasePath());
        window->show();
        return window.get();
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
    qint64 type = 0;
    std::unique_ptr<Form4> window;
};

void SearchListTest::init()
{
    env.reset();
    db = TestData::openLive();
    type = TestData::addType(db, QStringLiteral("Customer"));
}

void SearchListTest::cleanup()
{
    window.reset();
    TestData::close(db);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
}

void SearchListTest::tabLeavesTheListForSelectInOneStep()
{
    for (int i = 0; i < 19; ++i)
        add({{"LastName", QStringLiteral("Smith %1").arg(i)}, {"City", "Tåby"}});
    Form4 *form = openWindow();
    QVERIFY(showActive(form));
    QCOMPARE(search(form, QStringLiteral("smith")).size(), 19);
    QTableView *list = form->resultList();
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Down);
    const int row = list->currentIndex().row();
    QVERIFY(row > 0);
    QTest::keyClick(list, Qt::Key_Right);
    QCOMPARE(list->currentIndex().row(), row);

    QTest::keyClick(list, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(form, "PushButton1"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QCOMPARE(QApplication::focusWidget(), list);
    QCOMPARE(list->currentIndex().row(), row);
}

void SearchListTest::ctrlEndReachesTheLastResultWhileResultsAreStillCounted()
{
    QVERIFY(db.transaction());
    for (int i = 0; i < 730; ++i)
        add({{"LastName", QStringLiteral("Miller %1").arg(i)}, {"FirstName", i % 3 ? "Jo" : "Ève"}});
    add({{"LastName", "Jones"}});
    QVERIFY(db.commit());
    Form4 *form = openWindow();
    QVERIFY(showActive(form));
    SearchResultsModel *results = form->results();
    QTableView *list = form->resultList();

    search(form, QStringLiteral("Mil"));
    QCOMPARE(results->rowCount(), SearchResultsModel::kBatchSize);
    QVERIFY(results->counting());
    list->setFocus();
    QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(results->rowCount(), 730);
    QVERIFY(!results->counting());
    QCOMPARE(list->currentIndex().row(), 729);
    QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    QVERIFY(list->verticalScrollBar()->maximum() > 600);
    QVERIFY(list->viewport()->rect().intersects(list->visualRect(results->index(729, SearchResultsModel::LastName))));

    // The fields of the rows now on screen are read after they were asked for; those in between never.
    const qint64 last = results->contactIdAt(729);
    const QString lastName =
        TestData::scalar(db, QStringLiteral("SELECT LastName FROM Contacts WHERE ContactID = ?"), {last}).toString();
    QTRY_COMPARE(results->index(729, SearchResultsModel::LastName).data().toString(), lastName);
    QVERIFY(!results->isRead(400));
    QCOMPARE(form->resultCount()->text(), QStringLiteral("730 contacts found"));

    // Select takes the last row although its neighbours were never read.
    form->PushButton1_Click();
    QCOMPARE(form->selectedContactKey(), std::optional<qint64>(last));
}

void SearchListTest::theNumberOfResultsIsShownBesideTheSearchLine()
{
    add({{"LastName", "Smith"}});
    add({{"LastName", "Smythe"}, {"City", "Smögen"}});
    add({{"LastName", "Jones"}});
    QVERIFY(db.transaction());
    for (int i = 0; i < 1500; ++i)
        add({{"CompanyName", QStringLiteral("Müller & Söhne %1").arg(i)}});
    QVERIFY(db.commit());
    Form4 *form = openWindow();
    QLabel *count = form->resultCount();
    QCOMPARE(count->text(), QString());

    search(form, QStringLiteral("Jo"));
    QCOMPARE(count->text(), QStringLiteral("1 contact found"));
    search(form, QStringLiteral("sm"));
    QCOMPARE(count->text(), QStringLiteral("2 contacts found"));
    search(form, QStringLiteral("   "));
    QCOMPARE(count->text(), QStringLiteral("2 contacts found"));
    search(form, QStringLiteral("zz"));
    QCOMPARE(count->text(), QStringLiteral("No contact found"));
    search(form, QStringLiteral("MÜ"));
    QCOMPARE(count->text(), QStringLiteral("100 contacts found so far"));
    // Grouped as the user's locale groups digits: 1,500 in English, 1.500 in German.
    QTRY_COMPARE(count->text(), QLocale().toString(1500) + QStringLiteral(" contacts found"));
    QCOMPARE(form->resultList()->accessibleDescription(), count->text());

    // The count sits in the frame's title line, clear of the search line.
    QCOMPARE(count->parentWidget(), form->findChild<QWidget *>(QStringLiteral("Frame1")));
    QVERIFY(!count->geometry().intersects(form->searchBox()->geometry()));
    QVERIFY(!count->geometry().intersects(button(form, "PushButton3")->geometry()));
    QCOMPARE(form->searchBox()->geometry(), QRect(16, 20, 405, 23));
}

void SearchListTest::aFailingReadAfterTheFirstScreenShowsTheBoxAndTheWindowGoesOn()
{
    QVERIFY(db.transaction());
    for (int i = 0; i < 400; ++i)
        add({{"LastName", QStringLiteral("Miller %1").arg(i)}});
    QVERIFY(db.commit());
    Form4 *form = openWindow();
    QVERIFY(showActive(form));
    SearchResultsModel *results = form->results();
    search(form, QStringLiteral("mill"));
    QTRY_VERIFY(!results->counting());
    QCOMPARE(results->rowCount(), 400);

    QSqlQuery rename(db);
    QVERIFY2(rename.exec(QStringLiteral("ALTER TABLE Contacts RENAME TO ContactsAway")), qPrintable(rename.lastError().text()));
    form->resultList()->scrollToBottom();
    QTRY_COMPARE(env.messages.errors().size(), 1);
    const QString box = env.messages.errors().first();
    QVERIFY2(box.contains(QLatin1String("no such table: Contacts")), qPrintable(box));
    QVERIFY2(box.contains(QLatin1String("in Corvanta2021/08/31.Form4.ListView1_Scroll ")), qPrintable(box));
    // One box, not one per paint; the rows keep their keys.
    QTest::qWait(50);
    QCOMPARE(env.messages.errors().size(), 1);
    QCOMPARE(results->rowCount(), 400);

    QVERIFY(rename.exec(QStringLiteral("ALTER TABLE ContactsAway RENAME TO Contacts")));
    QCOMPARE(search(form, QStringLiteral("miller 39")).size(), 11);
    QCOMPARE(results->index(0, SearchResultsModel::LastName).data().toString().left(9), QStringLiteral("Miller 39"));
    QVERIFY(form->isVisible());
    env.messages.clear();
}

void SearchListTest::aDatabaseThatCannotBeOpenedIsReportedUnderItsSteps()
{
    add({{"LastName", "Smith"}});
    Form4 form(env.root() + QStringLiteral("/none.sqlite"));
    form.show();
    QCOMPARE(search(&form, QStringLiteral("Sm")), Ids{});
    const QStringList errors = env.messages.errors();
    QCOMPARE(errors.size(), 2);
    QVERIFY2(errors.at(0).contains(QLatin1String("Could not find file")), qPrintable(errors.at(0)));
    QVERIFY2(errors.at(0).contains(QLatin1String("Form4.PushButton3_Click ")), qPrintable(errors.at(0)));
    QVERIFY2(errors.at(0).contains(QLatin1String("106")), qPrintable(errors.at(0)));
    QVERIFY2(errors.at(1).contains(QLatin1String("108")), qPrintable(errors.at(1)));
    QVERIFY(form.isVisible());
    env.messages.clear();
}

void SearchListTest::theWindowWorksWithoutTheMainWindow()
{
    const qint64 smith = add({{"FirstName", "Zoë"}, {"LastName", "Smith"}});
    Form4 form(liveDatabasePath());
    form.show();
    QCOMPARE(search(&form, QStringLiteral("zo")), Ids{smith});
    QTest::mouseClick(button(&form, "PushButton2"), Qt::LeftButton);
    QCOMPARE(form.selectedContactKey(), std::nullopt);
    form.show();
    QTest::mouseClick(button(&form, "PushButton1"), Qt::LeftButton);
    QCOMPARE(form.result(), int(QDialog::Accepted));
    QCOMPARE(form.selectedContactKey(), std::optional<qint64>(smith));
    QCOMPARE(form.searchBox()->accessibleName(), QStringLiteral("Search"));
    QCOMPARE(form.resultList()->accessibleName(), QStringLiteral("Results"));
}


QTEST_MAIN(SearchListTest)
#include "tst_search_list.moc"
