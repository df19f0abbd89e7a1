#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"
#include "frame/NavigationBar.h"

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

// Handlers without numbered steps of their own (a list click, the
// navigation bar, a grid cell) that fail in the database show the
// "Application Error" box, and the program goes on.
class UntrappedTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listClickWithAMissingTableShowsTheRealBoxAndGoesOn();
    void barMoveOnALockedDatabaseKeepsTheContactAndItsEdit();
    void gridCellTheDatabaseRefusesIsReportedAndKept();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
    qint64 ann = 0;
    qint64 bob = 0;
};

void UntrappedTest::init()
{
    env.reset();
    db = TestData::openLive();
    ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "O'Ray"}});
    TestData::addCall(db, bob, "2026-03-14", "14:30:00", "Pricing", "Bob's notes");
}

void UntrappedTest::cleanup()
{
    TestData::close(db);
}

void UntrappedTest::listClickWithAMissingTableShowsTheRealBoxAndGoesOn()
{
    Form1 form;
    QVERIFY(showActive(&form));
    // Another program takes the calls table away under the running window.
    QVERIFY(QSqlQuery(db).exec("ALTER TABLE Calls RENAME TO CallsElsewhere"));

    MessageService::setInstance(nullptr); // the real box
    QString boxTitle;
    QStringList boxTexts;
    QTimer closer;
    closer.setInterval(20);
    connect(&closer, &QTimer::timeout, this, [&] {
        QMessageBox *box = nullptr;
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (auto *shown = qobject_cast<QMessageBox *>(window); shown && shown->isVisible())
                box = shown;
        }
        if (!box)
            return;
        boxTitle = box->windowTitle();
        boxTexts << box->text();
        box->button(QMessageBox::Ok)->click();
    });
    closer.start();
    clickListRow(&form, 1);
    closer.stop();
    MessageService::setInstance(&env.messages);
    QVERIFY2(boxTexts.size() == 1, qPrintable(boxTexts.join("\n----\n")));
    const QString boxText = boxTexts.first();
    QCOMPARE(boxTitle, QStringLiteral("Application Error"));
    QVERIFY2(boxText.startsWith("no such table: Calls"), qPrintable(boxText));
    QVERIFY2(boxText.contains("in Corvanta2021/08/31.Form1.ListView1_Click at line 100\r\r"), qPrintable(boxText));

    // The program goes on: the contact moved, and with the table back the log follows again.
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Bob O'Ray"));
    QVERIFY(QSqlQuery(db).exec("ALTER TABLE CallsElsewhere RENAME TO Calls"));
    clickListRow(&form, 0);
    clickListRow(&form, 1);
    QCOMPARE(form.callsRs()->rowCount(), 1);
    QVERIFY(env.messages.errors().isEmpty());
}

void UntrappedTest::barMoveOnALockedDatabaseKeepsTheContactAndItsEdit()
{
    Form1 form;
    QVERIFY(showActive(&form));
    auto *city = child<QLineEdit>(&form, "Text1_12");
    city->setFocus();
    QTest::keyClicks(city, "St. John's");
    // Another copy of the program holds the write lock past the busy timeout.
    QVERIFY(QSqlQuery(db).exec("BEGIN EXCLUSIVE"));
    auto *bar = child<NavigationBar>(&form, "dc");
    QTest::mouseClick(bar->nextButton(), Qt::LeftButton);
    QVERIFY(QSqlQuery(db).exec("ROLLBACK"));

    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY2(env.messages.errors()[0].startsWith("database is locked"), qPrintable(env.messages.errors()[0]));
    QVERIFY(env.messages.errors()[0].contains("Form1.dc_Next at line 100"));
    // Nothing was lost and nothing moved: the next click stores and moves.
    QCOMPARE(form.contactsRs()->currentId(), ann);
    QCOMPARE(city->text(), QStringLiteral("St. John's"));
    QTest::mouseClick(bar->nextButton(), Qt::LeftButton);
    QCOMPARE(form.contactsRs()->currentId(), bob);
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts WHERE ContactID = ?", {ann}).toString(),
             QStringLiteral("St. John's"));
    QCOMPARE(env.messages.errors().size(), 1);
}

void UntrappedTest::gridCellTheDatabaseRefusesIsReportedAndKept()
{
    Form1 form;
    QVERIFY(showActive(&form));
    clickListRow(&form, 1);
    child<QTabWidget>(&form, "SSTab1")->setCurrentIndex(1);
    auto *grid = child<QTableView>(&form, "DataGrid1");
    // The call goes away under the window (another copy deleted it).
    QVERIFY(QSqlQuery(db).exec("DELETE FROM Calls"));
    const QModelIndex subject = grid->model()->index(0, CallLogModel::Subject);
    grid->setCurrentIndex(subject);
    grid->edit(subject);
    auto *editor = grid->viewport()->findChild<QLineEdit *>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, "Changed");
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(env.messages.errors().size(), 1);
    QVERIFY2(env.messages.errors()[0].startsWith("Row cannot be located for updating."), qPrintable(env.messages.errors()[0]));
    QVERIFY(env.messages.errors()[0].contains("Form1.DataGrid1_AfterColEdit at line 100"));
    // The window goes on working.
    QTest::mouseClick(child<QPushButton>(&form, "PushButton2"), Qt::LeftButton);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {bob}).toInt(), 1);
}

QTEST_MAIN(UntrappedTest)
#include "tst_untrapped.moc"
