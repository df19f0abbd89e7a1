#include "AppIcon.h"

#include <QApplication>

// The resource file is compiled into a static library, so it has to be
// registered by name before its first use.
static void registerIconResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(corvanta);
        return true;
    }();
    (void)registered;
}

QIcon applicationIcon()
{
    registerIconResources();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/corvanta/icons/corvanta-%1.png").arg(size), QSize(size, size));
    return icon;
}

void installApplicationIcon()
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    if (QApplication::windowIcon().availableSizes().contains(QSize(256, 256)))
        return;
    QApplication::setWindowIcon(applicationIcon());
}
