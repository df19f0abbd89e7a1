#include "support/TestSupport.h"

#include "contacts/CallLogModel.h"
#include "base/ContactFields.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"
#include "store/Schema.h"
#include "base/Paths.h"
#include "frame/Settings.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableView>
#include <QtTest>

namespace {

void writeSeed(const QString &path, const QString &firstName)
{
    QVERIFY(writeBlankDatabaseFile(path).ok());
    QSqlDatabase db = TestData::openFile(path);
    TestData::addContact(db, {{"FirstName", firstName}});
    TestData::close(db);
}
} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void firstStartCopiesSampleOverBlankAndNeverAgain();
    void firstStartUsesBlankWhenNoSample();
    void builtInSchemaWhenNoSeedExists();
    void emptyTableStartsQuietly();
    void geometryOfEveryControl();
    void listColumnsAndRowOrder();
    void clickingRowShowsFieldsBannerAndCalls();
    void typingNameUpdatesBanner();
    void editsReachDatabaseWhenRowMoves();
    void phoneAndBirthDateFormats();
    void sameNameContactsShowTheirOwnCalls();
    void labelsFromSettingsStore();
    void closeQuestionYesStores();
    void closeQuestionNoLosesChange();
    void closeWithoutChangeAsksNothing();

private:
    IsolatedEnvironment env;
};

void MainWindowTest::firstStartCopiesSampleOverBlankAndNeverAgain()
{
    writeSeed(env.programDir() + "/Contacts.sqlite", "FromSample");
    writeSeed(env.programDir() + "/dbBlank.sqlite", "FromBlank");
    {
        Form1 form;
        QVERIFY(QFile::exists(liveDatabasePath()));
        QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("FromSample"));
    }
    // A later start never copies again, even when the seeds are newer.
    QSqlDatabase db = TestData::openFile(liveDatabasePath());
    QSqlQuery(db).exec("UPDATE Contacts SET FirstName = 'Edited'");
    TestData::close(db);
    QFile::remove(env.programDir() + "/Contacts.sqlite");
    writeSeed(env.programDir() + "/Contacts.sqlite", "NewerSample");
    Form1 again;
    QCOMPARE(child<QLineEdit>(&again, "Text1_0")->text(), QStringLiteral("Edited"));
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join("\n")));
}

void MainWindowTest::firstStartUsesBlankWhenNoSample()
{
    writeSeed(env.programDir() + "/dbBlank.sqlite", "FromBlank");
    Form1 form;
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("FromBlank"));
}

void MainWindowTest::builtInSchemaWhenNoSeedExists()
{
    Form1 form;
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join("\n")));
    QVERIFY(QFile::exists(liveDatabasePath()));
    QSqlDatabase db = TestData::openFile(liveDatabasePath());
    QSqlQuery columns(db);
    QVERIFY(columns.exec("PRAGMA table_info(Contacts)"));
    QStringList names;
    while (columns.next())
        names << columns.value(1).toString();
    QCOMPARE(names, contactFieldNames());
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM sqlite_master WHERE type = 'view' AND name LIKE 'qryRep%'").toInt(), 6);
    QCOMPARE(TestData::scalar(db, "PRAGMA journal_mode").toString(), QStringLiteral("wal"));
    TestData::close(db);
}

void MainWindowTest::emptyTableStartsQuietly()
{
    QSqlDatabase db = TestData::openLive();
    TestData::close(db);
    Form1 form;
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join("\n")));
    QCOMPARE(child<QTableView>(&form, "ListView1")->model()->rowCount(), 0);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QString());
    QCOMPARE(form.windowTitle(), QStringLiteral("Corvanta"));
}

void MainWindowTest::geometryOfEveryControl()
{
    Form1 form;
    struct Expected {
        const char *name;
        int left, top, width, height; // twips
    };
    const Expected controls[] = {
        {"ListView1", 120, 120, 10560, 1110},   {"PushButton8", 120, 1320, 2520, 405},
        {"PushButton9", 2760, 1320, 2520, 405}, {"PushButton5", 5400, 1320, 2520, 405},
        {"PushButton10", 8040, 1320, 2640, 405}, {"FullName1", 120, 1845, 10560, 405},
        {"SSTab1", 120, 2370, 10560, 6360},     {"PushButton4", 120, 8835, 2655, 405},
        {"PushButton3", 2880, 8835, 2655, 405}, {"PushButton7", 5640, 8835, 2655, 405},
        {"PushButton6", 8400, 8835, 2280, 405}, {"dc", 0, 9345, 10800, 375},
        // General
        {"Text1_0", 1560, 120, 3135, 375},      {"FullName", 1560, 660, 3135, 375},
        {"Text1_4", 1560, 1080, 3135, 375},     {"Text1_6", 1560, 1560, 3135, 375},
        {"Text1_8", 1800, 2400, 2895, 375},     {"Text1_10", 1800, 2880, 2895, 375},
        {"Text1_11", 1800, 3360, 2895, 375},    {"Text1_16", 1800, 3840, 2895, 375},
        {"Text1_17", 1800, 4320, 2895, 375},    {"Text1_18", 1800, 4800, 7455, 885},
        {"Text1_1", 6720, 120, 3375, 375},      {"Text1_3", 6720, 600, 3375, 375},
        {"dcbContactType", 6720, 1080, 3375, 375}, {"Text1_7", 6720, 1560, 3375, 375},
        {"Text1_9", 5040, 2400, 5055, 615},     {"Text1_12", 5040, 3360, 1695, 375},
        {"Text1_13", 6840, 3360, 735, 375},     {"Text1_14", 7680, 3360, 1095, 375},
        {"Text1_15", 8880, 3360, 1215, 375},
        // Calls
        {"DataGrid1", 240, 240, 10095, 2775},   {"dc1", 240, 3000, 10095, 330},
        {"PushButton2", 240, 3467, 2655, 400},  {"PushButton1", 7680, 3467, 2655, 400},
        {"CallNotes", 240, 3945, 10095, 1680},
        // Additional Info
        {"Text1_2", 1560, 240, 3735, 375},      {"Text1_19", 6840, 240, 3375, 375},
        {"Text1_20", 1560, 720, 3735, 375},     {"Text1_21", 6840, 720, 3375, 375},
        {"Text1_22", 1560, 1200, 3735, 375},    {"Text1_23", 240, 2040, 9975, 975},
        {"Text1_24", 240, 3480, 9975, 975},     {"Text1_25", 270, 4860, 9975, 840},
    };
    auto px = [](int twips) { return qRound(twips / 15.0); };
    for (const Expected &e : controls) {
        QWidget *widget = child(&form, e.name);
        QCOMPARE_EQ(widget->geometry(), QRect(px(e.left), px(e.top), px(e.width), px(e.height)));
    }
    // Captions: position of each field label.
    const int captions[28][2] = {
        {120, 120},  {120, 660},  {120, 1080}, {120, 1560}, {120, 2040}, {120, 2400}, {120, 2880},
        {120, 3360}, {120, 3840}, {120, 4320}, {5040, 120}, {5040, 600}, {5040, 1080}, {5040, 1560},
        {5040, 2040}, {5040, 3120}, {6840, 3120}, {7680, 3120}, {8880, 3120}, {240, 240}, {240, 720},
        {240, 1200}, {240, 1680}, {240, 3120}, {240, 4560}, {5400, 240}, {5400, 720}, {120, 4800},
    };
    for (int index = 0; index < 28; ++index) {
        QLabel *label = form.fieldLabel(index);
        QVERIFY(label);
        QCOMPARE(label->pos(), QPoint(px(captions[index][0]), px(captions[index][1])));
        QCOMPARE(label->text(), Form1::defaultLabelCaption(index));
    }
    QCOMPARE(form.size(), QSize(720, 648));
    auto *tabs = child<QTabWidget>(&form, "SSTab1");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("General"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("Calls"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Additional Info"));
    QCOMPARE(child<QPushButton>(&form, "PushButton8")->text(), QStringLiteral("Search "));
    QCOMPARE(form.fieldLabel(16)->toolTip(), QStringLiteral("Double click to edit label name"));
    QCOMPARE(child<QLabel>(&form, "FullName1")->font().pointSizeF(), 15.75);
    QVERIFY(child<QLabel>(&form, "FullName1")->font().bold());
}

void MainWindowTest::listColumnsAndRowOrder()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Zoe"}, {"LastName", "Adams"}, {"Address", "1 Road\r\nFlat 2"},
                              {"City", "Oslo"}, {"Region", "East"}, {"Country", "Norway"}, {"Dear", "Hi"}});
    TestData::addContact(db, {{"FirstName", "Al"}, {"LastName", QVariant()}});
    QSqlQuery(db).exec("INSERT INTO Contacts (ContactID, FirstName) VALUES (10, 'Ten')");
    TestData::close(db);

    Form1 form;
    QAbstractItemModel *list = child<QTableView>(&form, "ListView1")->model();
    QStringList headers;
    for (int column = 0; column < list->columnCount(); ++column)
        headers << list->headerData(column, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Address ID", "FirstName", "Lastname", "Address", "City", "Region", "Country"}));
    QCOMPARE(list->rowCount(), 3);
    QStringList first;
    for (int column = 0; column < 7; ++column)
        first << list->index(0, column).data().toString();
    QCOMPARE(first, QStringList({"1", "Zoe", "Adams", "1 Road Flat 2", "Oslo", "East", "Norway"}));
    QCOMPARE(list->index(1, 0).data().toString(), QStringLiteral("2"));
    QCOMPARE(list->index(1, 2).data().toString(), QString()); // Null shows as empty
    QCOMPARE(list->index(2, 0).data().toString(), QStringLiteral("10"));
    // The freshly filled list has its first row selected and that contact is current.
    QCOMPARE(child<QTableView>(&form, "ListView1")->currentIndex().row(), 0);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Zoe Adams"));
}

void MainWindowTest::clickingRowShowsFieldsBannerAndCalls()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, "Customer");
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Ray"}, {"Title", "Buyer"},
                                                 {"ContactTypeID", type}, {"ReferredBy", "Ann"}});
    TestData::addCall(db, bob, "2026-03-14", "14:30:00", "Pricing", "Bob's notes");
    TestData::close(db);

    Form1 form;
    QVERIFY(showActive(&form));
    clickListRow(&form, 1);
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("Bob"));
    QCOMPARE(child<QLineEdit>(&form, "Text1_4")->text(), QStringLiteral("Buyer"));
    QCOMPARE(child<QLineEdit>(&form, "Text1_2")->text(), QStringLiteral("Ann"));
    QCOMPARE(child<QComboBox>(&form, "dcbContactType")->currentText(), QStringLiteral("Customer"));
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Bob Ray"));
    QCOMPARE(child<QLabel>(&form, "FullName")->text(), QStringLiteral("Bob Ray"));
    QCOMPARE(form.lastListIndex(), 2);
    QCOMPARE(form.callsRs()->rowCount(), 1);
    QCOMPARE(child<QPlainTextEdit>(&form, "CallNotes")->toPlainText(), QStringLiteral("Bob's notes"));
    clickListRow(&form, 0);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Ann Lee"));
    QCOMPARE(child<QComboBox>(&form, "dcbContactType")->currentIndex(), -1);
    QCOMPARE(form.callsRs()->rowCount(), 0);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join("\n")));
}

void MainWindowTest::typingNameUpdatesBanner()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    TestData::close(db);
    Form1 form;
    QVERIFY(showActive(&form));
    auto *first = child<QLineEdit>(&form, "Text1_0");
    first->setFocus();
    first->selectAll();
    QTest::keyClicks(first, "Jo");
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Jo Lee"));
    auto *last = child<QLineEdit>(&form, "Text1_1");
    last->setFocus();
    last->selectAll();
    QTest::keyClick(last, Qt::Key_Delete);
    QCOMPARE(child<QLabel>(&form, "FullName1")->text(), QStringLiteral("Jo "));
    QVERIFY(form.contactsRs()->isEditing());
}

void MainWindowTest::editsReachDatabaseWhenRowMoves()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::addContact(db, {{"FirstName", "Bob"}});
    Form1 form;
    QVERIFY(showActive(&form));
    auto *city = child<QLineEdit>(&form, "Text1_12");
    city->setFocus();
    QTest::keyClicks(city, "Paris");
    auto *notes = child<QPlainTextEdit>(&form, "Text1_18");
    notes->setFocus(); // leaving the city box puts the value into the row
    QTest::keyClicks(notes, "line one");
    QTest::keyClick(notes, Qt::Key_Return);
    QTest::keyClicks(notes, "line two");
    // The navigation bar moves to the next contact: the pending change is stored first.
    QMetaObject::invokeMethod(child(&form, "dc"), "nextClicked");
    QCOMPARE(child<QLineEdit>(&form, "Text1_0")->text(), QStringLiteral("Bob"));
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts WHERE ContactID = 1").toString(), QStringLiteral("Paris"));
    QCOMPARE(TestData::scalar(db, "SELECT Notes FROM Contacts WHERE ContactID = 1").toString(),
             QStringLiteral("line one\nline two"));
    QVERIFY(TestData::scalar(db, "SELECT City FROM Contacts WHERE ContactID = 2").isNull());
    TestData::close(db);
}

void MainWindowTest::phoneAndBirthDateFormats()
{
    const QLocale userLocale;
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    const auto restoreLocale = qScopeGuard([&] { QLocale::setDefault(userLocale); });
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"WorkPhone", "5551234567"}, {"HomePhone", "+44 20 7946"},
                              {"Birthdate", "1980-01-31"}});
    Form1 form;
    QVERIFY(showActive(&form));
    auto *work = child<QLineEdit>(&form, "Text1_8");
    QCOMPARE(work->text(), QStringLiteral("(555) 123-4567"));
    QCOMPARE(child<QLineEdit>(&form, "Text1_11")->text(), QStringLiteral("+44 20 7946"));
    work->setFocus();
    QCOMPARE(work->text(), QStringLiteral("5551234567")); // the stored text while editing
    work->selectAll();
    QTest::keyClicks(work, "2125550000");
    child(&form, "Text1_10")->setFocus();
    QCOMPARE(work->text(), QStringLiteral("(212) 555-0000"));
    // Every all-digit value follows the format's placeholders, as the reports print it.
    work->setFocus();
    work->selectAll();
    QTest::keyClicks(work, "0301234567");
    child(&form, "Text1_10")->setFocus();
    QCOMPARE(work->text(), QStringLiteral("(030) 123-4567"));
    work->setFocus();
    work->selectAll();
    QTest::keyClicks(work, "12345");
    child(&form, "Text1_10")->setFocus();
    QCOMPARE(work->text(), QStringLiteral("() 001-2345"));
    work->setFocus();
    work->selectAll();
    QTest::keyClicks(work, "2125550000");
    child(&form, "Text1_10")->setFocus();

    auto *tabs = child<QTabWidget>(&form, "SSTab1");
    tabs->setCurrentIndex(2);
    auto *birth = child<QLineEdit>(&form, "Text1_22");
    // The user's locale's short form (en_US here) with the year in full.
    QCOMPARE(birth->text(), QStringLiteral("1/31/1980"));
    birth->setFocus();
    birth->selectAll();
    QTest::keyClicks(birth, "2/29/2000");
    child(&form, "Text1_20")->setFocus();
    birth->setFocus();
    birth->selectAll();
    QTest::keyClicks(birth, "2/31/2000"); // not a date: refused with a message
    child(&form, "Text1_20")->setFocus();
    QCOMPARE(birth->text(), QStringLiteral("2/29/2000"));
    QCOMPARE(env.messages.informations().size(), 1);
    QVERIFY(env.messages.informations()[0].contains("12/31/2024"));
    QVERIFY(QMetaObject::invokeMethod(&form, "PushButton7_Click")); // no type: asks for one, stores nothing
    QVERIFY(form.contactsRs()->update().ok());
    QCOMPARE(TestData::scalar(db, "SELECT WorkPhone FROM Contacts").toString(), QStringLiteral("2125550000"));
    QCOMPARE(TestData::scalar(db, "SELECT Birthdate FROM Contacts").toString(), QStringLiteral("2000-02-29"));
    TestData::close(db);
}

void MainWindowTest::sameNameContactsShowTheirOwnCalls()
{
    QSqlDatabase db = TestData::openLive();
    const qint64 first = TestData::addContact(db, {{"FirstName", "Sam"}, {"LastName", "Fox"}});
    const qint64 second = TestData::addContact(db, {{"FirstName", "Sam"}, {"LastName", "Fox"}});
    TestData::addCall(db, first, "2026-01-01", "09:00:00", "first's call");
    TestData::addCall(db, second, "2026-01-02", "10:00:00", "second's call A");
    TestData::addCall(db, second, "2026-01-03", "11:00:00", "second's call B");
    TestData::close(db);
    Form1 form;
    QVERIFY(showActive(&form));
    QCOMPARE(form.callsRs()->rowCount(), 1);
    clickListRow(&form, 1);
    QCOMPARE(form.callsRs()->rowCount(), 2);
    QCOMPARE(form.callsRs()->index(0, CallLogModel::Subject).data().toString(), QStringLiteral("second's call A"));
    QMetaObject::invokeMethod(child(&form, "dc"), "firstClicked");
    QCOMPARE(form.callsRs()->rowCount(), 1);
    QCOMPARE(form.callsRs()->index(0, CallLogModel::Subject).data().toString(), QStringLiteral("first's call"));
}

void MainWindowTest::labelsFromSettingsStore()
{
    SaveSetting("Label 16", "County:");
    SaveSetting("Label 8", "");
    Form1 form;
    form.loadLabels();
    QCOMPARE(form.fieldLabel(16)->text(), QStringLiteral("County:"));
    QCOMPARE(form.fieldLabel(8)->text(), QStringLiteral("Mobile Phone:")); // empty keeps the caption
    SaveSetting("Label 0", "Given Name:");
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&form, &activate);
    QCOMPARE(form.fieldLabel(0)->text(), QStringLiteral("Given Name:"));
}

void MainWindowTest::closeQuestionYesStores()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}});
    {
        Form1 form;
        QVERIFY(showActive(&form));
        auto *city = child<QLineEdit>(&form, "Text1_12");
        city->setFocus();
        QTest::keyClicks(city, "Rome");
        env.messages.answerNext(MessageService::Answer::Yes);
        form.close();
    }
    QCOMPARE(env.messages.questions(), QStringList({"  Contact is changed.\r\nDo you want to save your changes for \r\nAnn Lee\r\n (choose Yes or No)."}));
    QCOMPARE(env.messages.shown[0].title, QStringLiteral("Question"));
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts").toString(), QStringLiteral("Rome"));
    TestData::close(db);
}

void MainWindowTest::closeQuestionNoLosesChange()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}, {"City", "Oslo"}});
    {
        Form1 form;
        QVERIFY(showActive(&form));
        auto *city = child<QLineEdit>(&form, "Text1_12");
        city->setFocus();
        city->selectAll();
        QTest::keyClicks(city, "Rome");
        env.messages.answerNext(MessageService::Answer::No);
        form.close();
        QVERIFY(!form.isVisible());
    }
    QCOMPARE(env.messages.questions().size(), 1);
    QCOMPARE(TestData::scalar(db, "SELECT City FROM Contacts").toString(), QStringLiteral("Oslo"));
    TestData::close(db);
}

void MainWindowTest::closeWithoutChangeAsksNothing()
{
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Ann"}});
    TestData::close(db);
    Form1 form;
    QVERIFY(showActive(&form));
    form.close();
    QVERIFY(env.messages.questions().isEmpty());
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join("\n")));
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
