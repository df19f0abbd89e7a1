#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"
#include "frame/NavigationBar.h"
#include "base/Paths.h"
#include "reference/Form2.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

// What a user types reaches the right contact, unchanged, whichever way the
// user leaves the box.
class TypingTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void notesAndSubjectsAreStoredBeforeEveryMove();
    void openSubjectEditorIsStoredWhenTheWindowCloses();
    void badBirthDateAndTheBarGiveTheMessageAndStay();
    void withoutContactTheBoxesTakeNoTyping();
    void caretStaysWhereTheUserPutsIt();
    void addNewCallOpensTheSubjectCell();
    void freedKeysAreNeverHandedOutAgain();
    void staleSaveIsRefusedAndKeepsTheEdit();
    void editsOfOtherFieldsStillMerge();
    void typePopupListsTheTypesAndAClickPicksOne();
    void tabLeavesMultiLineBoxesInReadingOrder();
    void returnPressesTheFocusedButtonOfTheTypesWindow();
    void fullNameBoxIsWhiteAndHeadingRulesCrossTheText();
    void unreadableDatabaseReportsTheStartUpSteps();

private:
    Form1 &start();
    QLineEdit *openSubjectCell(int row);
    QPlainTextEdit *callNotes() { return child<QPlainTextEdit>(form.get(), "CallNotes"); }
    NavigationBar *bar(const char *name) { return child<NavigationBar>(form.get(), name); }
    QVariant scalar(const QString &sql, const QVariantList &values = {}) { return TestData::scalar(db, sql, values); }

    IsolatedEnvironment env;
    QSqlDatabase db;
    std::unique_ptr<Form1> form;
    qint64 customer = 0;
    qint64 supplier = 0;
    qint64 ann = 0;
    qint64 bob = 0;
    qint64 annCall1 = 0;
    qint64 annCall2 = 0;
};

void TypingTest::init()
{
    env.reset();
    db = TestData::openLive();
    customer = TestData::addType(db, "Customer");
    supplier = TestData::addType(db, "Supplier");
    ann = TestData::addContact(db, {{"FirstName", "Alice"}, {"LastName", "Lee"}, {"ContactTypeID", customer}});
    bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "O'Ray"}, {"City", "Oslo"}});
    annCall1 = TestData::addCall(db, ann, "2026-03-14", "09:07:00", "First", "old notes");
    annCall2 = TestData::addCall(db, ann, "2026-03-15", "23:59:00", "Second");
}

void TypingTest::cleanup()
{
    form.reset();
    TestData::close(db);
}

Form1 &TypingTest::start()
{
    form = std::make_unique<Form1>();
    if (!showActive(form.get()))
        qWarning("the window did not become active");
    return *form;
}

// Opens the grid's editor on a call's subject, its text selected.
QLineEdit *TypingTest::openSubjectCell(int row)
{
    auto *grid = child<QTableView>(form.get(), "DataGrid1");
    const QModelIndex subject = grid->model()->index(row, CallLogModel::Subject);
    grid->setCurrentIndex(subject);
    grid->edit(subject);
    auto *editor = grid->viewport()->findChild<QLineEdit *>();
    if (editor)
        editor->selectAll();
    return editor;
}

void TypingTest::notesAndSubjectsAreStoredBeforeEveryMove()
{
    start();
    child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(1);
    // Notes, then the "Calls" bar: stored under the first call.
    callNotes()->setFocus();
    callNotes()->selectAll();
    QTest::keyClicks(callNotes(), "Called back, 'ok'");
    QTest::mouseClick(bar("dc1")->nextButton(), Qt::LeftButton);
    QCOMPARE(scalar("SELECT Notes FROM Calls WHERE CallID = ?", {annCall1}).toString(), QStringLiteral("Called back, 'ok'"));
    QCOMPARE(callNotes()->toPlainText(), QString());

    // Notes of the second call, then the "Contacts" bar.
    callNotes()->setFocus();
    QTest::keyClicks(callNotes(), " two  spaces ");
    QTest::mouseClick(bar("dc")->nextButton(), Qt::LeftButton);
    QCOMPARE(scalar("SELECT Notes FROM Calls WHERE CallID = ?", {annCall2}).toString(), QStringLiteral(" two  spaces "));
    QCOMPARE(form->contactsRs()->currentId(), bob);

    // A subject still in the grid's editor, then the "Contacts" bar.
    QTest::mouseClick(bar("dc")->previousButton(), Qt::LeftButton);
    QLineEdit *editor = openSubjectCell(0);
    QVERIFY(editor);
    QTest::keyClicks(editor, "Price 'A'");
    QTest::mouseClick(bar("dc")->lastButton(), Qt::LeftButton);
    QCOMPARE(scalar("SELECT Subject FROM Calls WHERE CallID = ?", {annCall1}).toString(), QStringLiteral("Price 'A'"));
    QVERIFY(env.messages.errors().isEmpty());
}

void TypingTest::openSubjectEditorIsStoredWhenTheWindowCloses()
{
    start();
    child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(1);
    QLineEdit *editor = openSubjectCell(1);
    QVERIFY(editor);
    QTest::keyClicks(editor, "Closing");
    form->close();
    QCOMPARE(scalar("SELECT Subject FROM Calls WHERE CallID = ?", {annCall2}).toString(), QStringLiteral("Closing"));
    // And the first name typed last is asked about, not lost.
    env.messages.clear();
    start();
    auto *first = child<QLineEdit>(form.get(), "Text1_0");
    first->setFocus();
    first->selectAll();
    QTest::keyClicks(first, "Alicia");
    env.messages.answerNext(MessageService::Answer::Yes);
    form->close();
    QCOMPARE(env.messages.questions().size(), 1);
    QCOMPARE(scalar("SELECT FirstName FROM Contacts WHERE ContactID = ?", {ann}).toString(), QStringLiteral("Alicia"));
}

void TypingTest::badBirthDateAndTheBarGiveTheMessageAndStay()
{
    start();
    child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(2);
    auto *birth = child<QLineEdit>(form.get(), "Text1_22");
    birth->setFocus();
    QTest::keyClicks(birth, "31/13/1990");
    QTest::mouseClick(bar("dc")->nextButton(), Qt::LeftButton);
    QCOMPARE(env.messages.informations().size(), 1);
    QVERIFY(env.messages.informations()[0].contains("\"31/13/1990\" is not a date"));
    QCOMPARE(form->contactsRs()->currentId(), ann);
    // A real date goes with the move.
    birth->setFocus();
    birth->selectAll();
    QTest::keyClicks(birth, "1988-02-29");
    QTest::mouseClick(bar("dc")->nextButton(), Qt::LeftButton);
    QCOMPARE(form->contactsRs()->currentId(), bob);
    QCOMPARE(scalar("SELECT Birthdate FROM Contacts WHERE ContactID = ?", {ann}).toString(), QStringLiteral("1988-02-29"));
    QCOMPARE(env.messages.informations().size(), 1);
}

void TypingTest::withoutContactTheBoxesTakeNoTyping()
{
    QVERIFY(QSqlQuery(db).exec("DELETE FROM Contacts"));
    start();
    auto *city = child<QLineEdit>(form.get(), "Text1_12");
    QVERIFY(!city->isEnabled());
    QVERIFY(!child<QPlainTextEdit>(form.get(), "Text1_18")->isEnabled());
    QVERIFY(!child<QComboBox>(form.get(), "dcbContactType")->isEnabled());
    QTest::keyClicks(city, "Lost");
    QCOMPARE(city->text(), QString());
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton7"), Qt::LeftButton);
    QVERIFY(env.messages.errors().isEmpty());
    QVERIFY(!env.messages.informations().join('\n').contains("saved."));

    // Create makes a contact, and the boxes take typing again.
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton4"), Qt::LeftButton);
    QVERIFY(city->isEnabled());
    auto *types = child<QComboBox>(form.get(), "dcbContactType");
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton7"), Qt::LeftButton);
    // Deleting it leaves no current contact: the boxes wait again.
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton3"), Qt::LeftButton);
    QVERIFY(!city->isEnabled());
    QVERIFY(env.messages.errors().isEmpty());
}

void TypingTest::caretStaysWhereTheUserPutsIt()
{
    start();
    auto *first = child<QLineEdit>(form.get(), "Text1_0");
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Home);
    QTest::keyClicks(first, "XY");
    QCOMPARE(first->text(), QStringLiteral("XYAlice"));
    QCOMPARE(child<QLabel>(form.get(), "FullName1")->text(), QStringLiteral("XYAlice Lee"));
    QTest::keyClick(first, Qt::Key_Home);
    QTest::keyClick(first, Qt::Key_Delete);
    QTest::keyClick(first, Qt::Key_Delete);
    QCOMPARE(first->text(), QStringLiteral("Alice"));
    QTest::keyClick(first, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(first->text(), QStringLiteral("XYAlice"));
    auto *last = child<QLineEdit>(form.get(), "Text1_1");
    last->setFocus();
    QTest::keyClick(last, Qt::Key_End);
    QTest::keyClick(last, Qt::Key_Left);
    QTest::keyClicks(last, "-");
    QCOMPARE(last->text(), QStringLiteral("Le-e"));
    QCOMPARE(child<QLabel>(form.get(), "FullName")->text(), QStringLiteral("XYAlice Le-e"));
    QTest::mouseClick(bar("dc")->nextButton(), Qt::LeftButton);
    QCOMPARE(scalar("SELECT FirstName || '|' || LastName FROM Contacts WHERE ContactID = ?", {ann}).toString(),
             QStringLiteral("XYAlice|Le-e"));
}

void TypingTest::addNewCallOpensTheSubjectCell()
{
    start();
    child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(1);
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton2"), Qt::LeftButton);
    auto *grid = child<QTableView>(form.get(), "DataGrid1");
    QCOMPARE(grid->currentIndex().row(), 2);
    QCOMPARE(grid->currentIndex().column(), int(CallLogModel::Subject));
    QWidget *editor = QApplication::focusWidget();
    QVERIFY(qobject_cast<QLineEdit *>(editor));
    QCOMPARE(editor->parentWidget(), grid->viewport()); // the cell's own editor
    QTest::keyClicks(editor, "a b  c");
    QCOMPARE(qobject_cast<QLineEdit *>(editor)->text(), QStringLiteral("a b  c"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents(); // the grid commits through its event queue
    QCOMPARE(scalar("SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {ann}).toInt(), 3);
    QCOMPARE(scalar("SELECT Subject FROM Calls WHERE ContactID = ? ORDER BY CallID DESC", {ann}).toString(),
             QStringLiteral("a b  c"));
}

void TypingTest::freedKeysAreNeverHandedOutAgain()
{
    start();
    // Bob holds the highest key; a call is left under it by another program.
    QTest::mouseClick(bar("dc")->lastButton(), Qt::LeftButton);
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton3"), Qt::LeftButton);
    TestData::addCall(db, bob, "2026-01-01", "10:00:00", "Left behind");
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton4"), Qt::LeftButton);
    QVERIFY(form->contactsRs()->currentId() > bob);
    QCOMPARE(form->callsRs()->rowCount(), 0);

    // A type deleted in the types window: its contacts keep the key and show no type.
    whileModal([this](QDialog *dialog) {
        auto *types = qobject_cast<Form2 *>(dialog);
        types->setCurrentRow(0); // Customer
        env.messages.answerNext(MessageService::Answer::Yes);
        types->PushButton1_Click();
        types->PushButton2_Click();
    });
    QTest::mouseClick(bar("dc")->firstButton(), Qt::LeftButton);
    form->PushButton5_Click();
    QVERIFY(scalar("SELECT MAX(ContactTypeID) FROM \"Contact Types\"").toLongLong() > supplier);
    QCOMPARE(scalar("SELECT ContactTypeID FROM Contacts WHERE ContactID = ?", {ann}).toLongLong(), customer);
    QCOMPARE(child<QComboBox>(form.get(), "dcbContactType")->currentIndex(), -1);
    QVERIFY(env.messages.errors().isEmpty());
}

void TypingTest::staleSaveIsRefusedAndKeepsTheEdit()
{
    start();
    QTest::mouseClick(bar("dc")->lastButton(), Qt::LeftButton); // Bob, of no type yet
    auto *types = child<QComboBox>(form.get(), "dcbContactType");
    types->setFocus();
    QTest::keyClick(types, Qt::Key_Down);
    auto *first = child<QLineEdit>(form.get(), "Text1_0");
    first->setFocus();
    first->selectAll();
    QTest::keyClicks(first, "Edited Bob");
    // Meanwhile a restore elsewhere puts another person under Bob's key.
    QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE Contacts SET FirstName = 'Xena' WHERE ContactID = %1").arg(bob)));
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton7"), Qt::LeftButton);
    // One question names the field; Cancel (the escape answer) stores nothing and keeps the edit.
    QCOMPARE(env.messages.questions().size(), 1);
    QVERIFY(env.messages.questions()[0].contains("First Name\r\n    theirs: \"Xena\"\r\n    yours: \"Edited Bob\""));
    QVERIFY(env.messages.errors().isEmpty());
    QVERIFY(!env.messages.informations().join('\n').contains("saved."));
    QCOMPARE(scalar("SELECT FirstName FROM Contacts WHERE ContactID = ?", {bob}).toString(), QStringLiteral("Xena"));
    QCOMPARE(first->text(), QStringLiteral("Edited Bob"));
    QVERIFY(form->contactsRs()->isEditing());
}

void TypingTest::editsOfOtherFieldsStillMerge()
{
    start();
    auto *title = child<QLineEdit>(form.get(), "Text1_4");
    title->setFocus();
    QTest::keyClicks(title, "Buyer");
    QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE Contacts SET City = 'Graz' WHERE ContactID = %1").arg(ann)));
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton7"), Qt::LeftButton);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
    QCOMPARE(env.messages.informations(), QStringList{"Alice Lee\r\n   saved."});
    QCOMPARE(scalar("SELECT Title || '|' || City FROM Contacts WHERE ContactID = ?", {ann}).toString(),
             QStringLiteral("Buyer|Graz"));
}

void TypingTest::typePopupListsTheTypesAndAClickPicksOne()
{
    start();
    auto *types = child<QComboBox>(form.get(), "dcbContactType");
    types->showPopup();
    QAbstractItemView *popup = types->view();
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->model()->rowCount(), 2);
    QCOMPARE(popup->model()->index(1, types->modelColumn()).data().toString(), QStringLiteral("Supplier"));
    const QRect supplierRow = popup->visualRect(popup->model()->index(1, types->modelColumn()));
    QVERIFY2(supplierRow.height() > 5 && supplierRow.width() > 100, qPrintable(QString::number(supplierRow.width())));
    QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, supplierRow.center());
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(types->currentText(), QStringLiteral("Supplier"));
    QTest::mouseClick(child<QPushButton>(form.get(), "PushButton7"), Qt::LeftButton);
    QCOMPARE(scalar("SELECT ContactTypeID FROM Contacts WHERE ContactID = ?", {ann}).toLongLong(), supplier);
}

void TypingTest::tabLeavesMultiLineBoxesInReadingOrder()
{
    start();
    QWidget *window = form.get();
    auto order = [window](const char *from, int steps) {
        child(window, from)->setFocus();
        QStringList names;
        for (int i = 0; i < steps; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            names << QApplication::focusWidget()->objectName();
        }
        return names;
    };
    QCOMPARE(order("Text1_0", 6), (QStringList{"Text1_1", "Text1_3", "Text1_4", "dcbContactType", "Text1_6", "Text1_7"}));
    QCOMPARE(order("Text1_8", 3), (QStringList{"Text1_9", "Text1_10", "Text1_11"}));
    QCOMPARE(order("Text1_17", 1), QStringList{"Text1_18"});
    QCOMPARE(order("Text1_18", 1).size(), 1);
    QVERIFY(!child<QPlainTextEdit>(window, "Text1_18")->toPlainText().contains('\t'));
    QVERIFY(!child<QPlainTextEdit>(window, "Text1_9")->hasFocus());
    child<QTabWidget>(window, "SSTab1")->setCurrentIndex(2);
    QCOMPARE(order("Text1_2", 7),
             (QStringList{"Text1_19", "Text1_20", "Text1_21", "Text1_22", "Text1_23", "Text1_24", "Text1_25"}));
    QVERIFY(!child<QPlainTextEdit>(window, "Text1_23")->toPlainText().contains('\t'));
    child<QTabWidget>(window, "SSTab1")->setCurrentIndex(1);
    callNotes()->setFocus();
    QTest::keyClick(callNotes(), Qt::Key_Tab);
    QVERIFY(!callNotes()->hasFocus());
    QCOMPARE(scalar("SELECT COUNT(*) FROM Calls WHERE Notes LIKE '%' || char(9) || '%'").toInt(), 0);
}

void TypingTest::returnPressesTheFocusedButtonOfTheTypesWindow()
{
    start();
    bool checked = false;
    whileModal([&](QDialog *dialog) {
        auto *types = qobject_cast<Form2 *>(dialog);
        auto *add = child<QPushButton>(types, "PushButton2");
        // Return in the grid presses nothing.
        types->grid()->setFocus();
        QTest::keyClick(types->grid(), Qt::Key_Return);
        QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 2);
        add->setFocus();
        QTest::keyClick(add, Qt::Key_Return);
        QTest::keyClick(add, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactType = 'New Type'").toInt(), 2);
        checked = true;
    });
    form->PushButton5_Click();
    QVERIFY(checked);
}

void TypingTest::fullNameBoxIsWhiteAndHeadingRulesCrossTheText()
{
    start();
    auto *fullName = child<QLabel>(form.get(), "FullName");
    QVERIFY(fullName->autoFillBackground());
    QCOMPARE(fullName->palette().color(QPalette::Window), QColor(Qt::white));
    for (auto [label, rule] : {std::pair{"Label1_4", "Line1"}, std::pair{"Label1_14", "Line2"}}) {
        auto *heading = child<QLabel>(form.get(), label);
        QWidget *line = child(form.get(), rule);
        QVERIFY(heading->alignment() & Qt::AlignVCenter);
        QCOMPARE(line->geometry().center().y(), heading->geometry().center().y());
        QCOMPARE(qRound(2160 / 15.0), line->geometry().center().y() + 1);
    }
}

void TypingTest::unreadableDatabaseReportsTheStartUpSteps()
{
    TestData::close(db);
    QFile::remove(liveDatabasePath());
    QFile::remove(liveDatabasePath() + "-wal");
    QFile::remove(liveDatabasePath() + "-shm");
    QVERIFY(QDir().mkpath(liveDatabasePath())); // a folder where the file should be
    form = std::make_unique<Form1>();
    const QStringList errors = env.messages.errors();
    QStringList steps;
    for (const QString &error : errors)
        steps << error.section("at line ", 1).section('\r', 0, 0);
    QVERIFY2(steps.mid(0, 6) == (QStringList{"154", "160", "162", "166", "168", "174"}), qPrintable(steps.join(',')));
    QVERIFY(steps.contains("186"));
    QVERIFY(steps.contains("192"));
    QVERIFY(steps.contains("206"));
    QVERIFY(steps.contains("212"));
    QVERIFY(steps.contains("214"));
    const QString opening = errors.first().section("\r\n", 0, 0);
    QVERIFY(!opening.isEmpty());
    const QString half = opening.left(opening.size() / 2).trimmed();
    QVERIFY2(!opening.mid(opening.size() / 2).contains(half), qPrintable(opening)); // said once
    QVERIFY(errors[1].startsWith("Operation is not allowed when the object is closed.\r\n"));
    // The window still opens, empty.
    QVERIFY(showActive(form.get()));
    QCOMPARE(child<QTableView>(form.get(), "ListView1")->model()->rowCount(), 0);
    QDir(liveDatabasePath()).removeRecursively();
    db = TestData::openLive();
}

QTEST_MAIN(TypingTest)
#include "tst_typing.moc"
