#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "frame/NavigationBar.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <QtTest>

namespace {
int contactCount(QSqlDatabase &db)
{
    return TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts")).toInt();
}

// Presses the keys where the focus is, as the user does.
void press(QWidget *window, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = QApplication::focusWidget() ? QApplication::focusWidget() : window;
    QTest::keyClick(target, Qt::Key(key), modifiers);
}

QLineEdit *focusFirstName(Form1 &main)
{
    auto *box = child<QLineEdit>(&main, QStringLiteral("Text1_0"));
    box->setFocus(Qt::TabFocusReason);
    return box;
}
} // namespace

class ShortcutsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup() { TestData::close(db); }

    void ctrlFOpensSearchFromAnyBox();
    void ctrlNCreatesAndCtrlSSavesTheNewContact();
    void ctrlSStoresTheTextOfTheBoxBeingEdited();
    void ctrlNDoesNothingWhileAddingAsTheDisabledButton();
    void closeKeysAskAboutAChangedContact_data();
    void closeKeysAskAboutAChangedContact();
    void closeKeysCloseAnUnchangedWindowWithoutQuestion();
    void deleteOnTheListAsksTheDeleteQuestion();
    void deleteInABoxDeletesACharacterOnly();
    void navigationBarsAreReachedByTabAndPressedBySpace();
    void shiftTabLeavesAMultiLineBox();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
    qint64 friendType = 0;
};

void ShortcutsTest::init()
{
    env.reset();
    db = TestData::openLive();
    friendType = TestData::addType(db, QStringLiteral("Friend"));
    TestData::addType(db, QStringLiteral("Supplier"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "O'Hara"}, {"ContactTypeID", friendType}});
    TestData::addContact(db, {{"FirstName", "Björn"}, {"LastName", "Ærø"}, {"ContactTypeID", friendType}});
    TestData::addContact(db, {{"FirstName", "  Chen "}, {"LastName", "陳"}, {"ContactTypeID", friendType}});
}

void ShortcutsTest::ctrlFOpensSearchFromAnyBox()
{
    Form1 main;
    QVERIFY(showActive(&main));
    focusFirstName(main);
    QString title;
    whileModal([&](QDialog *dialog) { title = dialog->windowTitle(); });
    press(&main, Qt::Key_F, Qt::ControlModifier);
    QVERIFY2(title.startsWith(QLatin1String("Search")), qPrintable(title));
}

void ShortcutsTest::ctrlNCreatesAndCtrlSSavesTheNewContact()
{
    Form1 main;
    QVERIFY(showActive(&main));
    press(&main, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(contactCount(db), 4);
    auto *first = child<QLineEdit>(&main, QStringLiteral("Text1_0"));
    QTRY_VERIFY(first->hasFocus());
    QCOMPARE(first->selectedText(), QStringLiteral("New Contact"));
    QTest::keyClicks(first, QStringLiteral("D'Arcy"));

    // Without a type the save asks for one and puts the focus on the type box.
    press(&main, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(env.messages.informations(), QStringList({"Please select contact type."}));
    auto *types = child<QComboBox>(&main, QStringLiteral("dcbContactType"));
    QTRY_VERIFY(types->hasFocus());
    QTest::keyClick(types, Qt::Key_Down);
    QTest::keyClick(types, Qt::Key_Down);
    QCOMPARE(types->currentText(), QStringLiteral("Supplier"));

    env.messages.clear();
    press(&main, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(env.messages.informations(), QStringList({"D'Arcy \r\n   saved."}));
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE FirstName = ? AND ContactTypeID = "
                                                 "(SELECT ContactTypeID FROM \"Contact Types\" WHERE ContactType = ?)"),
                              {QStringLiteral("D'Arcy"), QStringLiteral("Supplier")})
                 .toInt(),
             1);
    QVERIFY(child<QPushButton>(&main, QStringLiteral("PushButton4"))->isEnabled());
    QVERIFY(!main.addingContact());
}

void ShortcutsTest::ctrlSStoresTheTextOfTheBoxBeingEdited()
{
    Form1 main;
    QVERIFY(showActive(&main));
    QLineEdit *first = focusFirstName(main);
    first->selectAll();
    QTest::keyClicks(first, QStringLiteral("Anne-Marie"));
    press(&main, Qt::Key_S, Qt::ControlModifier);
    QCOMPARE(env.messages.informations(), QStringList({"Anne-Marie O'Hara\r\n   saved."}));
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT FirstName FROM Contacts WHERE LastName = ?"), {"O'Hara"}).toString(),
             QStringLiteral("Anne-Marie"));
    // As after a click on Save Contact, the banner shows the stored name.
    QCOMPARE(child<QLabel>(&main, QStringLiteral("FullName1"))->text(), QStringLiteral("Anne-Marie O'Hara"));
}

void ShortcutsTest::ctrlNDoesNothingWhileAddingAsTheDisabledButton()
{
    Form1 main;
    QVERIFY(showActive(&main));
    press(&main, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(contactCount(db), 4);
    QVERIFY(!child<QPushButton>(&main, QStringLiteral("PushButton4"))->isEnabled());
    press(&main, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(contactCount(db), 4);
    QVERIFY(env.messages.shown.isEmpty());
}

void ShortcutsTest::closeKeysAskAboutAChangedContact_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("save");
    QTest::newRow("Ctrl+Q, Yes") << int(Qt::Key_Q) << true;
    QTest::newRow("Ctrl+Q, No") << int(Qt::Key_Q) << false;
    QTest::newRow("Ctrl+W, Yes") << int(Qt::Key_W) << true;
    QTest::newRow("Ctrl+W, No") << int(Qt::Key_W) << false;
}

void ShortcutsTest::closeKeysAskAboutAChangedContact()
{
    QFETCH(int, key);
    QFETCH(bool, save);
    Form1 main;
    QVERIFY(showActive(&main));
    QLineEdit *first = focusFirstName(main);
    first->selectAll();
    QTest::keyClicks(first, QStringLiteral("Änne"));
    env.messages.answerNext(save ? MessageService::Answer::Yes : MessageService::Answer::No);
    press(&main, key, Qt::ControlModifier);
    QCOMPARE(env.messages.questions().size(), 1);
    QVERIFY2(env.messages.questions().first().startsWith(QLatin1String("  Contact is changed.")),
             qPrintable(env.messages.questions().first()));
    QCOMPARE(env.messages.shown.first().title, QStringLiteral("Question"));
    QTRY_VERIFY(!main.isVisible());
    const QString stored = TestData::scalar(db, QStringLiteral("SELECT FirstName FROM Contacts WHERE LastName = ?"),
                                            {"O'Hara"}).toString();
    QCOMPARE(stored, save ? QStringLiteral("Änne") : QStringLiteral("Ann"));
}

void ShortcutsTest::closeKeysCloseAnUnchangedWindowWithoutQuestion()
{
    for (int key : {Qt::Key_Q, Qt::Key_W}) {
        Form1 main;
        QVERIFY(showActive(&main));
        press(&main, key, Qt::ControlModifier);
        QTRY_VERIFY(!main.isVisible());
        QVERIFY(env.messages.questions().isEmpty());
    }
}

void ShortcutsTest::deleteOnTheListAsksTheDeleteQuestion()
{
    Form1 main;
    QVERIFY(showActive(&main));
    auto *list = child<QTableView>(&main, QStringLiteral("ListView1"));
    clickListRow(&main, 1);
    QTRY_VERIFY(list->hasFocus());

    env.messages.answerNext(MessageService::Answer::No);
    press(&main, Qt::Key_Delete);
    QCOMPARE(env.messages.questions(), QStringList({"Do you really want to delete this Contact ?\r\nFor: Björn Ærø"}));
    QCOMPARE(contactCount(db), 3);

    env.messages.clear();
    env.messages.answerNext(MessageService::Answer::Yes);
    press(&main, Qt::Key_Delete);
    QCOMPARE(env.messages.questions().size(), 1);
    QCOMPARE(contactCount(db), 2);
    QCOMPARE(TestData::scalar(db, QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE FirstName = ?"), {"Björn"}).toInt(), 0);
    QCOMPARE(list->model()->rowCount(), 2);
    // The focus stays in the list for the next key.
    QVERIFY(list->hasFocus());
}

void ShortcutsTest::deleteInABoxDeletesACharacterOnly()
{
    Form1 main;
    QVERIFY(showActive(&main));
    QLineEdit *first = focusFirstName(main);
    first->setCursorPosition(0);
    press(&main, Qt::Key_Delete);
    QCOMPARE(first->text(), QStringLiteral("nn"));
    QVERIFY(env.messages.questions().isEmpty());
    QCOMPARE(contactCount(db), 3);
}

void ShortcutsTest::navigationBarsAreReachedByTabAndPressedBySpace()
{
    Form1 main;
    QVERIFY(showActive(&main));
    auto *bar = child<NavigationBar>(&main, QStringLiteral("dc"));
    auto *banner = child<QLabel>(&main, QStringLiteral("FullName1"));
    QCOMPARE(banner->text(), QStringLiteral("Ann O'Hara"));
    // From the last command button, Tab walks into the bar.
    child(&main, QStringLiteral("PushButton6"))->setFocus(Qt::TabFocusReason);
    bool reached = false;
    for (int presses = 0; presses < 10 && !reached; ++presses) {
        press(&main, Qt::Key_Tab);
        reached = QApplication::focusWidget() == bar->nextButton();
    }
    QVERIFY2(reached, "Tab never reaches the contacts bar's Next button");
    press(&main, Qt::Key_Space);
    QTRY_COMPARE(banner->text(), QStringLiteral("Björn Ærø"));
    // The next stop is Last; Shift+Tab goes back through Next to Previous.
    press(&main, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), bar->lastButton());
    press(&main, Qt::Key_Space);
    QTRY_COMPARE(banner->text(), QStringLiteral("  Chen  陳"));
    press(&main, Qt::Key_Backtab, Qt::ShiftModifier);
    press(&main, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(QApplication::focusWidget(), bar->previousButton());
    press(&main, Qt::Key_Space);
    QTRY_COMPARE(banner->text(), QStringLiteral("Björn Ærø"));

    // The calls bar and the contact types bar are tab stops too.
    QVERIFY(child<NavigationBar>(&main, QStringLiteral("dc1"))->firstButton()->focusPolicy() & Qt::TabFocus);
}

void ShortcutsTest::shiftTabLeavesAMultiLineBox()
{
    Form1 main;
    QVERIFY(showActive(&main));
    auto *notes = child(&main, QStringLiteral("Text1_18"));
    notes->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(notes->hasFocus());
    press(&main, Qt::Key_Backtab, Qt::ShiftModifier);
    QTRY_COMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("Text1_17"));
}

QTEST_MAIN(ShortcutsTest)
#include "tst_shortcuts.moc"
