#include "contacts/Form1.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Quillmark"));
    QApplication::setApplicationName(QStringLiteral("Corvanta"));
    QApplication::setQuitOnLastWindowClosed(true);

    Form1 window;
    window.show();
    return app.exec();
}
