#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "exchange/ContactExchangeMenu.h"
#include "exchange/CsvFormat.h"
#include "exchange/CsvMappingDialog.h"
#include "exchange/ImportConfirmDialog.h"
#include "exchange/VCardMapping.h"
#include "exchange/WindowedImport.h"
#include "frame/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

using namespace exchange;

namespace {

// Acts on the windows that the code under test opens, one after the other:
// each step waits until a window it recognises is the active modal window
// (or popup menu), acts on it and hands over to the next step. Whatever is
// still open after the time-out is closed, so that a failing test never
// hangs on exec().
class WindowScript : public QObject {
public:
    using Step = std::function<bool(QWidget *)>; // false: not this window (yet)

    WindowScript()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start(20);
        m_clock.start();
    }
    ~WindowScript() override { m_timer.stop(); }

    void then(Step step) { m_steps << std::move(step); }
    bool finished() const { return m_steps.isEmpty(); }
    int remaining() const { return int(m_steps.size()); }

private:
    static QWidget *activeWindow()
    {
        QWidget *active = QApplication::activePopupWidget();
        return active ? active : QApplication::activeModalWidget();
    }

    // Steps may open windows of their own (a menu entry runs its command at
    // once), and a timer does not fire again inside its own slot: each step
    // runs from a single-shot call of its own, so that the polls inside its
    // event loops go on with the next step.
    void poll()
    {
        QWidget *active = activeWindow();
        if (m_scheduled || m_steps.isEmpty() || !active)
            return;
        if (m_clock.elapsed() > 15000) {
            qWarning("a window waited too long: %s", active->metaObject()->className());
            m_clock.restart();
            if (auto *dialog = qobject_cast<QDialog *>(active))
                dialog->reject();
            else
                active->close();
            return;
        }
        m_scheduled = true;
        QTimer::singleShot(0, this, [this] {
            m_scheduled = false;
            QWidget *current = activeWindow();
            if (m_steps.isEmpty() || !current)
                return;
            const Step step = m_steps.takeFirst();
            if (step(current))
                m_clock.restart();
            else
                m_steps.prepend(step);
        });
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    QList<Step> m_steps;
    bool m_scheduled = false;
};

template <typename T>
T *as(QWidget *widget)
{
    return qobject_cast<T *>(widget);
}

void click(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

void clickOk(QDialog *dialog)
{
    click(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
}

// Chooses the item of a combo box as a user does: open its list, move to
// the item with the arrow keys, press Enter.
void choose(QComboBox *box, const QString &text)
{
    const int index = box->findText(text);
    QVERIFY2(index >= 0, qPrintable(text));
    QTest::mouseClick(box, Qt::LeftButton, {}, box->rect().center());
    QTRY_VERIFY(box->view()->isVisible());
    QTest::keyClick(box->view(), Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(box->view(), Qt::Key_Down);
    QTest::keyClick(box->view(), Qt::Key_Return);
    QTRY_VERIFY(!box->view()->isVisible());
    QCOMPARE(box->currentText(), text);
}

// The step that picks an entry of the list's context menu.
WindowScript::Step menuEntry(const QString &text)
{
    return [text](QWidget *active) {
        auto *menu = as<QMenu>(active);
        if (!menu)
            return false;
        for (QAction *action : menu->actions()) {
            if (action->text() == text) {
                QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
                return true;
            }
        }
        qWarning("no menu entry %s", qPrintable(text));
        menu->close();
        return true;
    };
}

// The step that types a path into the file dialog and presses Enter.
WindowScript::Step fileDialogPath(const QString &path)
{
    return [path](QWidget *active) {
        auto *dialog = as<QFileDialog>(active);
        if (!dialog)
            return false;
        auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
        name->selectAll();
        QTest::keyClicks(name, path);
        // The completion list of what /tmp holds may have opened over the
        // box (other tests' folders share the prefix): a user closes it first.
        if (QWidget *completions = QApplication::activePopupWidget())
            QTest::keyClick(completions, Qt::Key_Escape);
        QTest::keyClick(name, Qt::Key_Return);
        if (dialog->isVisible())
            static_cast<QDialog *>(dialog)->accept();
        return true;
    };
}

// The step that answers the duplicate question with the radio button and OK (or Cancel).
WindowScript::Step duplicateAnswer(const QString &radio, QDialogButtonBox::StandardButton button = QDialogButtonBox::Ok,
                                   QString *shownText = nullptr)
{
    return [=](QWidget *active) {
        auto *dialog = as<ImportConfirmDialog>(active);
        if (!dialog)
            return false;
        if (shownText)
            *shownText = dialog->findChild<QLabel *>(QStringLiteral("labelFound"))->text();
        if (!radio.isEmpty())
            click(dialog->findChild<QRadioButton *>(radio));
        click(dialog->findChild<QDialogButtonBox *>()->button(button));
        return true;
    };
}

void openContextMenu(Form1 &window)
{
    auto *list = child<QTableView>(&window, QStringLiteral("ListView1"));
    const QPoint at = list->viewport()->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, list->viewport()->mapToGlobal(at));
    QApplication::sendEvent(list->viewport(), &event);
}

void drop(QWidget *target, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls << QUrl::fromLocalFile(path);
    data.setUrls(urls);
    const QPointF at = target->rect().center();
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &dropped);
    QVERIFY(dropped.isAccepted());
}

ContactRecord person(const QString &first, const QString &last, const QString &email = {})
{
    ContactRecord record;
    record[FirstName] = first;
    record[LastName] = last;
    record[EmailName] = email;
    return record;
}
} // namespace

class TestExchangeWindows : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void knownHeadersMapThemselvesInTheDialog_data();
    void knownHeadersMapThemselvesInTheDialog();
    void chosenColumnsAreRemembered();
    void contextMenuImportsAFile();
    void contextMenuExportsAllAndTheCurrentContact();
    void droppedFileAsksAboutDuplicatesAndFills();
    void droppedCsvFileGoesThroughTheMapping();
    void cancelledImportChangesNothing();
    void otherDropsAreLeftAlone();

private:
    QString write(const QString &name, const QByteArray &bytes);
    qint64 count(const QString &sql, const QVariantList &values = {});
    std::unique_ptr<IsolatedEnvironment> m_env;
};

void TestExchangeWindows::init()
{
    m_env = std::make_unique<IsolatedEnvironment>();
    QSqlDatabase db = TestData::openLive();
    const qint64 friends = TestData::addType(db, QStringLiteral("Friends"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "O'Hara"}, {"EmailName", "ann@example.org"},
                              {"ContactTypeID", friends}});
    TestData::addContact(db, {{"FirstName", "Zoë"}, {"LastName", "Ærø"}, {"City", "Malmö"}});
    TestData::close(db);
}

void TestExchangeWindows::cleanup()
{
    // The settings file of a test process stays the same one: forget the mapping.
    SaveSetting(QStringLiteral("CsvMapping"), QString());
    m_env.reset();
}

QString TestExchangeWindows::write(const QString &name, const QByteArray &bytes)
{
    const QString path = m_env->root() + QLatin1Char('/') + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

qint64 TestExchangeWindows::count(const QString &sql, const QVariantList &values)
{
    QSqlDatabase db = TestData::openLive();
    const qint64 found = TestData::scalar(db, sql, values).toLongLong();
    TestData::close(db);
    return found;
}

void TestExchangeWindows::knownHeadersMapThemselvesInTheDialog_data()
{
    QTest::addColumn<QStringList>("headers");
    QTest::addColumn<QStringList>("fields");
    QTest::newRow("this program") << QStringList{"FirstName", "LastName", "ContactType", "SpousesInterests", "Birthdate"}
                                  << QStringList{"First Name", "Last Name", "Contact Type", "Spouse's Interests", "Birthdate"};
    QTest::newRow("Google Contacts")
        << QStringList{"Given Name", "Family Name", "E-mail 1 - Value", "Phone 1 - Value", "Organization 1 - Name",
                       "Labels", "Nickname"}
        << QStringList{"First Name", "Last Name", "(e-mail, by its type)", "(phone, field by its type)", "Company", "Contact Type", "(Notes line)"};
    QTest::newRow("Outlook")
        << QStringList{"First Name", "Last Name", "Company", "Job Title", "Business Street", "Business Fax",
                       "Business Country/Region", "Spouse", "Categories", "Title"}
        << QStringList{"First Name", "Last Name", "Company", "Job Title", "Address", "Fax Number", "Country", "Spouse Name",
                       "Contact Type", "Salutation"};
    QTest::newRow("Thunderbird")
        << QStringList{"First Name", "Last Name", "Primary Email", "Mobile Number", "Work City", "Work ZipCode", ""}
        << QStringList{"First Name", "Last Name", "E-mail Address", "Mobile Phone", "City", "Post Code", "(ignore)"};
}

void TestExchangeWindows::knownHeadersMapThemselvesInTheDialog()
{
    QFETCH(QStringList, headers);
    QFETCH(QStringList, fields);
    QStringList row;
    for (const QString &header : headers)
        row << QStringLiteral("value of ") + header;
    CsvMappingDialog dialog(QStringLiteral("export.csv"), headers, {row}, std::nullopt, nullptr);
    QVERIFY(showActive(&dialog));
    auto *preview = child<QTableWidget>(&dialog, QStringLiteral("tablePreview"));
    QCOMPARE(preview->columnCount(), headers.size());
    QCOMPARE(preview->item(0, 1)->text(), row[1]);
    for (int column = 0; column < headers.size(); ++column)
        QCOMPARE(child<QComboBox>(&dialog, QStringLiteral("fieldColumn_%1").arg(column))->currentText(), fields[column]);
}

void TestExchangeWindows::chosenColumnsAreRemembered()
{
    const QStringList headers{"Given Name", "Pet", "Notes"};
    {
        CsvMappingDialog dialog(QStringLiteral("a.csv"), headers, {{"Ann", "Rex", "likes tea"}}, std::nullopt, nullptr);
        QVERIFY(showActive(&dialog));
        choose(dialog.fieldBox(1), QStringLiteral("Spouse Name"));
        choose(dialog.fieldBox(2), QStringLiteral("(ignore)"));
        clickOk(&dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(dialog.mapping(), (QList<int>{FirstName, SpouseName, IgnoreColumn}));
    }
    // The next file with some of these headings starts with the choice.
    CsvMappingDialog again(QStringLiteral("b.csv"), {"Notes", "Pet", "Family Name"}, {}, std::nullopt, nullptr);
    QCOMPARE(again.mapping(), (QList<int>{IgnoreColumn, SpouseName, LastName}));
}

void TestExchangeWindows::contextMenuImportsAFile()
{
    ContactRecord newcomer = person(QStringLiteral("Łukasz"), QStringLiteral("D'Arcy"), QStringLiteral("lukasz@example.pl"));
    newcomer[Notes] = QStringLiteral("line one\r\nline two");
    newcomer.typeName = QStringLiteral("Suppliers");
    const QString path = write(QStringLiteral("one.vcf"), writeVCard(newcomer));
    Form1 window;
    QVERIFY(showActive(&window));
    QCOMPARE(window.contactCount(), 2);
    QString question;
    WindowScript script;
    script.then(menuEntry(QStringLiteral("Import Contacts...")));
    script.then(fileDialogPath(path));
    script.then(duplicateAnswer(QString(), QDialogButtonBox::Ok, &question));
    openContextMenu(window);
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 30000);
    QTRY_COMPARE(window.contactCount(), 3);
    QCOMPARE(question, QStringLiteral("1 contact found. None of them looks like a contact already in the database."));
    QCOMPARE(m_env->messages.informations(), QStringList{QStringLiteral("1 contact added, 0 updated, 0 skipped. 1 new contact type.")});
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE LastName = ? AND Notes = ?",
                   {QStringLiteral("D'Arcy"), QStringLiteral("line one\r\nline two")}), 1);
    QVERIFY(m_env->messages.errors().isEmpty());
}

void TestExchangeWindows::contextMenuExportsAllAndTheCurrentContact()
{
    Form1 window;
    QVERIFY(showActive(&window));
    const QString all = m_env->root() + QStringLiteral("/everyone.csv");
    {
        WindowScript script;
        script.then(menuEntry(QStringLiteral("Export All Contacts...")));
        script.then(fileDialogPath(all));
        openContextMenu(window);
        QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 30000);
    }
    QTRY_VERIFY(QFile::exists(all));
    QFile csv(all);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    const CsvTable table = readCsv(csv.readAll());
    QCOMPARE(table.rows.size(), 3);
    QCOMPARE(table.rows[0], csvHeader());
    QCOMPARE(table.rows[2].value(LastName - 1), QStringLiteral("Ærø"));

    clickListRow(&window, 1);
    QTRY_COMPARE(child<QLineEdit>(&window, QStringLiteral("Text1_0"))->text(), QStringLiteral("Zoë"));
    const QString one = m_env->root() + QStringLiteral("/zoe");
    {
        WindowScript script;
        script.then(menuEntry(QStringLiteral("Export This Contact...")));
        script.then(fileDialogPath(one));
        openContextMenu(window);
        QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 30000);
    }
    // Without a suffix the file gets the chosen type's.
    QTRY_VERIFY(QFile::exists(one + QStringLiteral(".vcf")));
    QFile vcf(one + QStringLiteral(".vcf"));
    QVERIFY(vcf.open(QIODevice::ReadOnly));
    const VCardImport back = readVCards(vcf.readAll());
    QCOMPARE(back.contacts.size(), 1);
    QCOMPARE(back.contacts[0][City], QStringLiteral("Malmö"));
    QCOMPARE(m_env->messages.informations().size(), 2);
    QVERIFY(m_env->messages.informations().last().startsWith(QStringLiteral("1 contact written to ")));
}

void TestExchangeWindows::droppedFileAsksAboutDuplicatesAndFills()
{
    ContactRecord known = person(QStringLiteral("Annie"), QString(), QStringLiteral("ANN@example.org"));
    known[City] = QStringLiteral("Cork");
    known[FirstName] = QStringLiteral("Not taken: the stored name stays");
    ContactRecord fresh = person(QStringLiteral("Cai"), QStringLiteral("Wen 李"));
    const QString path = write(QStringLiteral("dropped.VCF"), writeVCard(known) + writeVCard(fresh));
    Form1 window;
    QVERIFY(showActive(&window));
    QString question;
    WindowScript script;
    script.then(duplicateAnswer(QStringLiteral("radioFill"), QDialogButtonBox::Ok, &question));
    // Dropped on a text box, which would otherwise take the file name as text.
    drop(child<QLineEdit>(&window, QStringLiteral("Text1_0")), {path});
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 30000);
    QTRY_COMPARE(window.contactCount(), 3);
    QVERIFY2(question.startsWith(QStringLiteral("2 contacts found. 1 of them looks like a contact already")), qPrintable(question));
    QCOMPARE(m_env->messages.informations(),
             QStringList{QStringLiteral("1 contact added, 1 updated, 0 skipped. 1 value that differed was kept in Notes.")});
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE ContactID = 1 AND FirstName = 'Ann' AND City = 'Cork'"), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE ContactID = 1 AND Notes LIKE ?",
                   {QStringLiteral("%Imported ____-__-__: First Name: Not taken: the stored name stays")}),
             1);
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE LastName = ?", {QStringLiteral("Wen 李")}), 1);
}

void TestExchangeWindows::droppedCsvFileGoesThroughTheMapping()
{
    const QString path = write(QStringLiteral("people.csv"),
                               "First Name;Last Name;Pet;Business Phone\r\n"
                               "Ola;\"Nordmann; jr.\";Rex;+47 22 00\r\n"
                               "Kari;Nordmann;\"Fido\r\nthe second\";\r\n");
    Form1 window;
    QVERIFY(showActive(&window));
    WindowScript script;
    script.then([](QWidget *active) {
        auto *dialog = as<CsvMappingDialog>(active);
        if (!dialog)
            return false;
        choose(dialog->fieldBox(3), QStringLiteral("(ignore)"));
        clickOk(dialog);
        return true;
    });
    script.then(duplicateAnswer(QString()));
    drop(&window, {path});
    QTRY_VERIFY_WITH_TIMEOUT(script.finished(), 30000);
    QTRY_COMPARE(window.contactCount(), 4);
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE LastName = ? AND Notes = ? AND WorkPhone IS NULL",
                   {QStringLiteral("Nordmann; jr."), QStringLiteral("Pet: Rex")}), 1);
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts WHERE FirstName = 'Kari' AND Notes = ?",
                   {QStringLiteral("Pet: Fido\r\nthe second")}), 1);
}

void TestExchangeWindows::cancelledImportChangesNothing()
{
    QByteArray file;
    for (int i = 0; i < 6000; ++i) {
        ContactRecord record = person(QStringLiteral("Row %1").arg(i), QStringLiteral("O'Neill"));
        record[Notes] = QStringLiteral("A note long enough to make the file large, with ü and 東京.");
        record.typeName = QStringLiteral("Type %1").arg(i % 5);
        file += writeVCard(record);
    }
    QVERIFY(file.size() > kLargeImportBytes);
    const QString path = write(QStringLiteral("large.vcf"), file);
    Form1 window;
    QVERIFY(showActive(&window));
    auto *menu = window.findChild<ContactExchangeMenu *>();
    QVERIFY(menu);

    // Cancel at the question.
    {
        WindowScript script;
        script.then(duplicateAnswer(QStringLiteral("radioAdd"), QDialogButtonBox::Cancel));
        menu->importFiles({path});
        QVERIFY(script.finished());
    }
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts"), 2);
    QVERIFY(m_env->messages.informations().isEmpty());

    // Cancel in the progress dialog while the contacts are being stored.
    bool sawProgress = false;
    {
        WindowScript script;
        script.then(duplicateAnswer(QStringLiteral("radioAdd")));
        script.then([&](QWidget *active) {
            auto *progress = as<QProgressDialog>(active);
            if (!progress || !progress->labelText().startsWith(QStringLiteral("Importing")) || progress->value() < 10)
                return false;
            sawProgress = true;
            click(progress->findChild<QPushButton *>());
            return true;
        });
        menu->importFiles({path});
        QVERIFY(script.finished());
    }
    QVERIFY(sawProgress);
    QCOMPARE(m_env->messages.informations(), QStringList{QStringLiteral("The import was cancelled. Nothing was changed.")});
    QCOMPARE(count("SELECT COUNT(*) FROM Contacts"), 2);
    QCOMPARE(count("SELECT COUNT(*) FROM \"Contact Types\""), 1);
    QCOMPARE(window.contactCount(), 2);
    QVERIFY(m_env->messages.errors().isEmpty());
}

void TestExchangeWindows::otherDropsAreLeftAlone()
{
    const QString path = write(QStringLiteral("notes.txt"), "BEGIN:VCARD\r\nEND:VCARD\r\n");
    Form1 window;
    QVERIFY(showActive(&window));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(&window, &enter);
    QVERIFY(!enter.isAccepted());
    QCOMPARE(ContactExchangeMenu::importableFiles(&data), QStringList());
}

QTEST_MAIN(TestExchangeWindows)
#include "tst_exchange_windows.moc"
