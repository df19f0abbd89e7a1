#include "support/TestSupport.h"

#include "frame/AppTitle.h"
#include "frame/ErrorReport.h"
#include "frame/CursorFile.h"
#include "frame/Theme.h"
#include "base/Paths.h"
#include "frame/Settings.h"
#include "frame/Trap.h"

#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

class FrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { env.messages.clear(); }

    void applicationTitle_data();
    void applicationTitle();
    void normalizePath_data();
    void normalizePath();
    void errorText();
    void trapReportsEachFailingStepAndGoesOn();
    void failedTestRunsThenBranch();
    void failedConfirmationGuardsNothing();
    void settingsKeysAndDefaults();
    void dataFolderFollowsXdg();
    void realQuestionBoxAnswersNoOnEnter();
    void realBoxesCarryTheirTitlesAndIcons();
    void handCursorTakesTheHotspotOfTheFile();
    void guardedHandlerReportsAndNothingEscapes();

private:
    IsolatedEnvironment env;
};

void FrameTest::applicationTitle_data()
{
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("title");
    QTest::newRow("no blank keeps the name") << "Corvanta" << "Corvanta";
    QTest::newRow("four short words give three") << "Quillmark Contact Manager Deluxe"
                                                 << "Quillmark Contact Manager";
    QTest::newRow("five words, four too long")
        << "Quillmark Corporation Contact Management Professional Edition"
        << "Quillmark Corporation Contact Management";
    QTest::newRow("cut repeats while longer than 40")
        << "Averyveryverylongwordthatisreallylong Anotherlongword Third Fourth"
        << "Averyveryverylongwordthatisreallylong";
}

void FrameTest::applicationTitle()
{
    QFETCH(QString, product);
    QFETCH(QString, title);
    QCOMPARE(appTitleFor(product), title);
}

void FrameTest::normalizePath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("normalized");
    QTest::newRow("doubled separators collapse") << "/home//user//Desktop//" << "//home/user/Desktop/";
    QTest::newRow("relative path with doubles") << "data//backup//x" << "data/backup/x";
    QTest::newRow("four leading give exactly two") << "////server//share" << "//server/share";
    QTest::newRow("one leading gives two") << "/server/share" << "//server/share";
    QTest::newRow("triple collapses pairwise in one pass") << "a///b" << "a//b";
    QTest::newRow("empty") << "" << "";
}

void FrameTest::normalizePath()
{
    QFETCH(QString, path);
    QFETCH(QString, normalized);
    QCOMPARE(NormalizePath(path), normalized);
    // The same rules hold on the backslash.
    QString windowsPath = path;
    QString windowsExpected = normalized;
    QCOMPARE(NormalizePath(windowsPath.replace('/', '\\'), QLatin1Char('\\')),
             windowsExpected.replace('/', '\\'));
}

void FrameTest::errorText()
{
    const QString text = applicationErrorText(QStringLiteral("Disk full"),
                                              qualifiedProcedureName("Form1", "Form_Load"), 104);
    QCOMPARE(text, QStringLiteral("Disk full\r\nin Corvanta2021/08/31.Form1.Form_Load at line 104\r\r"
                                  "Please email screenshot of this message to support@quillmark.com"));
}

void FrameTest::trapReportsEachFailingStepAndGoesOn()
{
    QStringList ran;
    Trap trap(nullptr, "Form1", "PushButton7_Click");
    trap.step(100, [&]() -> Status { return failure("first failure"); });
    trap.step(102, [&] { ran << "102"; });
    trap.step(104, [&]() -> Status { throw std::runtime_error("second failure"); });
    trap.step(106, [&] { ran << "106"; });
    QCOMPARE(ran, QStringList({"102", "106"}));
    const QStringList errors = env.messages.errors();
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[0].startsWith("first failure\r\nin Corvanta2021/08/31.Form1.PushButton7_Click at line 100\r\r"));
    QVERIFY(errors[1].startsWith("second failure\r\nin Corvanta2021/08/31.Form1.PushButton7_Click at line 104\r\r"));
    QCOMPARE(env.messages.shown[0].title, QStringLiteral("Application Error"));
    QCOMPARE(trap.failures(), 2);
}

void FrameTest::failedTestRunsThenBranch()
{
    Trap trap(nullptr, "Form1", "Form_QueryUnload");
    bool thenBranch = false;
    if (trap.test(100, []() -> Result<bool> { return failure("no current record"); }))
        thenBranch = true;
    QVERIFY(thenBranch);
    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY(env.messages.errors()[0].contains("Form_QueryUnload at line 100"));
    QVERIFY(!trap.test(102, [] { return false; }));
}

void FrameTest::failedConfirmationGuardsNothing()
{
    Trap trap(nullptr, "Form1", "PushButton3_Click");
    QVERIFY(!trap.confirm(100, []() -> Result<bool> { return failure("cannot ask"); }));
    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY(trap.confirm(100, [] { return true; }));
    QVERIFY(!trap.confirm(100, [] { return false; }));
}

void FrameTest::settingsKeysAndDefaults()
{
    QCOMPARE(labelSettingKey(0), QStringLiteral("Label 0"));
    QCOMPARE(labelSettingKey(27), QStringLiteral("Label 27"));
    QCOMPARE(GetSetting("Label 5"), QString());
    QCOMPARE(GetSetting("Option1", "1"), QStringLiteral("1"));
    SaveSetting("Label 5", "Office:");
    SaveSetting("Option2", "True");
    QCOMPARE(GetSetting("Label 5"), QStringLiteral("Office:"));
    QVERIFY(settingAsBool(GetSetting("Option2", "0")));
    QVERIFY(settingAsBool("1"));
    QVERIFY(!settingAsBool("0"));
    QVERIFY(!settingAsBool("False"));
    // Stored under organisation Quillmark, application Corvanta, group Corvanta.
    QSettings raw(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    QCOMPARE(raw.value("Corvanta/Label 5").toString(), QStringLiteral("Office:"));
    QVERIFY(raw.fileName().startsWith(env.root()));
}

void FrameTest::dataFolderFollowsXdg()
{
    QCOMPARE(dataFolder(), env.root() + "/data/Quillmark/Corvanta");
    QCOMPARE(liveDatabasePath(), env.root() + "/data/Quillmark/Corvanta/dbData.sqlite");
    QVERIFY(!FileExists(liveDatabasePath()));
    QVERIFY(FileExists(env.root()));
}

namespace {
// Acts on the next modal box once it is shown.
void whenBoxShows(const std::function<void(QMessageBox *)> &act)
{
    QTimer::singleShot(0, [act] {
        QMessageBox *box = nullptr;
        (void)QTest::qWaitFor([&] { return (box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) != nullptr; });
        if (box)
            act(box);
    });
}
} // namespace

void FrameTest::realQuestionBoxAnswersNoOnEnter()
{
    DialogMessageService dialogs;
    QString title;
    whenBoxShows([&](QMessageBox *box) {
        title = box->windowTitle();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(dialogs.question(nullptr, "Question", "Do you really want to delete this Contact ?"),
             MessageService::Answer::No);
    QCOMPARE(title, QStringLiteral("Question"));
    whenBoxShows([](QMessageBox *box) { box->button(QMessageBox::Yes)->click(); });
    QCOMPARE(dialogs.question(nullptr, "Question", "Sure?"), MessageService::Answer::Yes);
}

void FrameTest::realBoxesCarryTheirTitlesAndIcons()
{
    DialogMessageService dialogs;
    QString title;
    QMessageBox::Icon icon = QMessageBox::Critical;
    whenBoxShows([&](QMessageBox *box) {
        title = box->windowTitle();
        icon = box->icon();
        QTest::keyClick(box, Qt::Key_Return);
    });
    dialogs.information(nullptr, "Done.");
    QCOMPARE(title, ::applicationTitle());
    QCOMPARE(icon, QMessageBox::NoIcon);
    whenBoxShows([&](QMessageBox *box) {
        title = box->windowTitle();
        icon = box->icon();
        QTest::keyClick(box, Qt::Key_Return);
    });
    dialogs.applicationError(nullptr, "boom");
    QCOMPARE(title, QStringLiteral("Application Error"));
    QCOMPARE(icon, QMessageBox::Warning);
}

namespace {
// A 32 x 32 Windows cursor file, 32 bits a pixel, with the hotspot given.
QByteArray cursorFile(quint16 x, quint16 y)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::LittleEndian);
    const quint32 imageSize = 40 + 32 * 32 * 4 + 32 * 4;
    out << quint16(0) << quint16(2) << quint16(1);                              // ICONDIR
    out << quint8(32) << quint8(32) << quint8(0) << quint8(0) << x << y << imageSize << quint32(22);
    out << quint32(40) << qint32(32) << qint32(64) << quint16(1) << quint16(32) // BITMAPINFOHEADER
        << quint32(0) << quint32(32 * 32 * 4) << qint32(0) << qint32(0) << quint32(0) << quint32(0);
    for (int pixel = 0; pixel < 32 * 32; ++pixel)
        out << quint32(0xff000000);
    for (int row = 0; row < 32; ++row)
        out << quint32(0);
    return data;
}
} // namespace

void FrameTest::handCursorTakesTheHotspotOfTheFile()
{
    QCOMPARE(cursorFileHotspot(cursorFile(5, 9)), QPoint(5, 9));
    QCOMPARE(cursorFileHotspot(QByteArray("not a cursor at all, just some text")), QPoint(0, 0));
    QFile file(env.programDir() + QStringLiteral("/HAND-M.CUR"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(cursorFile(11, 3));
    file.close();
    QWidget window;
    auto *button = new QPushButton(QStringLiteral("Go"), &window);
    applyHandCursor(&window);
    QCOMPARE(button->cursor().shape(), Qt::BitmapCursor);
    QCOMPARE(button->cursor().hotSpot(), QPoint(11, 3));
    QFile::remove(file.fileName());
}

void FrameTest::guardedHandlerReportsAndNothingEscapes()
{
    QWidget window;
    auto *source = new QPushButton(QStringLiteral("Go"), &window);
    int ran = 0;
    connect(source, &QPushButton::pressed, &window, guarded(&window, "Form1", "ListView1_Click", [&]() -> Status {
                ++ran;
                return failure(QStringLiteral("database is locked"));
            }));
    connect(source, &QPushButton::pressed, &window, guarded(&window, "Form1", "Text1_LostFocus", [&] {
                ++ran;
                throw std::runtime_error("Zeichen ä");
            }));
    QTest::mouseClick(source, Qt::LeftButton);
    QCOMPARE(ran, 2);
    const QStringList errors = env.messages.errors();
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[0].startsWith("database is locked\r\nin Corvanta2021/08/31.Form1.ListView1_Click at line 100\r\r"));
    QVERIFY(errors[1].startsWith(QStringLiteral("Zeichen ä\r\nin Corvanta2021/08/31.Form1.Text1_LostFocus at line 100")));
}

QTEST_MAIN(FrameTest)
#include "tst_frame.moc"
