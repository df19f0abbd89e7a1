#include "TestSupport.h"

#include "store/Schema.h"
#include "base/Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QApplication>
#include <QDialog>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <cstdlib>

MessageService::Answer ScriptedMessages::question(QWidget *, const QString &title, const QString &text)
{
    shown.append({Shown::Question, title, text});
    if (onQuestion)
        onQuestion();
    return m_answers.isEmpty() ? Answer::No : m_answers.takeFirst();
}

int ScriptedMessages::choose(QWidget *, const QString &title, const QString &text, const QStringList &buttons,
                             int, int escape)
{
    shown.append({Shown::Question, title + QLatin1Char('\n') + buttons.join(QLatin1Char('\n')), text});
    if (onQuestion)
        onQuestion();
    if (m_choices.isEmpty())
        return escape;
    const int chosen = int(buttons.indexOf(m_choices.takeFirst()));
    return chosen >= 0 ? chosen : escape;
}

void ScriptedMessages::information(QWidget *, const QString &text)
{
    shown.append({Shown::Information, QString(), text});
}

void ScriptedMessages::applicationError(QWidget *, const QString &text)
{
    shown.append({Shown::Error, QStringLiteral("Application Error"), text});
}

QStringList ScriptedMessages::texts(Shown::Kind kind) const
{
    QStringList result;
    for (const Shown &entry : shown) {
        if (entry.kind == kind)
            result << entry.text;
    }
    return result;
}

namespace {
// Settings are still written while the program ends (Qt's file dialog
// state, settings kept for the whole run), after the temporary folder is
// gone: it is removed once more at the very end, so that no run leaves a
// folder behind for the next one's file dialogs to offer.
QStringList &rootsToRemoveAtExit()
{
    static QStringList roots;
    return roots;
}

void removeRootsAtExit()
{
    for (const QString &root : std::as_const(rootsToRemoveAtExit()))
        QDir(root).removeRecursively();
}
} // namespace

IsolatedEnvironment::IsolatedEnvironment()
{
    // The list first, so that it outlives the handler registered after it.
    QStringList &roots = rootsToRemoveAtExit();
    static const bool registered = [] { return std::atexit(removeRootsAtExit) == 0; }();
    Q_UNUSED(registered);
    roots << m_root.path();
    QDir(m_root.path()).mkpath(QStringLiteral("data"));
    QDir(m_root.path()).mkpath(QStringLiteral("config"));
    QDir(m_root.path()).mkpath(QStringLiteral("program"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_root.path() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_root.path() + QStringLiteral("/config")));
    setProgramFolderOverride(programDir());
    MessageService::setInstance(&messages);
}

IsolatedEnvironment::~IsolatedEnvironment()
{
    MessageService::setInstance(nullptr);
    setProgramFolderOverride(QString());
}

void IsolatedEnvironment::reset()
{
    QDir(m_root.path() + QStringLiteral("/data")).removeRecursively();
    QDir(m_root.path() + QStringLiteral("/config")).removeRecursively();
    QDir(m_root.path() + QStringLiteral("/program")).removeRecursively();
    QDir(m_root.path()).mkpath(QStringLiteral("data"));
    QDir(m_root.path()).mkpath(QStringLiteral("config"));
    QDir(m_root.path()).mkpath(QStringLiteral("program"));
    messages.clear();
    messages.onQuestion = nullptr;
}

bool showActive(QWidget *window)
{
    window->show();
    if (!QTest::qWaitForWindowExposed(window))
        return false;
    window->activateWindow();
    window->raise();
    return QTest::qWaitForWindowActive(window);
}

void clickListRow(QWidget *mainWindow, int row)
{
    auto *list = child<QTableView>(mainWindow, QStringLiteral("ListView1"));
    const QRect rect = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void whileModal(const std::function<void(QDialog *)> &action)
{
    QTimer::singleShot(0, [action] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QFAIL("no modal window was opened");
            return;
        }
        action(dialog);
        dialog->reject();
    });
}

namespace TestData {
QSqlDatabase openFile(const QString &path, bool createIfMissing)
{
    static int counter = 0;
    if (!createIfMissing && !QFileInfo::exists(path))
        qFatal("missing database file %s", qPrintable(path));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-data-%1").arg(++counter));
    db.setDatabaseName(path);
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open())
        qFatal("cannot open %s: %s", qPrintable(path), qPrintable(db.lastError().text()));
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    return db;
}

QSqlDatabase openLive()
{
    QDir().mkpath(dataFolder());
    QSqlDatabase db = openFile(liveDatabasePath(), true);
    const Result<QStringList> statements = builtInSchema();
    if (!statements)
        qFatal("no schema: %s", qPrintable(statements.error().description));
    for (const QString &statement : *statements) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            qFatal("schema statement failed: %s", qPrintable(query.lastError().text()));
    }
    return db;
}

void close(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

qint64 addType(QSqlDatabase &db, const QString &name)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"));
    query.addBindValue(name);
    if (!query.exec())
        qFatal("addType: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

qint64 addContact(QSqlDatabase &db, const QVariantMap &fields)
{
    QStringList columns;
    QStringList marks;
    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        columns << it.key();
        marks << QStringLiteral("?");
    }
    QSqlQuery query(db);
    if (columns.isEmpty()) {
        query.prepare(QStringLiteral("INSERT INTO Contacts DEFAULT VALUES"));
    } else {
        query.prepare(QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)")
                          .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))));
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            query.addBindValue(it.value());
    }
    if (!query.exec())
        qFatal("addContact: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

qint64 addCall(QSqlDatabase &db, qint64 contactId, const QString &date, const QString &time,
               const QString &subject, const QVariant &notes)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) VALUES (?, ?, ?, ?, ?)"));
    query.addBindValue(contactId);
    query.addBindValue(date);
    query.addBindValue(time);
    query.addBindValue(subject);
    query.addBindValue(notes);
    if (!query.exec())
        qFatal("addCall: %s", qPrintable(query.lastError().text()));
    return query.lastInsertId().toLongLong();
}

QVariant scalar(QSqlDatabase &db, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(db);
    if (!query.prepare(sql))
        qFatal("scalar: %s", qPrintable(query.lastError().text()));
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        return QVariant();
    return query.value(0);
}
} // namespace TestData

namespace {
// A test run by hand, outside CTest, sees the same clock zone and platform as
// under CTest: dates in the fixtures are UTC, and without a display the
// widgets are drawn offscreen. The locale is left as the user has it; tests
// that check a format set their own.
const bool testProcessPrepared = [] {
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", "UTC");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
        && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    return true;
}();
} // namespace
