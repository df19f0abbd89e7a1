#include "Theme.h"

#include "CursorFile.h"

#include "AppIcon.h"
#include "base/Paths.h"
#include "Trap.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

namespace {
bool isColouredKind(const QWidget *widget)
{
    return qobject_cast<const QCheckBox *>(widget) || qobject_cast<const QRadioButton *>(widget)
        || qobject_cast<const QGroupBox *>(widget) || qobject_cast<const QLabel *>(widget)
        || qobject_cast<const QPushButton *>(widget);
}

// Colours the window and its caption-like controls; each control is its own
// step so that one failing control does not stop the others.
void whitenWindow(Trap &trap, QWidget *window, int windowStep, int controlStep)
{
    trap.step(windowStep, [&] { makeWhite(window); });
    const auto children = window->findChildren<QWidget *>();
    for (QWidget *child : children) {
        if (!isColouredKind(child))
            continue;
        trap.step(controlStep, [&] { makeWhite(child); });
    }
}
} // namespace

void makeWhite(QWidget *widget)
{
    // Text drawn on the white background stays dark whatever the desktop's
    // colour scheme gives; other roles (text boxes, lists) keep their own.
    static const QColor text(Qt::black);
    static const QColor disabledText(0x6d, 0x6d, 0x6d); // still 5:1 on white
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
    if (qobject_cast<QAbstractButton *>(widget)) {
        // Buttons fill their background with the button colour.
        palette.setColor(QPalette::Button, Qt::white);
        palette.setColor(QPalette::ButtonText, text);
        palette.setColor(QPalette::Disabled, QPalette::ButtonText, disabledText);
    }
    if (qobject_cast<QCheckBox *>(widget) || qobject_cast<QRadioButton *>(widget)) {
        // The box or circle and its mark.
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::Text, text);
        palette.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    }
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QString skinFilePath()
{
    return programFolder() + QStringLiteral("/x/o1.cjs");
}

QString handCursorPath()
{
    return programFolder() + QStringLiteral("/HAND-M.CUR");
}

void ApplyCodeJockWhite(QWidget *mainWindow)
{
    Trap trap(mainWindow, QStringLiteral("Main"), QStringLiteral("ApplyCodeJockWhite"));
    // Windows made without the program's main() (tools, tests) still get the icon.
    installApplicationIcon();
    if (!trap.test(100, [] { return QFile::exists(skinFilePath()); }))
        return;
    whitenWindow(trap, mainWindow, 102, 106);
    trap.step(118, [&]() -> Status {
        QFile skin(skinFilePath());
        if (!skin.open(QIODevice::ReadOnly | QIODevice::Text))
            return failure(skin.errorString());
        mainWindow->setStyleSheet(QString::fromUtf8(skin.readAll()));
        return {};
    });
}

void ApplyFormColorWhite(QWidget *window)
{
    Trap trap(window, QStringLiteral("Main"), QStringLiteral("ApplyFormColorWhite"));
    installApplicationIcon();
    whitenWindow(trap, window, 100, 104);
}

bool loadHandCursor(QCursor *cursor)
{
    if (!QFile::exists(handCursorPath()))
        return false;
    QImageReader reader(handCursorPath());
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    QFile file(handCursorPath());
    const QPoint hotspot = file.open(QIODevice::ReadOnly) ? cursorFileHotspot(file.read(64)) : QPoint();
    *cursor = QCursor(QPixmap::fromImage(image), hotspot.x(), hotspot.y());
    return true;
}

void applyHandCursor(QWidget *window, const QList<QWidget *> &extraWidgets)
{
    QCursor hand;
    if (!loadHandCursor(&hand))
        return;
    const auto buttons = window->findChildren<QPushButton *>();
    for (QPushButton *button : buttons)
        button->setCursor(hand);
    for (QWidget *widget : extraWidgets)
        widget->setCursor(hand);
}
