#include "DialogFrame.h"

#include "Theme.h"

#include <QApplication>
#include <QDialog>
#include <QScreen>

void setUpDialogFrame(QDialog *dialog, const QSize &clientSize)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                           | Qt::WindowCloseButtonHint);
    dialog->setFixedSize(clientSize);
    dialog->setWindowIcon(QApplication::windowIcon());
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        dialog->move(area.center() - QPoint(clientSize.width() / 2, clientSize.height() / 2));
    }
}
