#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "reference/ContactTypesModel.h"
#include "frame/NavigationBar.h"
#include "reference/Form2.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

QStringList gridNames(Form2 *window)
{
    QStringList names;
    for (int row = 0; row < window->types()->rowCount(); ++row)
        names << window->grid()->model()->index(row, ContactTypesModel::ContactType).data().toString();
    return names;
}

QStringList comboItems(QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

// Types a name into the grid's cell and commits it with Enter, as a user does.
void typeIntoCell(QTableView *grid, int row, const QString &text)
{
    const QModelIndex index = grid->model()->index(row, ContactTypesModel::ContactType);
    grid->setCurrentIndex(index);
    grid->edit(index);
    auto *editor = qobject_cast<QLineEdit *>(grid->indexWidget(index));
    QVERIFY(editor);
    editor->selectAll();
    if (text.isEmpty())
        QTest::keyClick(editor, Qt::Key_Delete);
    else
        QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The grid commits the edit through its event queue.
    QCoreApplication::processEvents();
}
} // namespace

class ContactTypesTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void gridShowsTypesAlphabeticallyUnderOneVisibleColumn();
    void addNewTypeTwiceAppendsThenMainBoxIsAlphabetical();
    void renamedTypeIsStoredAndEmptyNameRefused();
    void deleteAnsweredNoThenYes();
    void contactOfDeletedTypeShowsEmptyTypeBox();
    void deletingTheLastTypeLeavesAnEmptyGrid();
    void navigationBarMovesTheCurrentType();
    void typesAreOrderedAsTheLocaleReadsThem();

private:
    void editTypes(const std::function<void(Form2 *)> &action);
    QComboBox *typeBox() const { return main->findChild<QComboBox *>(QStringLiteral("dcbContactType")); }
    QVariant scalar(const QString &sql, const QVariantList &values = {})
    {
        return TestData::scalar(db, sql, values);
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
    std::unique_ptr<Form1> main;
    qint64 customer = 0;
    qint64 employee = 0;
    qint64 anna = 0;
};

void ContactTypesTest::init()
{
    env.reset();
    db = TestData::openLive();
    customer = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addType(db, QStringLiteral("Supplier"));
    employee = TestData::addType(db, QStringLiteral("Employee"));
    anna = TestData::addContact(db, {{QStringLiteral("FirstName"), QStringLiteral("Anna")},
                                     {QStringLiteral("LastName"), QStringLiteral("Berg")},
                                     {QStringLiteral("ContactTypeID"), employee}});
    main = std::make_unique<Form1>();
}

void ContactTypesTest::cleanup()
{
    main.reset();
    TestData::close(db);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join('\n')));
}

void ContactTypesTest::editTypes(const std::function<void(Form2 *)> &action)
{
    bool opened = false;
    whileModal([&](QDialog *dialog) {
        auto *window = qobject_cast<Form2 *>(dialog);
        QVERIFY(window);
        opened = true;
        action(window);
    });
    main->PushButton5_Click();
    QVERIFY(opened);
}

void ContactTypesTest::gridShowsTypesAlphabeticallyUnderOneVisibleColumn()
{
    editTypes([](Form2 *window) {
        QCOMPARE(window->windowTitle(), QStringLiteral("Contact Types"));
        QCOMPARE(gridNames(window), (QStringList{"Customer", "Employee", "Supplier"}));
        QTableView *grid = window->grid();
        QVERIFY(grid->isColumnHidden(ContactTypesModel::ContactTypeID));
        QVERIFY(!grid->isColumnHidden(ContactTypesModel::ContactType));
        QCOMPARE(grid->columnWidth(ContactTypesModel::ContactType), (7800 - 500) / 15 + 1);
        QCOMPARE(grid->model()->headerData(ContactTypesModel::ContactType, Qt::Horizontal).toString(),
                 QStringLiteral("Contact Type"));
        QCOMPARE(window->currentRow(), 0);
    });
}

void ContactTypesTest::addNewTypeTwiceAppendsThenMainBoxIsAlphabetical()
{
    // A pending edit of the current contact is stored when the window closes.
    auto *firstName = main->findChild<QLineEdit *>(QStringLiteral("Text1_0"));
    QVERIFY(firstName);
    firstName->selectAll();
    QTest::keyClicks(firstName, QStringLiteral("Annika"));

    editTypes([this](Form2 *window) {
        window->PushButton2_Click();
        window->PushButton2_Click();
        QCOMPARE(gridNames(window),
                 (QStringList{"Customer", "Employee", "Supplier", "New Type", "New Type"}));
        QCOMPARE(window->currentRow(), 4);
        QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactType = 'New Type'").toInt(), 2);
        typeIntoCell(window->grid(), 3, QStringLiteral("Agent"));
        QCOMPARE(gridNames(window),
                 (QStringList{"Customer", "Employee", "Supplier", "Agent", "New Type"}));
    });
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 5);
    QCOMPARE(comboItems(typeBox()),
             (QStringList{"Agent", "Customer", "Employee", "New Type", "Supplier"}));
    QCOMPARE(typeBox()->currentText(), QStringLiteral("Employee"));
    QCOMPARE(scalar("SELECT FirstName FROM Contacts WHERE ContactID = ?", {anna}).toString(),
             QStringLiteral("Annika"));
}

void ContactTypesTest::renamedTypeIsStoredAndEmptyNameRefused()
{
    editTypes([this](Form2 *window) {
        typeIntoCell(window->grid(), 0, QStringLiteral("Client"));
        QCOMPARE(scalar("SELECT ContactType FROM \"Contact Types\" WHERE ContactTypeID = ?", {customer})
                     .toString(),
                 QStringLiteral("Client"));

        typeIntoCell(window->grid(), 1, QString());
        QCoreApplication::processEvents();
        QCOMPARE(env.messages.informations(),
                 QStringList{"A contact type needs a name. The name was not changed."});
        QCOMPARE(gridNames(window), (QStringList{"Client", "Employee", "Supplier"}));
        QCOMPARE(scalar("SELECT ContactType FROM \"Contact Types\" WHERE ContactTypeID = ?", {employee})
                     .toString(),
                 QStringLiteral("Employee"));
    });
    QCOMPARE(comboItems(typeBox()), (QStringList{"Client", "Employee", "Supplier"}));

    // A name still being typed when the window is closed is kept.
    editTypes([](Form2 *window) {
        const QModelIndex cell = window->grid()->model()->index(2, ContactTypesModel::ContactType);
        window->setCurrentRow(2);
        window->grid()->edit(cell);
        auto *editor = qobject_cast<QLineEdit *>(window->grid()->indexWidget(cell));
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, QStringLiteral("Vendor"));
    });
    QCOMPARE(comboItems(typeBox()), (QStringList{"Client", "Employee", "Vendor"}));
}

void ContactTypesTest::deleteAnsweredNoThenYes()
{
    editTypes([this](Form2 *window) {
        window->setCurrentRow(2);
        env.messages.answerNext(MessageService::Answer::No);
        window->PushButton1_Click();
        QCOMPARE(env.messages.questions(),
                 QStringList{"Do you really want to delete this Contact Type ?\r\nFor: Supplier"});
        QCOMPARE(env.messages.shown.first().title, QStringLiteral("Question"));
        QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 3);
        QVERIFY(env.messages.informations().isEmpty());
        QCOMPARE(window->currentRow(), 2);

        env.messages.answerNext(MessageService::Answer::Yes);
        window->PushButton1_Click();
        QCOMPARE(env.messages.informations(), QStringList{"Done."});
        QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\" WHERE ContactType = 'Supplier'").toInt(), 0);
        QCOMPARE(gridNames(window), (QStringList{"Customer", "Employee"}));
        QCOMPARE(window->currentRow(), 0);
    });
    QCOMPARE(comboItems(typeBox()), (QStringList{"Customer", "Employee"}));
}

void ContactTypesTest::contactOfDeletedTypeShowsEmptyTypeBox()
{
    QCOMPARE(typeBox()->currentText(), QStringLiteral("Employee"));
    editTypes([this](Form2 *window) {
        window->setCurrentRow(1);
        env.messages.answerNext(MessageService::Answer::Yes);
        window->PushButton1_Click();
    });
    QCOMPARE(typeBox()->currentIndex(), -1);
    QVERIFY(typeBox()->currentText().isEmpty());
    QCOMPARE(scalar("SELECT ContactTypeID FROM Contacts WHERE ContactID = ?", {anna}).toLongLong(), employee);
}

void ContactTypesTest::deletingTheLastTypeLeavesAnEmptyGrid()
{
    editTypes([this](Form2 *window) {
        for (int i = 0; i < 3; ++i) {
            env.messages.answerNext(MessageService::Answer::Yes);
            window->PushButton1_Click();
        }
        QCOMPARE(window->types()->rowCount(), 0);
        QCOMPARE(window->currentRow(), -1);
        QCOMPARE(env.messages.informations(), (QStringList{"Done.", "Done.", "Done."}));

        // With nothing left, the command asks nothing.
        window->PushButton1_Click();
        QCOMPARE(env.messages.questions().size(), 3);
    });
    QCOMPARE(scalar("SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 0);
    QCOMPARE(typeBox()->count(), 0);
}

void ContactTypesTest::navigationBarMovesTheCurrentType()
{
    editTypes([](Form2 *window) {
        auto *bar = window->findChild<NavigationBar *>(QStringLiteral("dc3"));
        QVERIFY(bar);
        QCOMPARE(bar->caption(), QStringLiteral("Contact Types"));
        bar->lastButton()->click();
        QCOMPARE(window->currentRow(), 2);
        bar->nextButton()->click();
        QCOMPARE(window->currentRow(), 2);
        bar->previousButton()->click();
        QCOMPARE(window->currentRow(), 1);
        bar->firstButton()->click();
        QCOMPARE(window->currentRow(), 0);
        bar->previousButton()->click();
        QCOMPARE(window->currentRow(), 0);
    });
}

QTEST_MAIN(ContactTypesTest)
#include "tst_contacttypes.moc"

// Lower-case and accented captions sort among the others, in the grid and in
// the main window's type box alike, not after "Z" as byte order puts them.
void ContactTypesTest::typesAreOrderedAsTheLocaleReadsThem()
{
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    for (const char *caption : {"Zulu", "apple", "Ärzte", "banana", "Apricot"})
        TestData::addType(db, QString::fromUtf8(caption));
    main = std::make_unique<Form1>();
    const QStringList expected{"apple", "Apricot", "Ärzte", "banana", "Customer", "Employee", "Supplier", "Zulu"};
    auto *box = main->findChild<QComboBox *>(QStringLiteral("dcbContactType"));
    QVERIFY(box);
    QStringList shown;
    for (int row = 0; row < box->count(); ++row)
        shown << box->itemText(row);
    QCOMPARE(shown, expected);
    editTypes([&](Form2 *window) { QCOMPARE(gridNames(window), expected); });
    QLocale::setDefault(before);
}
