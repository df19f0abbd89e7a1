#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "store/Database.h"
#include "base/Paths.h"
#include "frame/Theme.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

class ThemeTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.reset(); }

    void mainWindowKeepsItsColoursWithoutSkin();
    void skinFileWhitensAndStylesMainWindow();
    void secondaryWindowsAreAlwaysWhite();
    void handCursorOnlyWithCursorFile();
    void connectionStringNamesTheLiveDatabase();

private:
    IsolatedEnvironment env;
};

void ThemeTest::mainWindowKeepsItsColoursWithoutSkin()
{
    Form1 form;
    QLabel *caption = form.fieldLabel(0);
    QVERIFY(!caption->autoFillBackground());
    QVERIFY(form.styleSheet().isEmpty());
    // The banner is white in any case.
    QCOMPARE(form.findChild<QLabel *>("FullName1")->palette().color(QPalette::Window), QColor(Qt::white));
    QVERIFY(env.messages.errors().isEmpty());
}

void ThemeTest::skinFileWhitensAndStylesMainWindow()
{
    QDir(env.programDir()).mkpath("x");
    QFile skin(env.programDir() + "/x/o1.cjs");
    QVERIFY(skin.open(QIODevice::WriteOnly));
    skin.write("QPushButton { font-weight: bold; }");
    skin.close();
    Form1 form;
    QCOMPARE(form.styleSheet(), QStringLiteral("QPushButton { font-weight: bold; }"));
    QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    for (int index = 0; index < 28; ++index) {
        QLabel *caption = form.fieldLabel(index);
        QVERIFY(caption->autoFillBackground());
        QCOMPARE(caption->palette().color(QPalette::Window), QColor(Qt::white));
    }
    auto *save = form.findChild<QPushButton *>("PushButton7");
    QCOMPARE(save->palette().color(QPalette::Button), QColor(Qt::white));
}

void ThemeTest::secondaryWindowsAreAlwaysWhite()
{
    QDialog dialog;
    auto *label = new QLabel("Caption", &dialog);
    auto *button = new QPushButton("Close", &dialog);
    ApplyFormColorWhite(&dialog);
    QCOMPARE(dialog.palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(label->palette().color(QPalette::Window), QColor(Qt::white));
    QCOMPARE(button->palette().color(QPalette::Button), QColor(Qt::white));
}

void ThemeTest::handCursorOnlyWithCursorFile()
{
    {
        Form1 form;
        QCOMPARE(form.findChild<QPushButton *>("PushButton7")->cursor().shape(), Qt::ArrowCursor);
    }
    QImage hand(32, 32, QImage::Format_ARGB32);
    hand.fill(Qt::black);
    QVERIFY(hand.save(env.programDir() + "/HAND-M.CUR", "PNG"));
    Form1 form;
    QCOMPARE(form.findChild<QPushButton *>("PushButton7")->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(form.findChild<QWidget *>("dcbContactType")->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(form.findChild<QWidget *>("Text1_0")->cursor().shape(), Qt::IBeamCursor);
}

void ThemeTest::connectionStringNamesTheLiveDatabase()
{
    QCOMPARE(GetConnectionString(), "Driver=QSQLITE;Data Source=" + liveDatabasePath());
    QCOMPARE(GetConnectionString("/tmp/other.sqlite"), QStringLiteral("Driver=QSQLITE;Data Source=/tmp/other.sqlite"));
}

QTEST_MAIN(ThemeTest)
#include "tst_theme.moc"
