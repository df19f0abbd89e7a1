#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "frame/AppIcon.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

namespace {
bool carriesApplicationIcon(const QWidget *window)
{
    const QIcon icon = window->windowIcon();
    if (icon.isNull())
        return false;
    const QImage small = icon.pixmap(QSize(16, 16)).toImage();
    const QImage large = icon.pixmap(QSize(256, 256)).toImage();
    // The card's white face sits in the middle of every size.
    return small.width() == 16 && large.width() == 256 && QColor(large.pixel(200, 200)) == QColor(Qt::white);
}
} // namespace

class DesktopTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void iconHasEverySize();
    void everyWindowCarriesTheIcon_data();
    void everyWindowCarriesTheIcon();
    void messageBoxCarriesTheIcon();
    void windowManagerReceivesTheIcon();

private:
    IsolatedEnvironment env;
};

void DesktopTest::iconHasEverySize()
{
    const QIcon icon = applicationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // Transparent corners, an opaque card.
        QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(image.pixel(size / 2, size / 2)), 255);
    }
}

void DesktopTest::everyWindowCarriesTheIcon_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::newRow("contact types") << "PushButton5" << "Contact Types";
    QTest::newRow("reports") << "PushButton6" << "Reports";
    QTest::newRow("search") << "PushButton8" << "Search";
    QTest::newRow("labels") << "PushButton9" << "";
    QTest::newRow("backup") << "PushButton10" << "";
}

void DesktopTest::everyWindowCarriesTheIcon()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    Form1 main;
    QVERIFY(showActive(&main));
    QVERIFY(carriesApplicationIcon(&main));
    bool checked = false;
    whileModal([&](QDialog *dialog) {
        checked = true;
        if (!title.isEmpty())
            QVERIFY2(dialog->windowTitle().startsWith(title), qPrintable(dialog->windowTitle()));
        QVERIFY2(carriesApplicationIcon(dialog), qPrintable(dialog->windowTitle()));
    });
    QTest::mouseClick(child<QPushButton>(&main, button), Qt::LeftButton);
    QVERIFY(checked);
}

void DesktopTest::messageBoxCarriesTheIcon()
{
    Form1 main;
    QMessageBox box(QMessageBox::NoIcon, QString(), QStringLiteral("Ann's card\tsaved."), QMessageBox::Ok, &main);
    QVERIFY(carriesApplicationIcon(&box));
}

void DesktopTest::windowManagerReceivesTheIcon()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("the window manager's icon property exists only on X11");
    Form1 main;
    QVERIFY(showActive(&main));
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {"-id", QString::number(main.winId()), "_NET_WM_ICON"});
    QVERIFY(xprop.waitForFinished(10000));
    const QString answer = QString::fromLocal8Bit(xprop.readAllStandardOutput());
    QVERIFY2(answer.contains(QLatin1String("Icon (16 x 16)")), qPrintable(answer.left(200)));
    QVERIFY2(answer.contains(QLatin1String("Icon (48 x 48)")), qPrintable(answer.left(200)));
}

QTEST_MAIN(DesktopTest)
#include "tst_desktop.moc"
