#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "base/ContactFields.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTableView>
#include <QtTest>

namespace {
int listRows(Form1 &form)
{
    return child<QTableView>(&form, "ListView1")->model()->rowCount();
}
} // namespace

class ContactCommandsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void createThenSaveWithoutType();
    void createChooseTypeAndSave();
    void firstContactInEmptyDatabaseIsListedOnSave();
    void deleteAnsweredNoChangesNothing();
    void deleteAnsweredYesRemovesContactAndCalls();
    void deleteLastContactLeavesWindowQuiet();
    void failureWhileAskingNeverDeletes();
    void saveWithDeletedTypeAsksForType();
    void failingUpdateIsReportedAtItsStep();

private:
    IsolatedEnvironment env;
};

void ContactCommandsTest::createThenSaveWithoutType()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addType(db, "Customer");
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    Form1 form;
    QVERIFY(showActive(&form));
    QTest::mouseClick(child<QPushButton>(&form, "PushButton4"), Qt::LeftButton);

    // The new row is stored at once with its default first name.
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts WHERE FirstName = 'New Contact'").toInt(), 1);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("New Contact "));
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("New Contact"));
    QVERIFY(child<QLineEdit>(&form, "Text1_0")->hasFocus());
    QVERIFY(!child<QPushButton>(&form, "PushButton4")->isEnabled());
    QVERIFY(!child<QPushButton>(&form, "PushButton3")->isEnabled());
    QCOMPARE(form.callsRs()->rowCount(), 0);

    // The default name is selected as a whole, so typing replaces it.
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->selectedText(), QStringLiteral("New Contact"));
    QTest::keyClicks(child<QLineEdit>(&form, "Text1_0"), "O'Neil");
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("O'Neil"));

    QTest::mouseClick(child<QPushButton>(&form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList({"Please select contact type."}));
    QVERIFY(child<QComboBox>(&form, "dcbContactType")->hasFocus());
    QCOMPARE(listRows(form), 1); // not rebuilt yet
    QVERIFY(form.addingContact());
    QVERIFY(!child<QPushButton>(&form, "PushButton4")->isEnabled());
    QVERIFY(!child<QPushButton>(&form, "PushButton3")->isEnabled());
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void ContactCommandsTest::createChooseTypeAndSave()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 supplier = TestData::addType(db, "Supplier");
    TestData::addType(db, "Customer");
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    Form1 form;
    QVERIFY(showActive(&form));
    QTest::mouseClick(child<QPushButton>(&form, "PushButton4"), Qt::LeftButton);
    auto *types = child<QComboBox>(&form, "dcbContactType");
    QCOMPARE(types->currentIndex(), -1);
    QCOMPARE(types->itemText(0), QStringLiteral("Customer")); // alphabetical
    const int supplierIndex = types->findText("Supplier");
    types->setCurrentIndex(supplierIndex);
    emit types->activated(supplierIndex);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton7"), Qt::LeftButton);

    QCOMPARE(env.messages.informations(), QStringList({"New Contact \r\n   saved."}));
    QVERIFY(!form.addingContact());
    QVERIFY(child<QPushButton>(&form, "PushButton4")->isEnabled());
    QVERIFY(child<QPushButton>(&form, "PushButton3")->isEnabled());
    QCOMPARE(listRows(form), 2);
    QCOMPARE(child<QTableView>(&form, "ListView1")->model()->index(1, 1).data().toString(), QStringLiteral("New Contact"));
    QCOMPARE(TestData::scalar(db, "SELECT ContactTypeID FROM Contacts WHERE FirstName = 'New Contact'").toLongLong(), supplier);
    TestData::close(db);
}

void ContactCommandsTest::firstContactInEmptyDatabaseIsListedOnSave()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addType(db, "Customer");
    Form1 form;
    QVERIFY(showActive(&form));
    QCOMPARE(listRows(form), 0);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton4"), Qt::LeftButton);
    auto *first = child<QLineEdit>(&form, "Text1_0");
    first->selectAll();
    QTest::keyClicks(first, "Maria");
    auto *types = child<QComboBox>(&form, "dcbContactType");
    types->setCurrentIndex(0);
    emit types->activated(0);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList({"Maria \r\n   saved."}));
    QCOMPARE(listRows(form), 1);
    QCOMPARE(TestData::scalar(db, "SELECT FirstName FROM Contacts").toString(), QStringLiteral("Maria"));
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void ContactCommandsTest::deleteAnsweredNoChangesNothing()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    TestData::addContact(db, {{"FirstName", "Bob"}});
    Form1 form;
    // No answer given: the box's default button (No) answers, as Enter would.
    QTest::mouseClick(child<QPushButton>(&form, "PushButton3"), Qt::LeftButton);
    QCOMPARE(env.messages.questions(), QStringList({"Do you really want to delete this Contact ?\r\nFor: Ann Lee"}));
    QCOMPARE(env.messages.shown[0].title, QStringLiteral("Question"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 2);
    QCOMPARE(listRows(form), 2);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Ann Lee"));
    TestData::close(db);
}

void ContactCommandsTest::deleteAnsweredYesRemovesContactAndCalls()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Ray"}});
    TestData::addCall(db, ann, "2026-01-01", "09:00:00", "Ann's call");
    TestData::addCall(db, bob, "2026-01-01", "10:00:00", "Bob's call");
    Form1 form;
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton3"), Qt::LeftButton);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts WHERE ContactID = ?", {ann}).toInt(), 0);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {ann}).toInt(), 0);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 1);
    QCOMPARE(listRows(form), 1);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Bob Ray"));
    QCOMPARE(form.callsRs()->rowCount(), 1);
    QVERIFY(env.messages.errors().isEmpty());
    TestData::close(db);
}

void ContactCommandsTest::deleteLastContactLeavesWindowQuiet()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}, {"City", "Oslo"}});
    Form1 form;
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(&form, "PushButton3"), Qt::LeftButton);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 0);
    QCOMPARE(listRows(form), 0);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QString());
    QCOMPARE(child<QLabel>(&form, "FullName")->text(), QString());
    QCOMPARE(child<QLineEdit>(&form, "Text1_12")->text(), QString());
    QVERIFY(!form.contactsRs()->hasCurrent());
    // Delete again on the empty window asks nothing and reports nothing.
    QTest::mouseClick(child<QPushButton>(&form, "PushButton3"), Qt::LeftButton);
    QCOMPARE(env.messages.questions().size(), 1);
    TestData::close(db);
}

void ContactCommandsTest::failureWhileAskingNeverDeletes()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}});
    Form1 form;
    env.messages.answerNext(MessageService::Answer::Yes);
    env.messages.onQuestion = [] { throw std::runtime_error("the box could not be shown"); };
    QTest::mouseClick(child<QPushButton>(&form, "PushButton3"), Qt::LeftButton);
    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY(env.messages.errors()[0].startsWith(
        "the box could not be shown\r\nin Corvanta2021/08/31.Form1.PushButton3_Click at line 100\r\r"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 1);
    TestData::close(db);
}

void ContactCommandsTest::saveWithDeletedTypeAsksForType()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 gone = TestData::addType(db, "Gone");
    TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", gone}});
    QSqlQuery(db).exec("DELETE FROM \"Contact Types\"");
    Form1 form;
    QCOMPARE(child<QComboBox>(&form, "dcbContactType")->currentText(), QString());
    QTest::mouseClick(child<QPushButton>(&form, "PushButton7"), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList({"Please select contact type."}));
    TestData::close(db);
}

void ContactCommandsTest::failingUpdateIsReportedAtItsStep()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, "Customer");
    TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", type}});
    Form1 form;
    QVERIFY(showActive(&form));
    auto *city = child<QLineEdit>(&form, "Text1_12");
    city->setFocus();
    QTest::keyClicks(city, "Rome");
    // The database refuses the write (a trigger stands for any failure).
    QVERIFY(QSqlQuery(db).exec("CREATE TRIGGER refuse BEFORE UPDATE ON Contacts BEGIN SELECT RAISE(ABORT, 'refused here'); END"));
    QTest::mouseClick(child<QPushButton>(&form, "PushButton7"), Qt::LeftButton);
    const QStringList errors = env.messages.errors();
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].contains("Form1.PushButton7_Click at line 102"), qPrintable(errors[0]));
    QVERIFY2(errors[0].contains("refused here"), qPrintable(errors[0]));
    // A contact the database did not take is never reported as saved; the
    // handler still goes on with the list and the buttons.
    QVERIFY(env.messages.informations().isEmpty());
    QVERIFY(child<QPushButton>(&form, "PushButton4")->isEnabled());
    // Nothing typed is lost: the edit stays on screen.
    QCOMPARE(city->text(), QStringLiteral("Rome"));
    TestData::close(db);
}

QTEST_MAIN(ContactCommandsTest)
#include "tst_contactcommands.moc"
