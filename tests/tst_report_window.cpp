#include "support/TestSupport.h"

#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"
#include "reports/Form3.h"
#include "reports/PreviewPages.h"
#include "reports/ReportPreview.h"
#include "reports/ReportRenderer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QFile>
#include <QFileDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

using namespace report;

namespace {

// Runs `handle` on the modal widget of type T once it is showing. Pending
// polls end with `context`.
template <typename T>
void whenModal(QObject *context, std::function<void(T *)> handle, int tries = 500)
{
    QTimer::singleShot(tries == 500 ? 0 : 10, context, [context, handle, tries] {
        if (T *widget = qobject_cast<T *>(QApplication::activeModalWidget())) {
            handle(widget);
            return;
        }
        if (tries > 0)
            whenModal<T>(context, handle, tries - 1);
    });
}

// What the test saw in a report preview before closing it.
struct Seen {
    bool shown = false;
    QString title;
    int previewPages = 0;
    int layoutPages = 0;
    QPageLayout pageLayout;
    QStringList subjects;
    QString footer;
};

Seen clickAndClosePreview(QPushButton *button, std::function<void(ReportPreview *)> extra = {})
{
    Seen seen;
    QObject context;
    whenModal<ReportPreview>(&context, [&seen, extra](ReportPreview *preview) {
        seen.shown = true;
        seen.title = preview->windowTitle();
        const Layout &layout = preview->layout(); // counted to its end
        if (auto *pages = preview->findChild<PreviewPages *>())
            seen.previewPages = pages->pageCount();
        seen.layoutPages = layout.pageCount();
        seen.pageLayout = preview->reportPrinter()->pageLayout();
        seen.footer = layout.textsOf(layout.pageCount() - 1, QStringLiteral("Label10"), SectionKind::PageFooter)
                          .value(0);
        for (int page = 0; page < layout.pageCount(); ++page)
            seen.subjects << layout.textsOf(page, QStringLiteral("Text4"), SectionKind::Detail);
        if (extra)
            extra(preview);
        preview->reject();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    return seen;
}

} // namespace

class ReportWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void windowLayout();
    void eachButtonShowsItsReport_data();
    void eachButtonShowsItsReport();
    void secondShowingReadsSavedChanges();
    void failingQueryShowsTheErrorBox();
    void previewShowsTheFirstPageWhileCounting();
    void saveAsPdfFromThePreview();
    void previewAndPdfFileShareThePaper();
    void closeButtonClosesTheWindow();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
};

void ReportWindowTest::init()
{
    env.reset();
    db = TestData::openLive();
}

void ReportWindowTest::cleanup()
{
    TestData::close(db);
}

void ReportWindowTest::windowLayout()
{
    Form3 form;
    QCOMPARE(form.windowTitle(), QStringLiteral("Reports"));
    QCOMPARE(form.size(), QSize(536, 144));
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QVERIFY(!(form.windowFlags() & Qt::WindowMinMaxButtonsHint));
    QCOMPARE(form.palette().color(QPalette::Window), QColor(Qt::white));
    const QList<std::tuple<QString, QString, int>> buttons{
        {"PushButton1", "Alphabetical Contact Listing", 8},
        {"PushButton2", "Call History", 42},
        {"PushButton3", "Weekly Call Summary", 76},
        {"PushButton4", "Close", 110},
    };
    for (const auto &[name, caption, top] : buttons) {
        auto *button = form.findChild<QPushButton *>(name);
        QVERIFY2(button, qPrintable(name));
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->geometry(), QRect(8, top, 520, 27));
        QCOMPARE(button->font().family(), QStringLiteral("Arial"));
        QCOMPARE(button->font().pointSizeF(), 11.25);
        QVERIFY(button->font().bold());
    }
    QVERIFY(env.messages.errors().isEmpty());
}

void ReportWindowTest::eachButtonShowsItsReport_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("orientation");
    QTest::newRow("listing") << "PushButton1" << "Alphabetical Contact Listing" << int(QPageLayout::Landscape);
    QTest::newRow("history") << "PushButton2" << "Call History" << int(QPageLayout::Portrait);
    QTest::newRow("weekly") << "PushButton3" << "Weekly Call Summary" << int(QPageLayout::Landscape);
}

void ReportWindowTest::eachButtonShowsItsReport()
{
    QFETCH(QString, button);
    QFETCH(QString, title);
    QFETCH(int, orientation);
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    for (int i = 0; i < 80; ++i) {
        const qint64 id = TestData::addContact(
            db, {{"FirstName", "Ann"}, {"LastName", QStringLiteral("Able%1").arg(i)}, {"ContactTypeID", type}});
        TestData::addCall(db, id, QDate::currentDate().toString(Qt::ISODate), QStringLiteral("10:00:00"),
                          QStringLiteral("Call %1").arg(i));
    }
    Form3 form;
    form.show();
    const Seen seen = clickAndClosePreview(form.findChild<QPushButton *>(button));
    QVERIFY(seen.shown);
    QCOMPARE(seen.title, title);
    QCOMPARE(int(seen.pageLayout.orientation()), orientation);
    QCOMPARE(seen.pageLayout.margins(QPageLayout::Point), QMarginsF(45, 72, 30, 72));
    QVERIFY(seen.layoutPages >= 2);
    QCOMPARE(seen.previewPages, seen.layoutPages);
    QCOMPARE(seen.footer, QStringLiteral("Page %1 of %1").arg(seen.layoutPages));
    QVERIFY(env.messages.errors().isEmpty());
    QVERIFY(form.isVisible()); // the reports window stays open
}

void ReportWindowTest::secondShowingReadsSavedChanges()
{
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    TestData::addCall(db, bob, QStringLiteral("2021-08-31"), QStringLiteral("10:00:00"), QStringLiteral("First call"));
    Form3 form;
    form.show();
    auto *button = form.findChild<QPushButton *>(QStringLiteral("PushButton2"));
    const Seen first = clickAndClosePreview(button);
    QCOMPARE(first.subjects, QStringList{"First call"});

    TestData::addCall(db, bob, QStringLiteral("2021-09-01"), QStringLiteral("10:00:00"), QStringLiteral("Second call"));
    const Seen second = clickAndClosePreview(button);
    QCOMPARE(second.subjects, QStringList({"First call", "Second call"}));
}

void ReportWindowTest::failingQueryShowsTheErrorBox()
{
    QSqlQuery drop(db);
    QVERIFY(drop.exec(QStringLiteral("DROP VIEW qryRep3A")));
    Form3 form;
    form.show();
    const Seen seen = clickAndClosePreview(form.findChild<QPushButton *>(QStringLiteral("PushButton3")));
    QVERIFY(!seen.shown);
    QCOMPARE(env.messages.errors().size(), 1);
    const QString text = env.messages.errors().constFirst();
    QVERIFY2(text.contains(QLatin1String("qryRep3A")), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("\r\nin Corvanta2021/08/31.Form3.PushButton3_Click at line 100\r\r")),
             qPrintable(text));
}

// Enough calls for a few hundred pages, written by the database itself.
static void addManyCalls(QSqlDatabase &db, int contacts, int callsEach)
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    for (int i = 0; i < contacts; ++i) {
        TestData::addContact(db, {{"FirstName", QStringLiteral("Zoë")}, {"LastName", QStringLiteral("Łukasz%1").arg(i)},
                                  {"ContactTypeID", type}});
    }
    QSqlQuery calls(db);
    QVERIFY(calls.exec(QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < %1) "
        "INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) "
        "SELECT ContactID, date('2021-01-01', '+' || (i % 300) || ' days'), '10:00:00', 'Subject ' || (i % 7), "
        "CASE WHEN i % 3 = 0 THEN 'Two\nlines' END FROM Contacts, n").arg(callsEach)));
}

// The first page shows, painted with its content, before the pages are
// counted; the count then goes on with the event loop and ends with the
// PDF file's number of pages.
void ReportWindowTest::previewShowsTheFirstPageWhileCounting()
{
    addManyCalls(db, 40, 100); // 4,000 calls, over a hundred pages
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    {
        ReportPreview closedAtOnce(reportDefinition(2));
        QVERIFY(closedAtOnce.load(store, QDateTime::currentDateTime()));
    } // its count stops with it

    ReportPreview preview(reportDefinition(2));
    QVERIFY(preview.load(store, QDateTime::currentDateTime()));
    preview.resize(700, 900);
    preview.show();
    // Painted without the event loop running: the count waits for it.
    PreviewPages *pages = preview.pages();
    const QImage shown = pages->grab().toImage();
    QVERIFY(!preview.isLaidOut());
    QVERIFY(pages->paintedPages() >= 1);
    const int shownWhileCounting = pages->pageCount();
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    // The first sheet is white with black and navy text on it: the title, the headings, the lines.
    int dark = 0;
    int navy = 0;
    for (int y = 0; y < shown.height(); ++y) {
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            dark += c.lightness() < 80;
            navy += c.blue() > 90 && c.red() < 60 && c.green() < 60;
        }
    }
    QVERIFY2(dark > 2000, qPrintable(QString::number(dark)));
    QVERIFY2(navy > 100, qPrintable(QString::number(navy)));

    QTRY_VERIFY_WITH_TIMEOUT(preview.isLaidOut(), 20000);
    QVERIFY(!QGuiApplication::overrideCursor());
    const int counted = preview.layout().pageCount();
    QVERIFY2(counted >= 100, qPrintable(QString::number(counted)));
    QVERIFY(shownWhileCounting < counted);
    QCOMPARE(pages->pageCount(), counted);
    QCOMPARE(preview.findChild<QLabel *>(QStringLiteral("pageTotal"))->text(), QStringLiteral(" / %1").arg(counted));
    for (QAction *action : preview.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Last page"))
            action->trigger();
    }
    QCOMPARE(preview.findChild<QLineEdit *>(QStringLiteral("pageNumber"))->text(), QString::number(counted));
    // The zoom box names the zoom of a fitted page (not one of its items), and takes a typed one.
    auto *zoom = preview.findChild<QComboBox *>(QStringLiteral("zoom"));
    QVERIFY(zoom);
    for (QAction *action : preview.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Fit width"))
            action->trigger();
    }
    QCOMPARE(zoom->currentText(), QStringLiteral("%1%").arg(qRound(pages->zoom() * 100)));
    QCOMPARE(zoom->findText(zoom->currentText()), -1);
    zoom->lineEdit()->selectAll();
    QTest::keyClicks(zoom->lineEdit(), QStringLiteral("150"));
    QTest::keyClick(zoom->lineEdit(), Qt::Key_Return);
    QCOMPARE(pages->zoom(), 1.5);
    QCOMPARE(zoom->currentText(), QStringLiteral("150%"));
    QCOMPARE(preview.layout().textsOf(counted - 1, QStringLiteral("Label10"), SectionKind::PageFooter),
             QStringList{QStringLiteral("Page %1 of %1").arg(counted)});

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.pdf"));
    QVERIFY(preview.savePdf(path));
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLatin1(pdf.readAll()).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![s\\w])"))),
             counted);
    preview.reject();
}

void ReportWindowTest::saveAsPdfFromThePreview()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type}});
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("listing.pdf"));
    Form3 form;
    form.show();
    bool inToolBar = false;
    QObject context;
    const Seen seen = clickAndClosePreview(
        form.findChild<QPushButton *>(QStringLiteral("PushButton1")), [&](ReportPreview *preview) {
            const auto *toolBar = preview->findChild<QToolBar *>();
            inToolBar = toolBar && toolBar->actions().contains(preview->savePdfAction());
            whenModal<QFileDialog>(&context, [&path](QFileDialog *chooser) {
                chooser->selectFile(path);
                static_cast<QDialog *>(chooser)->accept();
            });
            preview->savePdfAction()->trigger();
        });
    QVERIFY(seen.shown);
    QVERIFY(inToolBar);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF"));
    // The pages and the landscape paper of the preview.
    const QString text = QString::fromLatin1(bytes);
    QCOMPARE(text.count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?![s\\w])"))), seen.layoutPages);
    const QRegularExpressionMatch box = QRegularExpression(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)")).match(text);
    QVERIFY(box.hasMatch());
    const QSizeF paper = seen.pageLayout.fullRect(QPageLayout::Point).size();
    QCOMPARE(QSizeF(box.captured(1).toDouble(), box.captured(2).toDouble()).toSize(), paper.toSize());
    QVERIFY(paper.width() > paper.height());
}

// Without a printer both use the locale's paper: Letter in the United States.
void ReportWindowTest::previewAndPdfFileShareThePaper()
{
    if (!QPrinterInfo::defaultPrinter().isNull())
        QSKIP("a default printer is installed: its paper decides");
    QCOMPARE(QLocale::system().measurementSystem(), QLocale::ImperialUSSystem); // the test runs under en_US
    Form3 form;
    form.show();
    const Seen seen = clickAndClosePreview(form.findChild<QPushButton *>(QStringLiteral("PushButton2")));
    QVERIFY(seen.shown);
    QCOMPARE(seen.pageLayout.pageSize().id(), QPageSize::Letter);
    QCOMPARE(defaultPaperSize().id(), QPageSize::Letter);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.pdf"));
    QVERIFY(writeReportPdf(2, path));
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QRegularExpressionMatch box = QRegularExpression(QStringLiteral("/MediaBox\\s*\\[\\s*0\\s+0\\s+([\\d.]+)\\s+([\\d.]+)"))
                                            .match(QString::fromLatin1(pdf.readAll()));
    QVERIFY(box.hasMatch());
    QCOMPARE(QSizeF(box.captured(1).toDouble(), box.captured(2).toDouble()).toSize(),
             seen.pageLayout.fullRect(QPageLayout::Point).size().toSize());
}

void ReportWindowTest::closeButtonClosesTheWindow()
{
    Form3 form;
    form.show();
    QVERIFY(form.isVisible());
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton4")), Qt::LeftButton);
    QVERIFY(!form.isVisible());
    QCOMPARE(form.result(), int(QDialog::Rejected));

    // Return and the keypad's Enter press the focused button, as Space does.
    for (const auto &[key, modifiers] : {std::pair{Qt::Key_Return, Qt::NoModifier}, std::pair{Qt::Key_Enter, Qt::KeypadModifier}}) {
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        auto *closeButton = form.findChild<QPushButton *>(QStringLiteral("PushButton4"));
        closeButton->setFocus(Qt::TabFocusReason);
        QTest::keyClick(closeButton, key, modifiers);
        QVERIFY(!form.isVisible());
    }
}

int main(int argc, char **argv)
{
    // English dates and Letter paper whatever the machine's locale; and away
    // from any real print system of the machine.
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("TZ", "UTC");
    unsetenv("PRINTER");
    unsetenv("LPDEST");
    QTemporaryDir home;
    qputenv("CUPS_SERVER", QFile::encodeName(home.filePath(QStringLiteral("no-scheduler.sock"))));
    qputenv("CUPS_SERVERROOT", QFile::encodeName(home.path()));
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    ReportWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_window.moc"
