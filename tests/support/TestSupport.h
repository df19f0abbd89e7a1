#pragma once

#include "frame/MessageService.h"

#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <QVariantMap>
#include <functional>

// Answers the program's boxes in tests and records what they said.
class ScriptedMessages : public MessageService {
public:
    struct Shown {
        enum Kind { Question, Information, Error } kind;
        QString title;
        QString text;
    };

    Answer question(QWidget *parent, const QString &title, const QString &text) override;
    void information(QWidget *parent, const QString &text) override;
    void applicationError(QWidget *parent, const QString &text) override;
    // Recorded as a Question whose title is followed by the buttons, one a line.
    int choose(QWidget *parent, const QString &title, const QString &text, const QStringList &buttons,
               int preferred, int escape) override;

    // Answers for the next choices (button captions), in order; without one
    // a choice gets its escape button.
    void chooseNext(const QString &button) { m_choices << button; }
    // Answers for the next questions, in order; without one, a question gets
    // the default answer No.
    void answerNext(Answer answer) { m_answers << answer; }
    // Runs while a question is shown (for example to break the database).
    std::function<void()> onQuestion;

    QList<Shown> shown;
    QStringList texts(Shown::Kind kind) const;
    QStringList errors() const { return texts(Shown::Error); }
    QStringList informations() const { return texts(Shown::Information); }
    QStringList questions() const { return texts(Shown::Question); }
    void clear() { shown.clear(); m_answers.clear(); m_choices.clear(); }

private:
    QList<Answer> m_answers;
    QStringList m_choices;
};

// Points the data folder, the settings store and the program folder at fresh
// temporary folders. Create it before the program's first window.
class IsolatedEnvironment {
public:
    IsolatedEnvironment();
    ~IsolatedEnvironment();

    QString root() const { return m_root.path(); }
    QString programDir() const { return m_root.path() + QStringLiteral("/program"); }
    // Removes the data folder and the settings so that the next window starts afresh.
    void reset();

    ScriptedMessages messages;

private:
    QTemporaryDir m_root;
};

// Shows the window and waits until it is the active window, so that focus
// moves as a user sees it (also on a real X server).
bool showActive(QWidget *window);

// The control of a window by its object name; the test stops when it is missing.
template <typename T = QWidget>
T *child(QWidget *window, const QString &name)
{
    T *widget = window->template findChild<T *>(name);
    if (!widget)
        qFatal("no control %s", qPrintable(name));
    return widget;
}

// Clicks a row of the main window's contact list.
void clickListRow(QWidget *mainWindow, int row);

// Acts on the modal window that the next call opens, then closes it, so that
// a failing check can never leave the test waiting on exec().
void whileModal(const std::function<void(class QDialog *)> &action);

// Helpers that fill the live database through a connection of the test's own.
namespace TestData {
// Creates the live database with the schema when it does not exist yet.
// Opens a database file on a connection of its own (WAL, busy timeout).
QSqlDatabase openFile(const QString &path, bool createIfMissing = false);
QSqlDatabase openLive();
void close(QSqlDatabase &db);
qint64 addType(QSqlDatabase &db, const QString &name);
qint64 addContact(QSqlDatabase &db, const QVariantMap &fields);
qint64 addCall(QSqlDatabase &db, qint64 contactId, const QString &date, const QString &time,
               const QString &subject, const QVariant &notes = QVariant());
QVariant scalar(QSqlDatabase &db, const QString &sql, const QVariantList &values = {});
}
