#include "MessageService.h"

#include "AppTitle.h"
#include "ErrorReport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace {
MessageService *g_service = nullptr;

QWidget *dialogParent(QWidget *parent)
{
    return parent ? parent : QApplication::activeWindow();
}
} // namespace

MessageService &MessageService::instance()
{
    static DialogMessageService dialogs;
    return g_service ? *g_service : dialogs;
}

int MessageService::choose(QWidget *, const QString &, const QString &, const QStringList &, int, int escape)
{
    return escape;
}

void MessageService::setInstance(MessageService *service)
{
    g_service = service;
}

MessageService::Answer DialogMessageService::question(QWidget *parent, const QString &title,
                                                      const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Yes | QMessageBox::No,
                    dialogParent(parent));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void DialogMessageService::information(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok,
                    dialogParent(parent));
    box.exec();
}

void DialogMessageService::applicationError(QWidget *parent, const QString &text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationErrorTitle), text,
                    QMessageBox::Ok, dialogParent(parent));
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

int DialogMessageService::choose(QWidget *parent, const QString &title, const QString &text,
                                 const QStringList &buttons, int preferred, int escape)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::NoButton, dialogParent(parent));
    QList<QAbstractButton *> added;
    for (const QString &caption : buttons)
        added << box.addButton(caption, QMessageBox::ActionRole);
    if (preferred >= 0 && preferred < added.size())
        box.setDefaultButton(qobject_cast<QPushButton *>(added[preferred]));
    if (escape >= 0 && escape < added.size())
        box.setEscapeButton(added[escape]);
    box.exec();
    const int chosen = int(added.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : escape;
}
