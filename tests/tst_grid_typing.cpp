#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "contacts/Form1.h"
#include "frame/Clock.h"
#include "frame/NavigationBar.h"
#include "reference/ContactTypesModel.h"
#include "reference/Form2.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

#include <memory>

// Typing into the call grid and the contact types grid, as a user does:
// keys into the real grid of the real window, the outcome read back from the
// database file.
namespace {

const char *const kCallRow =
    "SELECT quote(CallID)||'|'||quote(ContactID)||'|'||quote(CallDate)||'|'||quote(CallTime)||'|'"
    "||quote(Subject)||'|'||quote(Notes) FROM Calls WHERE CallID = ?";

QString callRow(QSqlDatabase &db, qint64 call)
{
    return TestData::scalar(db, QString::fromLatin1(kCallRow), {call}).toString();
}

// Every call, every byte of it.
QString allCalls(QSqlDatabase &db)
{
    return TestData::scalar(db, QStringLiteral("SELECT group_concat(row, char(10)) FROM (SELECT quote(CallID)||'|'"
                                               "||quote(ContactID)||'|'||quote(CallDate)||'|'||quote(CallTime)||'|'"
                                               "||quote(Subject)||'|'||quote(Notes) AS row FROM Calls ORDER BY CallID)"))
        .toString();
}

QLineEdit *focusedEditor()
{
    return qobject_cast<QLineEdit *>(QApplication::focusWidget());
}

// Makes the cell current and types the text over it:
// the first key opens the cell's editor, the others go where the focus
// then is. The text editor that took them, or null.
QLineEdit *typeOverCell(QTableView *grid, const QModelIndex &cell, const QString &text)
{
    grid->setFocus();
    grid->setCurrentIndex(cell);
    QTest::keyClick(grid, text.at(0).toLatin1());
    if (!focusedEditor())
        return nullptr;
    QTest::keyClicks(QApplication::focusWidget(), text.mid(1));
    return focusedEditor();
}

void pressOnEditor(Qt::Key key)
{
    if (QWidget *focus = QApplication::focusWidget())
        QTest::keyClick(focus, key);
}

} // namespace

class GridTypingTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void typedDateIsStoredAsThatDay_data();
    void typedDateIsStoredAsThatDay();
    void typedTimeIsStoredAsThatTime_data();
    void typedTimeIsStoredAsThatTime();
    void impossibleValueIsRefusedAndTheEditorKeepsIt_data();
    void impossibleValueIsRefusedAndTheEditorKeepsIt();
    void newRowWithAnImpossibleDateStoresNoCall();
    void f2EditsTheShownText();
    void browsingTheLogWritesNothing();

    void newTypeIsNamedByTypingAndReturn();
    void deletingAUsedTypeSaysHowManyContactsHaveIt();
    void fullNameBoxIsDrawnWithAllFourEdges();

private:
    void openCalls(const QString &locale);
    QModelIndex cell(int row, int column) const { return grid->model()->index(row, column); }

    IsolatedEnvironment env;
    QSqlDatabase db;
    std::unique_ptr<Form1> form;
    QTableView *grid = nullptr;
    qint64 ann = 0;
    qint64 firstCall = 0;
    qint64 secondCall = 0;
    QLocale savedLocale;
};

void GridTypingTest::init()
{
    env.reset();
    savedLocale = QLocale();
    Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 5, 42)); });
    db = TestData::openLive();
    ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    // Values the grid shows otherwise than they are stored: seconds, blanks,
    // CR LF and a lone CR.
    firstCall = TestData::addCall(db, ann, "2021-03-14", "09:07:31", "Quote  ", "line one\r\nline two\rend");
    secondCall = TestData::addCall(db, ann, "2020-01-02", "23:59:00", "Earlier call", "");
}

void GridTypingTest::cleanup()
{
    form.reset();
    grid = nullptr;
    TestData::close(db);
    Clock::setSource({});
    QLocale::setDefault(savedLocale);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
}

void GridTypingTest::openCalls(const QString &locale)
{
    QLocale::setDefault(QLocale(locale));
    form = std::make_unique<Form1>();
    QVERIFY(showActive(form.get()));
    child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(1);
    grid = child<QTableView>(form.get(), "DataGrid1");
    QCOMPARE(form->callsRs()->rowCount(), 2);
}

void GridTypingTest::typedDateIsStoredAsThatDay_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("en_US short form") << "en_US" << "12/31/2024" << "2024-12-31" << "12/31/2024";
    QTest::newRow("en_US ISO") << "en_US" << "2024-12-31" << "2024-12-31" << "12/31/2024";
    QTest::newRow("en_US two-digit year") << "en_US" << "7/4/76" << "1976-07-04" << "7/4/1976";
    QTest::newRow("en_GB short form") << "en_GB" << "31/12/2024" << "2024-12-31" << "31/12/2024";
    QTest::newRow("de_DE short form") << "de_DE" << "31.12.2024" << "2024-12-31" << "31.12.2024";
    QTest::newRow("de_DE two-digit year") << "de_DE" << "1.2.25" << "2025-02-01" << "01.02.2025";
    QTest::newRow("C day first") << "C" << "31/12/2024" << "2024-12-31" << "31 Dec 2024";
}

void GridTypingTest::typedDateIsStoredAsThatDay()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    openCalls(locale);
    const QString before = callRow(db, firstCall);
    const QString other = callRow(db, secondCall);

    QLineEdit *editor = typeOverCell(grid, cell(0, CallLogModel::CallDate), typed);
    QVERIFY(editor);
    // Typing replaced the cell's text.
    QCOMPARE(editor->text(), typed);
    pressOnEditor(Qt::Key_Return);

    QString expected = before;
    expected.replace(QStringLiteral("'2021-03-14'"), QLatin1Char('\'') + stored + QLatin1Char('\''));
    QTRY_COMPARE(callRow(db, firstCall), expected);
    QCOMPARE(callRow(db, secondCall), other);
    QCOMPARE(cell(0, CallLogModel::CallDate).data().toString(), shown);
    QVERIFY(env.messages.informations().isEmpty());
}

void GridTypingTest::typedTimeIsStoredAsThatTime_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");
    QTest::newRow("en_US AM/PM") << "en_US" << "2:30 PM" << "14:30:00";
    QTest::newRow("en_US 24 hours") << "en_US" << "14:30" << "14:30:00";
    QTest::newRow("en_GB seconds") << "en_GB" << "14:30:15" << "14:30:15";
    QTest::newRow("de_DE") << "de_DE" << "8:05" << "08:05:00";
    QTest::newRow("C lower-case marker") << "C" << "9:05 am" << "09:05:00";
}

void GridTypingTest::typedTimeIsStoredAsThatTime()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    openCalls(locale);
    const QString before = callRow(db, firstCall);

    QLineEdit *editor = typeOverCell(grid, cell(0, CallLogModel::CallTime), typed);
    QVERIFY(editor);
    QCOMPARE(editor->text(), typed);
    pressOnEditor(Qt::Key_Return);

    QString expected = before;
    expected.replace(QStringLiteral("'09:07:31'"), QLatin1Char('\'') + stored + QLatin1Char('\''));
    QTRY_COMPARE(callRow(db, firstCall), expected);
    QVERIFY(env.messages.informations().isEmpty());
}

void GridTypingTest::impossibleValueIsRefusedAndTheEditorKeepsIt_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("message");
    QTest::newRow("en_US February 30") << "en_US" << int(CallLogModel::CallDate) << "2/30/2024"
                                       << "\"2/30/2024\" is not a date. Type a date such as 12/31/2024.";
    QTest::newRow("en_US day first") << "en_US" << int(CallLogModel::CallDate) << "31/12/2024"
                                     << "\"31/12/2024\" is not a date. Type a date such as 12/31/2024.";
    QTest::newRow("de_DE word") << "de_DE" << int(CallLogModel::CallDate) << "tomorrow"
                                << "\"tomorrow\" is not a date. Type a date such as 31.12.2024.";
    QTest::newRow("en_GB 25:61") << "en_GB" << int(CallLogModel::CallTime) << "25:61"
                                 << "\"25:61\" is not a time. Type a time such as 14:30.";
    QTest::newRow("en_US 13 PM") << "en_US" << int(CallLogModel::CallTime) << "13:00 PM"
                                 << "\"13:00 PM\" is not a time. Type a time such as 2:30 PM.";
}

void GridTypingTest::impossibleValueIsRefusedAndTheEditorKeepsIt()
{
    QFETCH(QString, locale);
    QFETCH(int, column);
    QFETCH(QString, typed);
    QFETCH(QString, message);
    openCalls(locale);
    const QString before = allCalls(db);

    QVERIFY(typeOverCell(grid, cell(0, column), typed));
    pressOnEditor(Qt::Key_Return);
    QTRY_COMPARE(env.messages.informations(), QStringList{message});
    QCOMPARE(allCalls(db), before);
    // The cell is being edited again, with the text as typed.
    QTRY_VERIFY(focusedEditor() && focusedEditor()->text() == typed);
    QCOMPARE(grid->currentIndex(), cell(0, column));

    // Tab refuses it too; Escape gives up, and nothing was stored.
    pressOnEditor(Qt::Key_Tab);
    QTRY_COMPARE(env.messages.informations().size(), 2);
    QTRY_VERIFY(focusedEditor() && focusedEditor()->text() == typed);
    pressOnEditor(Qt::Key_Escape);
    QCoreApplication::processEvents();
    QCOMPARE(allCalls(db), before);
    QCOMPARE(env.messages.informations().size(), 2);
}

void GridTypingTest::newRowWithAnImpossibleDateStoresNoCall()
{
    openCalls(QStringLiteral("en_US"));
    const QString before = allCalls(db);
    QCOMPARE(grid->model()->rowCount(), 3); // two calls and the row for a new one
    QVERIFY(typeOverCell(grid, cell(2, CallLogModel::CallDate), QStringLiteral("2/30/2024")));
    pressOnEditor(Qt::Key_Return);
    QTRY_COMPARE(env.messages.informations().size(), 1);
    QCOMPARE(allCalls(db), before);
    QTRY_VERIFY(focusedEditor() && focusedEditor()->text() == QStringLiteral("2/30/2024"));

    // Mended in place, the new call gets that day.
    QLineEdit *editor = focusedEditor();
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("2/28/2024"));
    pressOnEditor(Qt::Key_Return);
    QTRY_COMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls WHERE ContactID = ? AND CallDate = '2024-02-28' "
                                      "AND CallTime = '13:05:42'", {ann}).toInt(),
                 1);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Calls").toInt(), 3);
}

void GridTypingTest::f2EditsTheShownText()
{
    openCalls(QStringLiteral("en_US"));
    const QString before = callRow(db, firstCall);

    // F2 and Return on a time shown without its seconds changes nothing.
    grid->setFocus();
    grid->setCurrentIndex(cell(0, CallLogModel::CallTime));
    QTest::keyClick(grid, Qt::Key_F2);
    QVERIFY(focusedEditor());
    QCOMPARE(focusedEditor()->text(), QStringLiteral("9:07 AM"));
    QVERIFY(!focusedEditor()->hasSelectedText());
    pressOnEditor(Qt::Key_Return);
    QCoreApplication::processEvents();
    QCOMPARE(callRow(db, firstCall), before);

    // F2 puts the cursor after the shown text: the next keys change it.
    grid->setCurrentIndex(cell(0, CallLogModel::CallDate));
    QTest::keyClick(grid, Qt::Key_F2);
    QLineEdit *editor = focusedEditor();
    QVERIFY(editor);
    QCOMPARE(editor->text(), QStringLiteral("3/14/2021"));
    QVERIFY(!editor->hasSelectedText());
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClicks(editor, QStringLiteral("5"));
    pressOnEditor(Qt::Key_Return);
    QString expected = before;
    expected.replace(QStringLiteral("'2021-03-14'"), QStringLiteral("'2025-03-14'"));
    QTRY_COMPARE(callRow(db, firstCall), expected);
    QVERIFY(env.messages.informations().isEmpty());
}

void GridTypingTest::browsingTheLogWritesNothing()
{
    for (const char *locale : {"en_US", "de_DE"}) {
        openCalls(QString::fromLatin1(locale));
        const QString before = allCalls(db);
        auto *notes = child<QPlainTextEdit>(form.get(), "CallNotes");
        QCOMPARE(notes->toPlainText(), QStringLiteral("line one\nline two\nend"));
        // Clicks on every cell, the bar, the notes box and away again.
        for (int row = 0; row < 2; ++row) {
            for (int column : {CallLogModel::CallDate, CallLogModel::CallTime, CallLogModel::Subject})
                QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell(row, column)).center());
        }
        auto *bar = child<NavigationBar>(form.get(), "dc1");
        emit bar->firstClicked();
        QTest::mouseClick(notes, Qt::LeftButton);
        QTest::keyClick(notes, Qt::Key_End);
        emit bar->nextClicked();
        emit bar->lastClicked();
        emit bar->firstClicked();
        QTest::mouseClick(notes, Qt::LeftButton);
        grid->setFocus();
        // Opening every cell and leaving it with Return or Tab.
        for (int column : {CallLogModel::CallDate, CallLogModel::CallTime, CallLogModel::Subject}) {
            grid->setCurrentIndex(cell(0, column));
            QTest::keyClick(grid, Qt::Key_F2);
            pressOnEditor(column == CallLogModel::Subject ? Qt::Key_Return : Qt::Key_Tab);
            QCoreApplication::processEvents();
            grid->setFocus();
        }
        // Away to the first page and back.
        child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(0);
        child<QTabWidget>(form.get(), "SSTab1")->setCurrentIndex(1);
        form->close();
        form.reset();
        QCOMPARE(allCalls(db), before);
        QVERIFY(env.messages.informations().isEmpty());
    }
}

namespace {
Form2 *openTypesWindow(Form1 *main, const std::function<void(Form2 *)> &action)
{
    Form2 *shown = nullptr;
    whileModal([&](QDialog *dialog) {
        shown = qobject_cast<Form2 *>(dialog);
        QVERIFY(shown);
        action(shown);
    });
    main->PushButton5_Click();
    return shown;
}
} // namespace

void GridTypingTest::newTypeIsNamedByTypingAndReturn()
{
    TestData::addType(db, QStringLiteral("Customer"));
    form = std::make_unique<Form1>();
    QVERIFY(showActive(form.get()));
    const Form2 *seen = openTypesWindow(form.get(), [this](Form2 *window) {
        QVERIFY(showActive(window));
        auto *add = child<QPushButton>(window, "PushButton2");
        QTest::mouseClick(add, Qt::LeftButton);
        // The keys go where the focus is, as a user's keys do.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Supplier"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(TestData::scalar(db, "SELECT group_concat(ContactType, '|') FROM "
                                          "(SELECT ContactType FROM \"Contact Types\" ORDER BY ContactTypeID)")
                         .toString(),
                     QStringLiteral("Customer|Supplier"));
        // A second Return adds nothing.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCoreApplication::processEvents();
        QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 2);
        QCOMPARE(window->types()->nameAt(window->currentRow()), QStringLiteral("Supplier"));
    });
    QVERIFY(seen);
}

void GridTypingTest::deletingAUsedTypeSaysHowManyContactsHaveIt()
{
    const qint64 friends = TestData::addType(db, QStringLiteral("Friend"));
    const qint64 family = TestData::addType(db, QStringLiteral("Family"));
    TestData::addType(db, QStringLiteral("Unused"));
    for (int i = 0; i < 5; ++i)
        TestData::addContact(db, {{"FirstName", QStringLiteral("F%1").arg(i)}, {"ContactTypeID", friends}});
    const qint64 sister = TestData::addContact(db, {{"FirstName", "Sis"}, {"ContactTypeID", family}});
    form = std::make_unique<Form1>();
    openTypesWindow(form.get(), [&](Form2 *window) {
        const auto rowOf = [window](const QString &name) {
            for (int row = 0; row < window->types()->rowCount(); ++row) {
                if (window->types()->nameAt(row) == name)
                    return row;
            }
            return -1;
        };
        // No is the answer when nothing else is given.
        window->setCurrentRow(rowOf(QStringLiteral("Friend")));
        QTest::mouseClick(child<QPushButton>(window, "PushButton1"), Qt::LeftButton);
        QCOMPARE(env.messages.questions(),
                 QStringList{"Do you really want to delete this Contact Type ?\r\nFor: Friend\r\n"
                             "5 contacts have this type. They will have no type."});
        QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactTypeID = ?", {friends}).toInt(), 1);

        env.messages.clear();
        window->setCurrentRow(rowOf(QStringLiteral("Family")));
        env.messages.answerNext(MessageService::Answer::Yes);
        QTest::mouseClick(child<QPushButton>(window, "PushButton1"), Qt::LeftButton);
        QCOMPARE(env.messages.questions(),
                 QStringList{"Do you really want to delete this Contact Type ?\r\nFor: Family\r\n"
                             "1 contact has this type. It will have no type."});
        QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactTypeID = ?", {family}).toInt(), 0);
        // The contact keeps the key it had.
        QCOMPARE(TestData::scalar(db, "SELECT ContactTypeID FROM Contacts WHERE ContactID = ?", {sister}).toLongLong(), family);

        env.messages.clear();
        window->setCurrentRow(rowOf(QStringLiteral("Unused")));
        QTest::mouseClick(child<QPushButton>(window, "PushButton1"), Qt::LeftButton);
        QCOMPARE(env.messages.questions(), QStringList{"Do you really want to delete this Contact Type ?\r\nFor: Unused"});
    });
}

// The read-only Full Name box on the white page: every edge of its frame
// stands out from the white inside.
void GridTypingTest::fullNameBoxIsDrawnWithAllFourEdges()
{
    form = std::make_unique<Form1>();
    QVERIFY(showActive(form.get()));
    auto *box = child<QLabel>(form.get(), "FullName");
    QCOMPARE(box->text(), QStringLiteral("Ann Lee"));
    const QImage image = box->grab().toImage();
    const int w = image.width();
    const int h = image.height();
    const QColor inside = image.pixelColor(w - 4, h / 2);
    QCOMPARE(inside, QColor(Qt::white));
    QVERIFY2(image.pixelColor(w - 1, h / 2) != inside, "right edge");
    QVERIFY2(image.pixelColor(w / 2, h - 1) != inside, "bottom edge");
    QVERIFY2(image.pixelColor(0, h / 2) != inside, "left edge");
    QVERIFY2(image.pixelColor(w / 2, 0) != inside, "top edge");
}

QTEST_MAIN(GridTypingTest)
#include "tst_grid_typing.moc"
