#include "cli/CommandLine.h"
#include "contacts/Form1.h"
#include "exchange/ContactExchangeMenu.h"
#include "frame/AppIcon.h"
#include "frame/DisplayPlatform.h"
#include "reports/Printers.h"

#include <QApplication>
#include <QGuiApplication>
#include <QProcessEnvironment>
#include <cstdio>

namespace {
QtMessageHandler g_qtMessages = nullptr;

// A command prints only its own messages: Qt's note that XDG_RUNTIME_DIR is
// not set (root shells, cron) is not one of them.
void commandMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg && message.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (g_qtMessages)
        g_qtMessages(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(message));
}
} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    if (isCommandLineRequest(arguments)) {
        // Commands need fonts for the reports but never a display, whatever
        // QT_QPA_PLATFORM says; Qt sees none of the command's arguments.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        g_qtMessages = qInstallMessageHandler(commandMessages);
        int qtArgc = 1;
        QGuiApplication app(qtArgc, argv);
        QGuiApplication::setOrganizationName(QStringLiteral("Quillmark"));
        QGuiApplication::setApplicationName(QStringLiteral("Corvanta"));
        return runCommandLineOnConsole(arguments);
    }

    // Qt aborts when its platform cannot start; say why instead.
    const WindowPlatform platform = chooseWindowPlatform(QProcessEnvironment::systemEnvironment());
    if (platform.platform.isEmpty()) {
        std::fprintf(stderr,
                     "corvanta: cannot open the windows: %s.\n"
                     "The commands work without a display; see corvanta --help.\n",
                     qPrintable(platform.problem));
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", platform.platform.toLocal8Bit());
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QStringLiteral("Corvanta"));
    // Lets the desktop match the windows to the installed .desktop file.
    QApplication::setDesktopFileName(QStringLiteral("com.quillmark.Corvanta"));
    QApplication::setQuitOnLastWindowClosed(true);
    installApplicationIcon();
    // A copy that ended with a report open may have left the printer's options changed.
    Printers::recoverPrinterOptions();

    Form1 window;
    window.show();
    exchange::ContactExchangeMenu::importAtStart(&window, arguments);
    return app.exec();
}
