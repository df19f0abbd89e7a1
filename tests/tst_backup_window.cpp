// The "Backup/Restore Database" window: its settings, its two buttons with
// their questions and messages, and the folder picker.

#include "support/TestSupport.h"

#include "backup/Form6.h"
#include "base/Paths.h"
#include "frame/Settings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTimer>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <functional>

namespace {
const QString kDeleteQuestion = QStringLiteral("Are you sure you wish to delete all your data and proceed?");

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString contents(QSqlDatabase &db)
{
    return TestData::scalar(db, QStringLiteral(
                                    "SELECT (SELECT COALESCE(group_concat(ContactTypeID || ':' || ContactType), '') FROM \"Contact Types\") "
                                    "|| ' / ' || (SELECT COALESCE(group_concat(ContactID || ':' || FirstName || ':' || COALESCE(ContactTypeID, '')), '') FROM Contacts) "
                                    "|| ' / ' || (SELECT COALESCE(group_concat(ContactID || ':' || Subject), '') FROM Calls)"))
        .toString();
}

// Answers the folder dialog as soon as it is shown.
class FolderDialogDriver : public QObject {
public:
    std::function<void(QFileDialog *)> answer;
    QString title;
    QString directory;
    bool directoriesOnly = false;
    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *dialog = qobject_cast<QFileDialog *>(watched);
        if (dialog && event->type() == QEvent::Show) {
            ++shown;
            title = dialog->windowTitle();
            directory = dialog->directory().absolutePath();
            directoriesOnly = dialog->fileMode() == QFileDialog::Directory
                && dialog->testOption(QFileDialog::ShowDirsOnly);
            QMetaObject::invokeMethod(dialog, [this, dialog] { answer(dialog); }, Qt::QueuedConnection);
        }
        return false;
    }
};
// Names the desktop folder in the user's folder list of the isolated
// configuration folder, where QStandardPaths looks it up.
void writeUserDirs(const QString &desktop)
{
    QFile file(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/user-dirs.dirs"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("XDG_DESKTOP_DIR=\"" + QFile::encodeName(desktop) + "\"\n");
}
} // namespace

class BackupWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void firstOpeningUsesTheDefaults();
    void homeIsTheDefaultWithoutADesktopFolder();
    void rejectedRecordsAreAnsweredThroughTheRealBoxes();
    void folderAndOptionsAreRemembered();
    void neitherOptionSelectedRestoresNothing();
    void backupThenRestoreInBothModes();
    void undoButtonPutsBackTheLastDeleteFirstRestore();
    void answerNoChangesNothing();
    void noFileAndNoDataThroughTheWindow();
    void manyRejectedRecordsAreReportedTenTimesThenCounted();
    void keysThatCannotBeUsedAreNamedInTheLastMessage();
    void backupIntoMissingFolderIsReported();
    void failuresAreReportedUnderTheStepOfTheirPart();
    void folderPickerFillsTheFolderBox();
    void folderPickerStartsAtLastFolderDot();
    void cancelledFolderPickerChangesNothing();

private:
    QString folder() const { return env.root() + QStringLiteral("/backups"); }
    Form6 *openWindow()
    {
        auto *window = new Form6;
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->show();
        return window;
    }
    static QLineEdit *folderBox(Form6 *w) { return w->findChild<QLineEdit *>(QStringLiteral("Text1")); }
    static QRadioButton *option(Form6 *w, int n)
    {
        return w->findChild<QRadioButton *>(QStringLiteral("Option%1").arg(n));
    }
    static QPushButton *button(Form6 *w, int n)
    {
        return w->findChild<QPushButton *>(QStringLiteral("PushButton%1").arg(n));
    }
    void useFolder(Form6 *w)
    {
        folderBox(w)->setText(folder());
    }

    IsolatedEnvironment env;
    QSqlDatabase db;
    QPointer<Form6> window;
};

void BackupWindowTest::init()
{
    env.reset();
    QDir(folder()).removeRecursively();
    QDir().mkpath(folder());
    db = TestData::openLive();
}

void BackupWindowTest::cleanup()
{
    if (window)
        delete window;
    TestData::close(db);
    QFile::remove(liveDatabasePath());
}

void BackupWindowTest::firstOpeningUsesTheDefaults()
{
    // A desktop folder that exists, named in the user's folder list.
    const QString desktopDir = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).absoluteFilePath(QStringLiteral("../Desk top"));
    QVERIFY(QDir().mkpath(desktopDir));
    writeUserDirs(QDir::cleanPath(desktopDir));
    window = openWindow();
    QCOMPARE(window->windowTitle(), QStringLiteral("Backup/Restore Database"));
    const QString desktop = GetSpecialFolder(kSpecialFolderDesktop) + QLatin1Char('/');
    QCOMPARE(folderBox(window)->text(), desktop);
    QCOMPARE(GetSetting(QLatin1String(kSettingPath)), desktop);
    QVERIFY(option(window, 1)->isChecked());
    QVERIFY(!option(window, 2)->isChecked());
    // Loading writes no restore mode.
    QCOMPARE(GetSetting(QLatin1String(kSettingOption1), QStringLiteral("unset")), QStringLiteral("unset"));
    QCOMPARE(window->backupFilePath(), QDir::cleanPath(desktop + QStringLiteral("BackupDB.txt")));
    // The focus starts on the first option, not in the folder box; Tab
    // follows the window's tab order from there.
    QVERIFY(showActive(window));
    QCOMPARE(QApplication::focusWidget(), option(window, 1));
    QVERIFY(!folderBox(window)->hasSelectedText());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), button(window, 1));
}

void BackupWindowTest::homeIsTheDefaultWithoutADesktopFolder()
{
    const QString missing = QDir(qEnvironmentVariable("XDG_CONFIG_HOME")).absoluteFilePath(QStringLiteral("../no desktop"));
    QDir(missing).removeRecursively();
    writeUserDirs(QDir::cleanPath(missing));
    QCOMPARE(GetSpecialFolder(kSpecialFolderDesktop), QDir::cleanPath(missing));
    window = openWindow();
    QString home = QDir::homePath();
    if (!home.endsWith(QLatin1Char('/')))
        home += QLatin1Char('/');
    QCOMPARE(folderBox(window)->text(), home);
    QCOMPARE(GetSetting(QLatin1String(kSettingPath)), home);
    QCOMPARE(window->backupFilePath(), QDir::cleanPath(home + QStringLiteral("BackupDB.txt")));
}

void BackupWindowTest::rejectedRecordsAreAnsweredThroughTheRealBoxes()
{
    TestData::addType(db, QStringLiteral("Kept"));
    const QString before = contents(db);
    QByteArray text = "TABLE Contact Types\r\n'Friend ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\nTABLE Calls\r\n";
    for (int i = 0; i < 3; ++i)
        text += "1, '2/30/2021', '2:30:00 PM', 'bad " + QByteArray::number(i) + " ', ' '\r\n";
    text += "1, '3/14/2021', '2:30:00 PM', 'good ', ' '\r\nTABLE END\r\n\r\n";
    writeFile(folder() + QStringLiteral("/BackupDB.txt"), text);
    window = openWindow();
    useFolder(window);

    // The real boxes, answered as a user would: Yes to deleting, Enter on each
    // error box, a click on No for the replacement.
    MessageService::setInstance(nullptr);
    QStringList seen;
    bool defaultWasNo = false;
    bool boxCovered = false;
    QElapsedTimer clock;
    clock.start();
    QTimer driver;
    driver.setInterval(20);
    QObject::connect(&driver, &QTimer::timeout, &driver, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        for (QWidget *top : QApplication::topLevelWidgets()) {
            if (qobject_cast<QMessageBox *>(top) && top->isVisible() && qobject_cast<QProgressDialog *>(modal))
                boxCovered = true;
        }
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (!box || box->property("answered").toBool())
            return;
        // The first error box stays up longer than the progress dialog's
        // delay, the time in which that dialog used to cover it.
        if (box->icon() == QMessageBox::Warning && seen.size() == 1) {
            if (!box->property("since").isValid())
                box->setProperty("since", clock.elapsed());
            if (clock.elapsed() - box->property("since").toLongLong() < 1300)
                return;
        }
        box->setProperty("answered", true);
        seen << box->text();
        if (box->text().contains(QLatin1String("Replace the existing data"))) {
            defaultWasNo = box->defaultButton() == box->button(QMessageBox::No);
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        } else if (box->text() == kDeleteQuestion) {
            QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
        } else {
            QTest::keyClick(box, Qt::Key_Return);
        }
    });
    driver.start();
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    driver.stop();
    MessageService::setInstance(&env.messages);

    QCOMPARE(seen.size(), 6);
    QCOMPARE(seen.first(), kDeleteQuestion);
    for (int i = 1; i <= 3; ++i)
        QVERIFY2(seen.at(i).contains(QStringLiteral("Line %1 of the file").arg(8 + i)), qPrintable(seen.at(i)));
    QVERIFY2(seen.at(4).startsWith(QLatin1String("3 records could not be restored.")), qPrintable(seen.at(4)));
    QVERIFY(defaultWasNo);
    QCOMPARE(seen.at(5), QStringLiteral("Nothing was restored: the database is as it was before."));
    QVERIFY(!boxCovered);
    QCOMPARE(contents(db), before);
}

void BackupWindowTest::folderAndOptionsAreRemembered()
{
    window = openWindow();
    folderBox(window)->clear();
    QTest::keyClicks(folderBox(window), QStringLiteral("/srv/backups"));
    QCOMPARE(GetSetting(QLatin1String(kSettingPath)), QStringLiteral("/srv/backups"));
    QTest::mouseClick(option(window, 2), Qt::LeftButton, {}, QPoint(5, option(window, 2)->height() / 2));
    QVERIFY(option(window, 2)->isChecked());
    QVERIFY(!option(window, 1)->isChecked());
    QCOMPARE(GetSetting(QLatin1String(kSettingOption1)), QStringLiteral("False"));
    QCOMPARE(GetSetting(QLatin1String(kSettingOption2)), QStringLiteral("True"));
    delete window;

    window = openWindow();
    QCOMPARE(folderBox(window)->text(), QStringLiteral("/srv/backups"));
    QVERIFY(!option(window, 1)->isChecked());
    QVERIFY(option(window, 2)->isChecked());
    QTest::mouseClick(option(window, 1), Qt::LeftButton, {}, QPoint(5, option(window, 1)->height() / 2));
    QCOMPARE(GetSetting(QLatin1String(kSettingOption1)), QStringLiteral("True"));
    QCOMPARE(GetSetting(QLatin1String(kSettingOption2)), QStringLiteral("False"));
}

void BackupWindowTest::neitherOptionSelectedRestoresNothing()
{
    SaveSetting(QLatin1String(kSettingOption1), QStringLiteral("0"));
    SaveSetting(QLatin1String(kSettingOption2), QStringLiteral("False"));
    TestData::addType(db, QStringLiteral("Kept"));
    writeFile(folder() + QStringLiteral("/BackupDB.txt"), "TABLE Contact Types\r\n'New ' \r\nTABLE END\r\n\r\n");
    window = openWindow();
    useFolder(window);
    QVERIFY(!option(window, 1)->isChecked());
    QVERIFY(!option(window, 2)->isChecked());
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QVERIFY(env.messages.shown.isEmpty());
    QCOMPARE(contents(db), QStringLiteral("1:Kept /  / "));
}

void BackupWindowTest::backupThenRestoreInBothModes()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", type}});
    TestData::addCall(db, ann, QStringLiteral("2021-03-14"), QStringLiteral("14:30:00"), QStringLiteral("Review"));
    const QString original = contents(db);
    window = openWindow();
    useFolder(window);

    // Return on the focused Backup button presses it, as a click does.
    button(window, 1)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(button(window, 1), Qt::Key_Return);
    QCOMPARE(env.messages.informations(), QStringList{QStringLiteral("Done.")});
    QVERIFY(env.messages.errors().isEmpty());
    QVERIFY(QFile::exists(folder() + QStringLiteral("/BackupDB.txt")));

    // Delete first: what was added after the backup goes, what was backed up comes back.
    TestData::addContact(db, {{"FirstName", "Later"}});
    env.messages.clear();
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QCOMPARE(env.messages.questions(), QStringList{kDeleteQuestion});
    QCOMPARE(env.messages.shown.first().title, QStringLiteral("Question"));
    const QString restored = QStringLiteral("Done.\nRestored 1 contact type, 1 contact and 1 call; no record was rejected.");
    QCOMPARE(env.messages.informations(), QStringList{restored});
    QCOMPARE(contents(db), original);

    // Append: no question, every record once more, linked to its own copies.
    env.messages.clear();
    QTest::mouseClick(option(window, 2), Qt::LeftButton, {}, QPoint(5, option(window, 2)->height() / 2));
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QVERIFY(env.messages.questions().isEmpty());
    QCOMPARE(env.messages.informations(), QStringList{restored});
    QCOMPARE(contents(db), QStringLiteral("1:Customer,2:Customer / 1:Ann:1,2:Ann:2 / 1:Review,2:Review"));
}

void BackupWindowTest::undoButtonPutsBackTheLastDeleteFirstRestore()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", type}});
    window = openWindow();
    useFolder(window);
    // Nothing to undo yet.
    QVERIFY(!button(window, 3)->isEnabled());
    QTest::mouseClick(button(window, 1), Qt::LeftButton);
    TestData::addContact(db, {{"FirstName", "Later"}});
    const QString beforeRestore = contents(db);

    env.messages.clear();
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QVERIFY(!contents(db).contains(QLatin1String("Later")));
    QVERIFY(button(window, 3)->isEnabled());

    // No keeps the restored data.
    env.messages.clear();
    QTest::mouseClick(button(window, 3), Qt::LeftButton);
    QCOMPARE(env.messages.questions().size(), 1);
    QVERIFY2(env.messages.questions().first().startsWith(
                 QStringLiteral("Put back the database as it was before the restore of ")),
             qPrintable(env.messages.questions().first()));
    QVERIFY(env.messages.informations().isEmpty());
    QVERIFY(!contents(db).contains(QLatin1String("Later")));

    env.messages.clear();
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(button(window, 3), Qt::LeftButton);
    QCOMPARE(env.messages.informations(),
             QStringList{QStringLiteral("Done.\nThe database is as it was before the last restore.")});
    QVERIFY(env.messages.errors().isEmpty());
    QCOMPARE(contents(db), beforeRestore);

    // The button sits under the restore button, inside the window.
    QCOMPARE(button(window, 3)->x(), button(window, 2)->x());
    QVERIFY(button(window, 3)->geometry().top() > button(window, 2)->geometry().bottom());
    QVERIFY(window->rect().contains(button(window, 3)->geometry()));
}

void BackupWindowTest::answerNoChangesNothing()
{
    TestData::addType(db, QStringLiteral("Kept"));
    writeFile(folder() + QStringLiteral("/BackupDB.txt"), "TABLE Contact Types\r\n'New ' \r\nTABLE END\r\n\r\n");
    const QString before = contents(db);
    window = openWindow();
    useFolder(window);
    env.messages.answerNext(MessageService::Answer::No);
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QCOMPARE(env.messages.questions(), QStringList{kDeleteQuestion});
    QCOMPARE(env.messages.shown.size(), 1);
    QCOMPARE(contents(db), before);
}

void BackupWindowTest::noFileAndNoDataThroughTheWindow()
{
    TestData::addType(db, QStringLiteral("Kept"));
    const QString before = contents(db);
    window = openWindow();
    useFolder(window);

    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList{QStringLiteral("No file to restore.")});
    QCOMPARE(contents(db), before);

    env.messages.clear();
    writeFile(folder() + QStringLiteral("/BackupDB.txt"), QByteArray());
    env.messages.answerNext(MessageService::Answer::Yes);
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList{QStringLiteral("No data to restore.")});
    QCOMPARE(contents(db), before);
}

void BackupWindowTest::keysThatCannotBeUsedAreNamedInTheLastMessage()
{
    // A key section with one key for two types: the references are restored
    // as written, and the user learns that the keys were not used.
    writeFile(folder() + QStringLiteral("/BackupDB.txt"),
              "TABLE Contact Types\r\n'A ' \r\n'B ' \r\nTABLE END\r\n\r\nTABLE Contacts\r\nTABLE END\r\n\r\n"
              "TABLE Calls\r\nTABLE END\r\n\r\nKEYS Contact Types\r\n8\r\nKEYS Contacts\r\nKEYS END\r\n");
    window = openWindow();
    useFolder(window);
    QTest::mouseClick(option(window, 2), Qt::LeftButton, {}, QPoint(5, option(window, 2)->height() / 2));
    QTest::mouseClick(button(window, 2), Qt::LeftButton);
    QCOMPARE(env.messages.errors(), QStringList());
    QCOMPARE(env.messages.informations(),
             QStringList{QStringLiteral("Done.\nRestored 2 contact types, 0 contacts and 0 calls; no record was rejected."
                                        "\nThe keys of 2 records could not be taken from the file; their contacts "
                                        "and calls may not be linked to them as before.")});
    QCOMPARE(contents(db), QStringLiteral("1:A,2:B /  / "));
}

void BackupWindowTest::manyRejectedRecordsAreReportedTenTimesThenCounted()
{
    QByteArray text = "TABLE Contact Types\r\nTABLE END\r\n\r\nTABLE Contacts\r\n";
    for (int i = 0; i < 12; ++i)
        text += "'Bad " + QByteArray::number(i) + " ', 'too few values '\r\n";
    text += "'Good ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', "
            "Null, ' ', ' ', ' ', ' ', Null, ' ', ' ', ' '\r\nTABLE END\r\n\r\nTABLE Calls\r\nTABLE END\r\n\r\n";
    writeFile(folder() + QStringLiteral("/BackupDB.txt"), text);
    window = openWindow();
    useFolder(window);
    QTest::mouseClick(option(window, 2), Qt::LeftButton, {}, QPoint(5, option(window, 2)->height() / 2));
    QTest::mouseClick(button(window, 2), Qt::LeftButton);

    const QStringList errors = env.messages.errors();
    QCOMPARE(errors.size(), 10);
    for (int i = 0; i < errors.size(); ++i) {
        QVERIFY2(errors.at(i).contains(QStringLiteral("Line %1 of the file").arg(5 + i)), qPrintable(errors.at(i)));
        QVERIFY(errors.at(i).contains(QLatin1String("in Corvanta2021/08/31.Form6.PushButton2_Click at line 230")));
    }
    QCOMPARE(env.messages.informations(),
             QStringList{QStringLiteral("Done.\nRestored 0 contact types, 1 contact and 0 calls; 12 records could not be "
                                        "restored.")});
    QCOMPARE(contents(db), QStringLiteral(" / 1:Good: / "));
}

void BackupWindowTest::backupIntoMissingFolderIsReported()
{
    window = openWindow();
    folderBox(window)->setText(folder() + QStringLiteral("/not/there"));
    QTest::mouseClick(button(window, 1), Qt::LeftButton);
    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY(env.messages.errors().first().contains(QLatin1String("Form6.PushButton1_Click at line 104")));
    QVERIFY(env.messages.informations().isEmpty());
}

// A backup or a restore is one step for the user, but its error box names the
// part that failed, and a failed restore leaves the database as it was.
void BackupWindowTest::failuresAreReportedUnderTheStepOfTheirPart()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"ContactTypeID", type}});
    TestData::addCall(db, ann, QStringLiteral("2021-03-14"), QStringLiteral("14:30:00"), QStringLiteral("Review"));
    window = openWindow();
    useFolder(window);
    QTest::mouseClick(button(window, 1), Qt::LeftButton);
    QCOMPARE(env.messages.informations(), QStringList{QStringLiteral("Done.")});
    const QString original = contents(db);
    const QByteArray file = readFile(folder() + QStringLiteral("/BackupDB.txt"));

    const auto errorAfter = [&](int button, MessageService::Answer answer) {
        env.messages.clear();
        env.messages.answerNext(answer);
        QTest::mouseClick(this->button(window, button), Qt::LeftButton);
        return env.messages.errors().value(0);
    };
    const auto exec = [&](const char *sql) { QVERIFY2(QSqlQuery(db).exec(QString::fromLatin1(sql)), sql); };

    // Reading the calls fails half way: a view whose rows cannot be computed.
    exec("ALTER TABLE Calls RENAME TO CallsKept");
    exec("CREATE VIEW Calls AS SELECT *, json('not json') AS Broken FROM CallsKept");
    QString error = errorAfter(1, MessageService::Answer::Yes);
    QVERIFY2(error.contains(QLatin1String("Form6.PushButton1_Click at line 192")), qPrintable(error));
    QVERIFY2(error.contains(QLatin1String("malformed JSON")), qPrintable(error));
    QCOMPARE(readFile(folder() + QStringLiteral("/BackupDB.txt")), file); // the old file stays
    exec("DROP VIEW Calls");
    exec("ALTER TABLE CallsKept RENAME TO Calls");

    // Emptying the tables: each table under its own step.
    const std::pair<const char *, const char *> kept[] = {
        {"CREATE TRIGGER keep BEFORE DELETE ON \"Contact Types\" BEGIN SELECT RAISE(ABORT, 'types kept'); END", "line 142"},
        {"CREATE TRIGGER keep BEFORE DELETE ON Contacts BEGIN SELECT RAISE(ABORT, 'contacts kept'); END", "line 144"},
        {"CREATE TRIGGER keep BEFORE DELETE ON Calls BEGIN SELECT RAISE(ABORT, 'calls kept'); END", "line 146"},
    };
    for (const auto &[trigger, line] : kept) {
        exec(trigger);
        error = errorAfter(2, MessageService::Answer::Yes);
        QVERIFY2(error.contains(QLatin1String("Form6.PushButton2_Click at ")) && error.contains(QLatin1String(line)),
                 qPrintable(error));
        QCOMPARE(contents(db), original);
        exec("DROP TRIGGER keep");
    }

    // The database gives up while the calls are restored.
    exec("CREATE TRIGGER giveUp BEFORE INSERT ON Calls BEGIN SELECT RAISE(ROLLBACK, 'disk I/O error'); END");
    error = errorAfter(2, MessageService::Answer::Yes);
    QVERIFY2(error.contains(QLatin1String("Form6.PushButton2_Click at line 272")), qPrintable(error));
    QCOMPARE(contents(db), original);
    exec("DROP TRIGGER giveUp");

    // And with nothing in the way the same file restores.
    QVERIFY(errorAfter(2, MessageService::Answer::Yes).isEmpty());
    QCOMPARE(contents(db), original);
}

void BackupWindowTest::folderPickerFillsTheFolderBox()
{
    const QString chosen = folder() + QStringLiteral("/chosen");
    QDir().mkpath(chosen);
    FolderDialogDriver driver;
    driver.answer = [&](QFileDialog *dialog) {
        dialog->setDirectory(chosen);
        static_cast<QDialog *>(dialog)->accept();
    };
    qApp->installEventFilter(&driver);
    window = openWindow();
    QTest::mouseClick(button(window, 4), Qt::LeftButton);
    qApp->removeEventFilter(&driver);

    QCOMPARE(driver.shown, 1);
    QCOMPARE(driver.title, QStringLiteral("Please select folder:"));
    QVERIFY(driver.directoriesOnly);
    QCOMPARE(folderBox(window)->text(), chosen);
    QCOMPARE(GetSetting(QLatin1String(kSettingPath)), chosen);
    QCOMPARE(GetSetting(QLatin1String(kSettingLastFolderDot), QStringLiteral("unset")), QStringLiteral("unset"));
}

void BackupWindowTest::folderPickerStartsAtLastFolderDot()
{
    const QString start = folder() + QStringLiteral("/start here");
    QDir().mkpath(start);
    SaveSetting(QLatin1String(kSettingLastFolderDot), start);
    FolderDialogDriver driver;
    driver.answer = [](QFileDialog *dialog) { static_cast<QDialog *>(dialog)->accept(); };
    qApp->installEventFilter(&driver);
    window = openWindow();
    QTest::mouseClick(button(window, 4), Qt::LeftButton);
    qApp->removeEventFilter(&driver);

    QCOMPARE(driver.directory, start);
    QCOMPARE(folderBox(window)->text(), start);

    // A start folder that no longer exists leaves the dialog at its default place.
    SaveSetting(QLatin1String(kSettingLastFolderDot), folder() + QStringLiteral("/gone"));
    driver.answer = [](QFileDialog *dialog) { dialog->reject(); };
    qApp->installEventFilter(&driver);
    QTest::mouseClick(button(window, 4), Qt::LeftButton);
    qApp->removeEventFilter(&driver);
    QCOMPARE(driver.shown, 2);
    QVERIFY(driver.directory != folder() + QStringLiteral("/gone"));
}

void BackupWindowTest::cancelledFolderPickerChangesNothing()
{
    FolderDialogDriver driver;
    driver.answer = [](QFileDialog *dialog) { dialog->reject(); };
    window = openWindow();
    useFolder(window);
    qApp->installEventFilter(&driver);
    QTest::mouseClick(button(window, 4), Qt::LeftButton);
    qApp->removeEventFilter(&driver);
    QCOMPARE(driver.shown, 1);
    QCOMPARE(folderBox(window)->text(), folder());
    QCOMPARE(GetSetting(QLatin1String(kSettingPath)), folder());
    QVERIFY(env.messages.shown.isEmpty());
}

QTEST_MAIN(BackupWindowTest)
#include "tst_backup_window.moc"
