#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "contacts/Form1.h"
#include "frame/Clock.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {
QStringList visibleHeaders(QTableView *grid)
{
    QStringList headers;
    for (int column = 0; column < grid->model()->columnCount(); ++column) {
        if (!grid->isColumnHidden(column))
            headers << grid->model()->headerData(column, Qt::Horizontal).toString();
    }
    return headers;
}
} // namespace

class CallLogTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env.reset();
        Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 5, 42)); });
        // The dates below are in the US form, whatever the machine's locale.
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    void cleanup()
    {
        Clock::setSource({});
        QLocale::setDefault(QLocale::system());
    }

    void columnsAndFormats();
    void addNewCallStoresAtOnce();
    void rowTypedInGridGetsDefaults();
    void deleteCurrentCall();
    void deleteOnEmptyLogDoesNothing();
    void notesReachDatabaseWhenCallOrContactChanges();
    void callsNeverShowUnderAnotherContact();

private:
    IsolatedEnvironment env;
};

void CallLogTest::columnsAndFormats()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::addContact(db, {{"FirstName", "Bob"}});
    TestData::addCall(db, ann, "2021-03-14", "09:07:00", "Late call", "secret notes");
    TestData::addCall(db, ann, "2020-01-02", "23:59:00", "Earlier call");
    TestData::close(db);
    Form1 form;
    auto *grid = child<QTableView>(&form, "DataGrid1");
    QCOMPARE(visibleHeaders(grid), QStringList({"Call Date", "Call Time", "Subject"}));
    QCOMPARE(grid->columnWidth(CallLogModel::Subject), 5000 / 15);
    QAbstractItemModel *model = grid->model();
    // In the order the database returns them, not sorted by date.
    QCOMPARE(model->index(0, CallLogModel::CallDate).data().toString(), QStringLiteral("3/14/2021"));
    QCOMPARE(model->index(0, CallLogModel::CallTime).data().toString(), QStringLiteral("9:07 AM"));
    QCOMPARE(model->index(1, CallLogModel::CallDate).data().toString(), QStringLiteral("1/2/2020"));
    QCOMPARE(model->index(1, CallLogModel::CallTime).data().toString(), QStringLiteral("11:59 PM"));
    QCOMPARE(child<QPlainTextEdit>(&form, "CallNotes")->toPlainText(), QStringLiteral("secret notes"));
    // A contact without calls: the same three columns over an empty log.
    clickListRow(&form, 1);
    QCOMPARE(form.callsRs()->rowCount(), 0);
    QCOMPARE(visibleHeaders(grid), QStringList({"Call Date", "Call Time", "Subject"}));
}

void CallLogTest::addNewCallStoresAtOnce()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}});
    Form1 form;
    QTest::mouseClick(child<QPushButton>(&form, "PushButton2"), Qt::LeftButton);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ? AND CallDate = '2026-03-14' "
                                  "AND CallTime = '13:05:42' AND Subject IS NULL AND Notes IS NULL", {ann}).toInt(), 1);
    auto *grid = child<QTableView>(&form, "DataGrid1");
    QCOMPARE(grid->currentIndex().row(), 0);
    QCOMPARE(grid->model()->index(0, CallLogModel::CallTime).data().toString(), QStringLiteral("1:05 PM"));
    QCOMPARE(grid->model()->index(0, CallLogModel::CallDate).data().toString(), QStringLiteral("3/14/2026"));
    QVERIFY(child<QPlainTextEdit>(&form, "CallNotes")->isEnabled());
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void CallLogTest::rowTypedInGridGetsDefaults()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::addCall(db, ann, "2026-01-01", "08:00:00", "Old call");
    Form1 form;
    QVERIFY(showActive(&form));
    child<QTabWidget>(&form, "SSTab1")->setCurrentIndex(1);
    auto *grid = child<QTableView>(&form, "DataGrid1");
    QCOMPARE(grid->model()->rowCount(), 2); // the call and the empty row for a new one
    const QModelIndex newSubject = grid->model()->index(1, CallLogModel::Subject);
    grid->setCurrentIndex(newSubject);
    grid->edit(newSubject);
    QLineEdit *editor = qobject_cast<QLineEdit *>(grid->indexWidget(newSubject));
    if (!editor)
        editor = grid->viewport()->findChild<QLineEdit *>();
    QVERIFY2(editor, qPrintable(QString::number(int(grid->model()->flags(newSubject)))));
    QTest::keyClicks(editor, "Follow-up");
    QTest::keyClick(editor, Qt::Key_Return);
    // The editor commits once the key event has been handled.
    QTRY_COMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ? AND Subject = 'Follow-up' "
                                      "AND CallDate = '2026-03-14' AND CallTime = '13:05:42'", {ann}).toInt(), 1);
    QCOMPARE(form.callsRs()->rowCount(), 2);
    QCOMPARE(grid->model()->rowCount(), 3);
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void CallLogTest::deleteCurrentCall()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::addCall(db, ann, "2021-03-14", "14:30:00", "First");
    TestData::addCall(db, ann, "2021-03-15", "09:00:00", "Second");
    Form1 form;
    QTest::mouseClick(child<QPushButton>(&form, "PushButton1"), Qt::LeftButton); // default answer: No
    QCOMPARE(env.messages.questions(), QStringList({"Do you really want to delete this call record ?\r\nFrom: 3/14/2021 2:30 PM"}));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 2);

    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton1"), Qt::LeftButton);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 1);
    QCOMPARE(TestData::scalar(db, "SELECT Subject FROM Calls").toString(), QStringLiteral("Second"));
    QCOMPARE(form.callsRs()->rowCount(), 1);
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void CallLogTest::deleteOnEmptyLogDoesNothing()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}});
    TestData::addCall(db, bob, "2021-03-14", "14:30:00", "Bob's");
    Form1 form;
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton1"), Qt::LeftButton);
    QVERIFY(env.messages.shown.isEmpty());
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 1);
    TestData::close(db);
}

void CallLogTest::notesReachDatabaseWhenCallOrContactChanges()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::addContact(db, {{"FirstName", "Bob"}});
    const qint64 first = TestData::addCall(db, ann, "2021-03-14", "14:30:00", "First");
    const qint64 second = TestData::addCall(db, ann, "2021-03-15", "09:00:00", "Second");
    Form1 form;
    QVERIFY(showActive(&form));
    child<QTabWidget>(&form, "SSTab1")->setCurrentIndex(1);
    auto *notes = child<QPlainTextEdit>(&form, "CallNotes");
    auto *grid = child<QTableView>(&form, "DataGrid1");
    notes->setFocus();
    QTest::keyClicks(notes, "Asked for a quote");
    // Choosing another call in the grid writes the notes of the first.
    grid->setFocus();
    grid->setCurrentIndex(grid->model()->index(1, CallLogModel::Subject));
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Calls WHERE CallID = ?", {first}).toString(),
             QStringLiteral("Asked for a quote"));
    QCOMPARE(notes->toPlainText(), QString());

    notes->setFocus();
    QTest::keyClicks(notes, "Call back Monday");
    // Choosing another contact writes the pending notes too.
    clickListRow(&form, 1);
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Calls WHERE CallID = ?", {second}).toString(),
             QStringLiteral("Call back Monday"));
    QCOMPARE(form.callsRs()->rowCount(), 0);
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void CallLogTest::callsNeverShowUnderAnotherContact()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 a = TestData::addContact(db, {{"FirstName", "Kim"}, {"LastName", "Park"}});
    const qint64 b = TestData::addContact(db, {{"FirstName", "Kim"}, {"LastName", "Park"}});
    TestData::addCall(db, a, "2021-01-01", "10:00:00", "A1");
    TestData::addCall(db, b, "2021-01-02", "11:00:00", "B1");
    TestData::addCall(db, b, "2021-01-03", "12:00:00", "B2");
    Form1 form;
    QVERIFY(showActive(&form));
    for (int round = 0; round < 2; ++round) {
        clickListRow(&form, 1);
        QCOMPARE(form.callsRs()->rowCount(), 2);
        for (int row = 0; row < 2; ++row)
            QCOMPARE(form.callsRs()->index(row, CallLogModel::ContactID).data().toLongLong(), b);
        clickListRow(&form, 0);
        QCOMPARE(form.callsRs()->rowCount(), 1);
        QCOMPARE(form.callsRs()->index(0, CallLogModel::Subject).data().toString(), QStringLiteral("A1"));
    }
    // Add New Call on the second contact lands under it.
    clickListRow(&form, 1);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton2"), Qt::LeftButton);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {b}).toInt(), 3);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {a}).toInt(), 1);
    TestData::close(db);
}

QTEST_MAIN(CallLogTest)
#include "tst_calllog.moc"
