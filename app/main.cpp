#include "cli/CommandLine.h"
#include "contacts/Form1.h"
#include "exchange/ContactExchangeMenu.h"
#include "frame/AppIcon.h"

#include <QApplication>
#include <QGuiApplication>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (isCommandLineRequest(arguments)) {
        // Commands need fonts for the reports but never a display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        QGuiApplication app(argc, argv);
        QGuiApplication::setOrganizationName(QStringLiteral("Quillmark"));
        QGuiApplication::setApplicationName(QStringLiteral("Corvanta"));
        return runCommandLineOnConsole(arguments);
    }

    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QStringLiteral("Corvanta"));
    QApplication::setQuitOnLastWindowClosed(true);
    installApplicationIcon();

    Form1 window;
    window.show();
    exchange::ContactExchangeMenu::importAtStart(&window, arguments);
    return app.exec();
}
