#include "MainWindowShortcuts.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QPointer>
#include <QShortcut>
#include <QWidget>

namespace {
// Acts as a mouse click on the button: the focus moves to it first, so that
// the box being edited hands over its text as on a click, then it is clicked.
void clickLikeTheMouse(QAbstractButton *button)
{
    if (!button || !button->isEnabled() || !button->isVisible())
        return;
    if (button->focusPolicy() & Qt::ClickFocus)
        button->setFocus(Qt::MouseFocusReason);
    button->click();
}

void bindToButton(QWidget *form, const QKeySequence &keys, const char *buttonName)
{
    QPointer<QAbstractButton> button = form->findChild<QAbstractButton *>(QLatin1String(buttonName));
    if (!button)
        return;
    auto *shortcut = new QShortcut(keys, form);
    shortcut->setObjectName(QStringLiteral("Shortcut%1").arg(QLatin1String(buttonName)));
    QObject::connect(shortcut, &QShortcut::activated, button, [button] { clickLikeTheMouse(button); });
}
} // namespace

void installMainWindowShortcuts(QWidget *form)
{
    bindToButton(form, QKeySequence(Qt::CTRL | Qt::Key_F), "PushButton8");
    bindToButton(form, QKeySequence(Qt::CTRL | Qt::Key_N), "PushButton4");
    bindToButton(form, QKeySequence(Qt::CTRL | Qt::Key_S), "PushButton7");

    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::Key_Q), QKeySequence(Qt::CTRL | Qt::Key_W)}) {
        auto *shortcut = new QShortcut(keys, form);
        QObject::connect(shortcut, &QShortcut::activated, form, [form] { form->close(); });
    }

    // Delete acts only while the contact list has the focus; the focus stays there.
    if (auto *list = form->findChild<QWidget *>(QStringLiteral("ListView1"))) {
        QPointer<QAbstractButton> deleteButton = form->findChild<QAbstractButton *>(QStringLiteral("PushButton3"));
        auto *shortcut = new QShortcut(QKeySequence(QKeySequence::Delete), list, nullptr, nullptr, Qt::WidgetShortcut);
        QObject::connect(shortcut, &QShortcut::activated, list, [deleteButton] {
            if (deleteButton && deleteButton->isEnabled())
                deleteButton->click();
        });
    }
}
