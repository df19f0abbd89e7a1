// An afternoon of use in fast motion: long random runs of what a user does in
// the main window, each checked against a plain model of what the user
// committed. Any run is repeated from its seed:
//
//   CORVANTA_SEED=N            first seed (default: a fixed one per locale)
//   CORVANTA_SEED_COUNT=K      seeds N .. N+K-1, one run each (default 1)
//   CORVANTA_ACTIONS=A         actions per run (default 300)
//   CORVANTA_LOCALE=de_DE      only that locale

#include "support/HardContacts.h"
#include "support/SearchDriving.h"
#include "support/TestSupport.h"

#include "contacts/ContactListModel.h"
#include "contacts/ContactsRecordset.h"
#include "contacts/Form1.h"
#include "frame/NavigationBar.h"
#include "reference/Form2.h"
#include "reference/Form5.h"
#include "base/ContactFields.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <memory>

namespace {
// Box (Text1 N) -> field and tab page.
struct Box {
    int index;
    int field;
    int page;
};
const Box kBoxes[] = {
    {0, ContactField::FirstName, 0},      {1, ContactField::LastName, 0},     {3, ContactField::EmailName, 0},
    {4, ContactField::Title, 0},          {6, ContactField::CompanyName, 0},  {7, ContactField::Dear, 0},
    {8, ContactField::WorkPhone, 0},      {9, ContactField::Address, 0},      {10, ContactField::WorkExtension, 0},
    {11, ContactField::HomePhone, 0},     {12, ContactField::City, 0},        {13, ContactField::StateOrProvince, 0},
    {14, ContactField::PostalCode, 0},    {15, ContactField::Country, 0},     {16, ContactField::MobilePhone, 0},
    {17, ContactField::FaxNumber, 0},     {18, ContactField::Notes, 0},       {2, ContactField::ReferredBy, 2},
    {19, ContactField::MaritalStatus, 2}, {20, ContactField::Hometown, 2},    {21, ContactField::SpouseName, 2},
    {23, ContactField::ContactsInterests, 2}, {24, ContactField::SpousesInterests, 2},
    {25, ContactField::ChildrenNames, 2},
};
const QStringList kWords = {"a", "Ö", "ß", "x y", "  ", "'", "\"", "Я", "東", "9", "é", "-", ",", "Zz"};
const QStringList kPastes = {"one\ntwo", "one\r\ntwo\r\n", "tab\there", "end \n", "\n"};

// Types the text key by key; letters beyond ASCII come as the keyboard
// layout would send them, as text of a key the test cannot name.
void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128)
            QTest::keyClick(widget, char(c.unicode()));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}
} // namespace

class MainWindowModelTest : public QObject {
    Q_OBJECT

private slots:
    void randomAfternoon_data();
    void randomAfternoon();

private:
    // One run; the empty text when every check held, else what went wrong.
    QString run(const QString &localeName, quint32 seed, int actions);
};

// The plain model of what the user has committed, and the window under test.
class Afternoon {
public:
    Afternoon(IsolatedEnvironment &env, QSqlDatabase &db, quint32 seed) : env(env), db(db), random(seed) {}

    // What the file holds before the first start.
    void believe(QMap<QString, QStringList> rows, qint64 highest) { expected = std::move(rows); highestKey = highest; }
    QString start();
    QString act(int number);
    QString check();
    QStringList log;

private:
    using Rows = QMap<QString, QStringList>;

    // The user's edits of the current contact, not yet stored: field -> value.
    QMap<int, QVariant> pending;
    Rows expected;
    // What an action itself found wrong.
    QString problem;
    QList<qint64> keys() const;
    qint64 current = -1;
    int lastListIndex = 0;
    bool adding = false;
    qint64 highestKey = 0;

    IsolatedEnvironment &env;
    QSqlDatabase &db;
    QRandomGenerator random;
    std::unique_ptr<Form1> form;

    int pick(int count) { return int(random.bounded(quint32(count))); }
    template <typename T = QWidget>
    T *box(const QString &name) { return child<T>(form.get(), name); }
    QString quoted(const QVariant &value);
    QString storedQuote(const QVariant &value);
    void commit();
    bool pendingChangesSomething();
    QString typeName(qint64 typeId);
    void showPage(int page);

    QString clickRow();
    QString sortColumn();
    QString barButton();
    QString typeIntoBox(bool paste);
    QString typeBirthDate();
    QString chooseType();
    QString create();
    QString save();
    QString remove(bool yes);
    QString search();
    QString otherWindow(bool types);
    QString closeAndStart();
    QString anotherWindowWrites();
};

QList<qint64> Afternoon::keys() const
{
    QList<qint64> result;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (it.key().startsWith(QLatin1String("Contacts:")))
            result << it.value().value(0).toLongLong();
    }
    std::sort(result.begin(), result.end());
    return result;
}

QString Afternoon::quoted(const QVariant &value)
{
    return TestData::scalar(db, QStringLiteral("SELECT quote(?)"), {value}).toString();
}

// Empty text is stored as Null.
QString Afternoon::storedQuote(const QVariant &value)
{
    if (value.isNull() || (value.typeId() == QMetaType::QString && value.toString().isEmpty()))
        return QStringLiteral("NULL");
    return quoted(value);
}

void Afternoon::commit()
{
    const QString key = QStringLiteral("Contacts:%1").arg(current);
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (expected.contains(key))
            expected[key][it.key()] = storedQuote(it.value());
    }
    pending.clear();
}

bool Afternoon::pendingChangesSomething()
{
    const QStringList row = expected.value(QStringLiteral("Contacts:%1").arg(current));
    for (auto it = pending.cbegin(); it != pending.cend(); ++it) {
        if (row.value(it.key()) != storedQuote(it.value()))
            return true;
    }
    return false;
}

QString Afternoon::typeName(qint64 typeId)
{
    return TestData::scalar(db, QStringLiteral("SELECT ContactType FROM \"Contact Types\" WHERE ContactTypeID = ?"), {typeId})
        .toString();
}

void Afternoon::showPage(int page)
{
    auto *tabs = box<QTabWidget>(QStringLiteral("SSTab1"));
    if (tabs->currentIndex() == page)
        return;
    QTabBar *bar = tabs->findChild<QTabBar *>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(page).center());
}

QString Afternoon::start()
{
    form = std::make_unique<Form1>();
    if (!showActive(form.get()))
        return QStringLiteral("the main window did not become active");
    const QList<qint64> all = keys();
    current = all.isEmpty() ? -1 : all.first();
    lastListIndex = 0;
    adding = false;
    pending.clear();
    return check();
}

QString Afternoon::check()
{
    QCoreApplication::processEvents();
    if (!problem.isEmpty())
        return problem;
    if (!env.messages.errors().isEmpty())
        return QStringLiteral("error box: ") + env.messages.errors().join(QLatin1Char('\n'));
    const Rows stored = HardContacts::snapshot(db);
    if (stored != expected) {
        QStringList differences;
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            if (stored.value(it.key()) != it.value())
                differences << QStringLiteral("%1 expected %2\n   stored %3")
                                   .arg(it.key(), it.value().join(QLatin1Char('|')),
                                        stored.value(it.key()).join(QLatin1Char('|')));
        }
        for (auto it = stored.cbegin(); it != stored.cend(); ++it) {
            if (!expected.contains(it.key()))
                differences << QStringLiteral("%1 not expected: %2").arg(it.key(), it.value().join(QLatin1Char('|')));
        }
        return QStringLiteral("database differs:\n") + differences.join(QLatin1Char('\n'));
    }
    if (form->contactsRs()->currentId() != current)
        return QStringLiteral("current contact %1, expected %2").arg(form->contactsRs()->currentId()).arg(current);
    // The form shows the contact the list selects.
    auto *list = box<QTableView>(QStringLiteral("ListView1"));
    const QModelIndexList selected = list->selectionModel()->selectedRows();
    const int listed = current >= 0 ? form->contactList()->rowOfContact(current) : -1;
    if (listed >= 0) {
        if (selected.size() != 1 || selected.first().data().toLongLong() != current)
            return QStringLiteral("the list selects %1, the form shows %2")
                .arg(selected.isEmpty() ? QStringLiteral("nothing") : selected.first().data().toString())
                .arg(current);
    } else if (!selected.isEmpty()) {
        return QStringLiteral("the list selects %1 for a contact it does not list").arg(selected.first().data().toString());
    }
    if (current >= 0 && !pending.contains(ContactField::FirstName)) {
        const QString first = TestData::scalar(db, QStringLiteral("SELECT FirstName FROM Contacts WHERE ContactID = ?"), {current}).toString();
        if (box<QLineEdit>(QStringLiteral("Text1_0"))->text() != first)
            return QStringLiteral("the first-name box shows \"%1\", contact %2 has \"%3\"")
                .arg(box<QLineEdit>(QStringLiteral("Text1_0"))->text()).arg(current).arg(first);
    }
    return {};
}

QString Afternoon::act(int number)
{
    // The window has the keyboard again once a box or window it opened is gone.
    if (!form->isActiveWindow()) {
        form->activateWindow();
        if (!QTest::qWaitForWindowActive(form.get()))
            return QStringLiteral("the main window did not become active again");
    }
    const int roll = pick(100);
    QString what;
    if (roll < 14)
        what = clickRow();
    else if (roll < 18)
        what = sortColumn();
    else if (roll < 30)
        what = barButton();
    else if (roll < 52)
        what = typeIntoBox(false);
    else if (roll < 58)
        what = typeIntoBox(true);
    else if (roll < 64)
        what = typeBirthDate();
    else if (roll < 69)
        what = chooseType();
    else if (roll < 73)
        what = create();
    else if (roll < 81)
        what = save();
    else if (roll < 84)
        what = remove(pick(2) == 0);
    else if (roll < 89)
        what = search();
    else if (roll < 93)
        what = otherWindow(pick(2) == 0);
    else if (roll < 95)
        what = closeAndStart();
    else if (roll < 97)
        what = anotherWindowWrites();
    else {
        showPage(1);
        what = QStringLiteral("look at the calls page");
    }
    log << QStringLiteral("%1: %2").arg(number).arg(what);
    return check();
}

QString Afternoon::clickRow()
{
    const int rows = form->contactList()->rowCount();
    if (rows == 0)
        return QStringLiteral("click on an empty list");
    const int row = pick(rows);
    auto *list = box<QTableView>(QStringLiteral("ListView1"));
    const qint64 id = list->model()->index(row, 0).data().toLongLong();
    list->scrollTo(list->model()->index(row, 0));
    clickListRow(form.get(), row);
    if (id != current) {
        commit();
        current = id;
        const QList<qint64> all = keys();
        lastListIndex = int(std::count_if(all.cbegin(), all.cend(), [id](qint64 key) { return key < id; })) + 1;
    }
    return QStringLiteral("click list row %1 (contact %2)").arg(row).arg(id);
}

QString Afternoon::sortColumn()
{
    auto *header = box<QTableView>(QStringLiteral("ListView1"))->horizontalHeader();
    const int column = pick(7);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionViewportPosition(column) + 4, 4));
    return QStringLiteral("sort by column %1").arg(column);
}

QString Afternoon::barButton()
{
    auto *bar = box<NavigationBar>(QStringLiteral("dc"));
    const QList<qint64> all = keys();
    const int which = pick(4);
    QAbstractButton *buttons[] = {bar->firstButton(), bar->previousButton(), bar->nextButton(), bar->lastButton()};
    QTest::mouseClick(buttons[which], Qt::LeftButton);
    if (all.isEmpty())
        return QStringLiteral("bar button %1 on no contacts").arg(which);
    commit();
    const qsizetype at = all.indexOf(current);
    switch (which) {
    case 0: current = all.first(); break;
    case 1: current = at > 0 ? all[at - 1] : (at < 0 ? all.first() : current); break;
    case 2: current = at >= 0 && at + 1 < all.size() ? all[at + 1] : (at < 0 ? all.first() : current); break;
    default: current = all.last();
    }
    return QStringLiteral("bar button %1").arg(which);
}

QString Afternoon::typeIntoBox(bool paste)
{
    if (current < 0)
        return QStringLiteral("no contact to type into");
    const Box &target = kBoxes[pick(int(std::size(kBoxes)))];
    showPage(target.page);
    QWidget *widget = box(QStringLiteral("Text1_%1").arg(target.index));
    QString text = kWords[pick(int(kWords.size()))];
    if (paste) {
        text = kPastes[pick(int(kPastes.size()))];
        QGuiApplication::clipboard()->setText(text);
    }
    if (auto *line = qobject_cast<QLineEdit *>(widget)) {
        QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(2 + pick(qMax(1, line->width() - 4)), line->height() / 2));
        const int position = line->cursorPosition();
        if (paste)
            QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
        else
            typeText(line, text);
        pending[target.field] = line->text();
        return QStringLiteral("%1 \"%2\" at %3 of Text1_%4: \"%5\"")
            .arg(paste ? QStringLiteral("paste") : QStringLiteral("type"), text).arg(position).arg(target.index).arg(line->text());
    }
    auto *lines = qobject_cast<QPlainTextEdit *>(widget);
    QWidget *viewport = lines->viewport();
    QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(pick(viewport->width()), pick(viewport->height())));
    const int position = lines->textCursor().position();
    if (paste) {
        QTest::keyClick(lines, Qt::Key_V, Qt::ControlModifier);
    } else {
        typeText(lines, text);
        if (pick(3) == 0)
            QTest::keyClick(lines, Qt::Key_Return);
    }
    pending[target.field] = lines->toPlainText();
    return QStringLiteral("%1 \"%2\" at %3 of Text1_%4").arg(paste ? QStringLiteral("paste") : QStringLiteral("type"), text).arg(position).arg(target.index);
}

QString Afternoon::typeBirthDate()
{
    if (current < 0)
        return QStringLiteral("no contact for a birth date");
    showPage(2);
    auto *birth = box<QLineEdit>(QStringLiteral("Text1_22"));
    const QDate date = QDate(1920, 1, 1).addDays(pick(40000));
    QString format = QLocale().dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    QString text;
    bool valid = true;
    switch (pick(4)) {
    case 0: text = date.toString(format); break;
    case 1: text = date.toString(Qt::ISODate); break;
    case 2: text = QDate(2024, 2, 1).toString(format).replace(QLatin1String("1"), QLatin1String("31")); valid = false; break;
    default: text = QStringLiteral("tomorrow"); valid = false;
    }
    QTest::mouseClick(birth, Qt::LeftButton);
    QTest::keyClick(birth, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(birth, text);
    const int informations = int(env.messages.informations().size());
    QTest::keyClick(birth, Qt::Key_Tab); // and on to the next box
    if (valid) {
        pending[ContactField::Birthdate] = date.toString(Qt::ISODate);
    } else if (env.messages.informations().size() != informations + 1) {
        problem = QStringLiteral("no message refused the birth date \"%1\" (box shows \"%2\", focus %3, page %4)")
                      .arg(text, birth->text(), QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QStringLiteral("none"))
                      .arg(box<QTabWidget>(QStringLiteral("SSTab1"))->currentIndex());
    }
    return QStringLiteral("birth date \"%1\"").arg(text);
}

QString Afternoon::chooseType()
{
    if (current < 0)
        return QStringLiteral("no contact for a type");
    showPage(0);
    auto *types = box<QComboBox>(QStringLiteral("dcbContactType"));
    types->setFocus();
    const int before = types->currentIndex();
    QTest::keyClick(types, pick(2) ? Qt::Key_Down : Qt::Key_Up);
    if (types->currentIndex() != before && types->currentIndex() >= 0) {
        const QString name = types->currentText();
        pending[ContactField::ContactTypeID] = TestData::scalar(
            db, QStringLiteral("SELECT ContactTypeID FROM \"Contact Types\" WHERE ContactType = ?"), {name});
    }
    return QStringLiteral("type box to \"%1\"").arg(types->currentText());
}

QString Afternoon::create()
{
    QTest::mouseClick(box<QPushButton>(QStringLiteral("PushButton4")), Qt::LeftButton);
    if (adding)
        return QStringLiteral("Create (disabled)");
    commit();
    adding = true;
    const qint64 id = form->contactsRs()->currentId();
    if (id <= highestKey)
        problem = QStringLiteral("Create made contact %1, not above %2").arg(id).arg(highestKey);
    highestKey = id;
    QStringList row(ContactField::Count, QStringLiteral("NULL"));
    row[ContactField::ContactID] = QString::number(id);
    row[ContactField::FirstName] = QStringLiteral("'New Contact'");
    expected.insert(QStringLiteral("Contacts:%1").arg(id), row);
    current = id;
    return QStringLiteral("Create (contact %1)").arg(id);
}

QString Afternoon::save()
{
    const bool hasType = !box<QComboBox>(QStringLiteral("dcbContactType"))->currentText().isEmpty();
    QTest::mouseClick(box<QPushButton>(QStringLiteral("PushButton7")), Qt::LeftButton);
    if (current < 0)
        return QStringLiteral("Save without a contact");
    if (hasType) {
        commit();
        adding = false;
    }
    return hasType ? QStringLiteral("Save") : QStringLiteral("Save (no type)");
}

QString Afternoon::remove(bool yes)
{
    if (adding || current < 0) {
        QTest::mouseClick(box<QPushButton>(QStringLiteral("PushButton3")), Qt::LeftButton);
        return QStringLiteral("Delete (disabled or no contact)");
    }
    env.messages.answerNext(yes ? MessageService::Answer::Yes : MessageService::Answer::No);
    QTest::mouseClick(box<QPushButton>(QStringLiteral("PushButton3")), Qt::LeftButton);
    if (!yes)
        return QStringLiteral("Delete, No");
    pending.clear();
    expected.remove(QStringLiteral("Contacts:%1").arg(current));
    for (auto it = expected.begin(); it != expected.end();) {
        if (it.key().startsWith(QLatin1String("Calls:")) && it.value().value(1).toLongLong() == current)
            it = expected.erase(it);
        else
            ++it;
    }
    const QList<qint64> all = keys();
    const qint64 gone = current;
    if (all.isEmpty())
        current = -1;
    else
        current = lastListIndex != 0 && all.size() >= lastListIndex ? all[lastListIndex - 1] : all.first();
    return QStringLiteral("Delete %1, Yes").arg(gone);
}

QString Afternoon::search()
{
    const QList<qint64> all = keys();
    if (all.isEmpty())
        return QStringLiteral("no contact to search for");
    const qint64 target = all[pick(int(all.size()))];
    const QString last = TestData::scalar(db, QStringLiteral("SELECT LastName FROM Contacts WHERE ContactID = ?"), {target}).toString().trimmed();
    if (last.isEmpty())
        return QStringLiteral("search skipped (contact %1 has no last name)").arg(target);
    bool chosen = false;
    QTimer::singleShot(0, [&] {
        auto *window = qobject_cast<Form4 *>(QApplication::activeModalWidget());
        if (!window)
            return;
        const SearchDriving::Ids found = SearchDriving::search(window, last);
        const int row = int(found.indexOf(target));
        if (row >= 0) {
            window->resultList()->setCurrentIndex(window->resultList()->model()->index(row, 1));
            QTest::mouseClick(SearchDriving::button(window, "PushButton1"), Qt::LeftButton);
            chosen = true;
        } else {
            QTest::mouseClick(SearchDriving::button(window, "PushButton2"), Qt::LeftButton);
        }
        if (window->isVisible())
            window->reject();
    });
    QTest::mouseClick(box<QPushButton>(QStringLiteral("PushButton8")), Qt::LeftButton);
    if (chosen) {
        commit();
        current = target;
    }
    return QStringLiteral("search \"%1\"%2").arg(last, chosen ? QStringLiteral(", select") : QStringLiteral(", cancel"));
}

QString Afternoon::otherWindow(bool types)
{
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    QTest::mouseClick(box<QPushButton>(types ? QStringLiteral("PushButton5") : QStringLiteral("PushButton9")), Qt::LeftButton);
    // The types window stores the contact's edits (its type may change there).
    if (types)
        commit();
    return types ? QStringLiteral("open and close the types window") : QStringLiteral("open and close the labels window");
}

QString Afternoon::closeAndStart()
{
    const bool yes = pick(2) == 0;
    const bool asked = pendingChangesSomething();
    env.messages.clear();
    env.messages.answerNext(yes ? MessageService::Answer::Yes : MessageService::Answer::No);
    form->close();
    const int questions = int(env.messages.questions().size());
    if (asked && questions != 1)
        problem = QStringLiteral("closing with edits asked %1 questions").arg(questions);
    if (!asked && questions != 0)
        problem = QStringLiteral("closing without edits asked a question");
    if (questions == 1 && yes)
        commit();
    pending.clear();
    form.reset();
    env.messages.clear();
    if (const QString started = start(); problem.isEmpty())
        problem = started;
    return QStringLiteral("close, %1; start again").arg(questions ? (yes ? QStringLiteral("Yes") : QStringLiteral("No")) : QStringLiteral("no question"));
}

// Another copy of the program changes a field the user cannot have touched
// here: the user's edits of other fields merge with it without a question.
QString Afternoon::anotherWindowWrites()
{
    const QList<qint64> all = keys();
    if (all.isEmpty())
        return QStringLiteral("no contact for another window");
    const qint64 id = all[pick(int(all.size()))];
    const int fields[] = {ContactField::City, ContactField::Country, ContactField::Region, ContactField::Notes};
    // On the contact shown here only Region, which no box shows: a field
    // the user could still type into would rightly bring the question.
    const int field = id == current ? int(ContactField::Region) : fields[pick(4)];
    const QString value = kWords[pick(int(kWords.size()))] + kPastes[pick(int(kPastes.size()))];
    QSqlQuery update(db);
    update.prepare(QStringLiteral("UPDATE Contacts SET %1 = ? WHERE ContactID = ?").arg(contactFieldNames()[field]));
    update.addBindValue(value);
    update.addBindValue(id);
    if (!update.exec())
        problem = QStringLiteral("the other window's write failed");
    expected[QStringLiteral("Contacts:%1").arg(id)][field] = quoted(value);
    return QStringLiteral("another window sets %1 of contact %2").arg(contactFieldNames()[field]).arg(id);
}

void MainWindowModelTest::randomAfternoon_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<quint32>("seed");
    const QString only = qEnvironmentVariable("CORVANTA_LOCALE");
    const int count = envNumber("CORVANTA_SEED_COUNT", 1);
    const QList<std::pair<QString, quint32>> locales = {{"en_US", 1208}, {"en_GB", 2412}, {"de_DE", 3616}};
    for (const auto &[locale, fallback] : locales) {
        if (!only.isEmpty() && only != locale)
            continue;
        const quint32 first = quint32(envNumber("CORVANTA_SEED", int(fallback)));
        for (int index = 0; index < count; ++index)
            QTest::newRow(qPrintable(QStringLiteral("%1 seed %2").arg(locale).arg(first + index))) << locale << first + index;
    }
}

void MainWindowModelTest::randomAfternoon()
{
    QFETCH(QString, locale);
    QFETCH(quint32, seed);
    const QString problem = run(locale, seed, envNumber("CORVANTA_ACTIONS", 300));
    if (!problem.isEmpty())
        QFAIL(qPrintable(problem));
}

QString MainWindowModelTest::run(const QString &localeName, quint32 seed, int actions)
{
    QLocale::setDefault(QLocale(localeName));
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    HardContacts::seed(db);
    Afternoon afternoon(env, db, seed);
    afternoon.believe(HardContacts::snapshot(db),
                      TestData::scalar(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'Contacts'")).toLongLong());
    QString outcome;
    outcome = afternoon.start();
    for (int number = 1; outcome.isEmpty() && number <= actions; ++number)
        outcome = afternoon.act(number);
    afternoon.log = afternoon.log.mid(qMax(0, int(afternoon.log.size()) - 25));
    TestData::close(db);
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    if (outcome.isEmpty())
        return {};
    return QStringLiteral("%1\nlocale %2, seed %3 (replay: CORVANTA_LOCALE=%2 CORVANTA_SEED=%3 CORVANTA_ACTIONS=%4)\n"
                          "last actions:\n%5")
        .arg(outcome, localeName)
        .arg(seed)
        .arg(actions)
        .arg(afternoon.log.join(QLatin1Char('\n')));
}

QTEST_MAIN(MainWindowModelTest)
#include "tst_mainwindow_model.moc"
