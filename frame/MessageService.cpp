#include "MessageService.h"

#include "AppTitle.h"
#include "ErrorReport.h"

#include <QApplication>
#include <QMessageBox>

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
