#include "support/PrivateCups.h"
#include "support/TestSupport.h"

#include "reports/Form3.h"
#include "reports/PrinterJournal.h"
#include "reports/Printers.h"
#include "reports/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <csignal>

// Real print jobs from the report preview, through a scheduler of the test's
// own, and the user's printer options while previews are open and after.
namespace {

const QString kPrinter = QStringLiteral("CorvantaJobs");

struct Word {
    QString text;
    double x = 0;
    double y = 0;
};

// The words of one page of a PDF file with their top-left corners, in points.
QList<Word> pdfWords(const QString &path, int page)
{
    const auto result = PrivateCups::runTool(
        QStringLiteral("pdftotext"), {QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"),
                                      QString::number(page), QStringLiteral("-bbox"), path, QStringLiteral("-")});
    QList<Word> words;
    static const QRegularExpression word(
        QStringLiteral("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\"[^>]*>([^<]*)</word>"));
    for (auto it = word.globalMatch(result.output); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        words.append({m.captured(3), m.captured(1).toDouble(), m.captured(2).toDouble()});
    }
    return words;
}

// The topmost word of that text on a page.
Word topmost(const QList<Word> &words, const QString &text)
{
    Word found{QString(), 0, 1e9};
    for (const Word &w : words) {
        if (w.text == text && w.y < found.y)
            found = w;
    }
    return found;
}

// "Page 2 of 5" of each page of a PDF file, in order.
QStringList pageFooters(const QString &path)
{
    const auto result = PrivateCups::runTool(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path,
                                                                            QStringLiteral("-")});
    QStringList footers;
    static const QRegularExpression footer(QStringLiteral("Page \\d+ of \\d+"));
    for (auto it = footer.globalMatch(result.output); it.hasNext();)
        footers << it.next().captured(0);
    return footers;
}

QString pdfInfo(const QString &path, const QString &field)
{
    const auto result = PrivateCups::runTool(QStringLiteral("pdfinfo"), {path});
    const QRegularExpression line(QStringLiteral("^%1:\\s*(.*)$").arg(field), QRegularExpression::MultilineOption);
    return line.match(result.output).captured(1).trimmed();
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Runs `handle` on the report preview once it shows; the preview is closed afterwards.
void whenPreviewShows(QObject *context, std::function<void(ReportPreview *)> handle, int tries = 500)
{
    QTimer::singleShot(tries == 500 ? 0 : 10, context, [context, handle, tries] {
        if (auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget())) {
            handle(preview);
            if (preview->isVisible())
                preview->reject();
            return;
        }
        if (tries > 0)
            whenPreviewShows(context, handle, tries - 1);
    });
}

// Prints from the preview through its own print dialog, set up by `setUp`.
bool printFromPreview(ReportPreview *preview, const std::function<void(QPrintDialog *)> &setUp)
{
    QAction *print = nullptr;
    for (QAction *action : preview->findChildren<QAction *>()) {
        if (action->text().remove(QLatin1Char('&')) == QLatin1String("Print"))
            print = action;
    }
    if (!print)
        return false;
    bool accepted = false;
    QTimer::singleShot(0, preview, [&] {
        if (auto *dialog = qobject_cast<QPrintDialog *>(QApplication::activeModalWidget())) {
            setUp(dialog);
            // A box the dialog raises instead of printing fails the test rather than waiting.
            QTimer::singleShot(0, dialog, [dialog] {
                if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                    qWarning("The print dialog refused: %s %s", qPrintable(box->text()),
                             qPrintable(box->informativeText()));
                    box->reject();
                    dialog->reject();
                }
            });
            dialog->accept();
            accepted = dialog->result() == QDialog::Accepted;
        }
    });
    print->trigger();
    return accepted;
}

// Another copy of the program: this test program started again, showing one
// report until a file appears (or a signal ends it).
int runPreviewCopy()
{
    const int report = qEnvironmentVariableIntValue("CORVANTA_COPY_REPORT");
    const QString folder = qEnvironmentVariable("CORVANTA_COPY_FOLDER");
    const QString tag = qEnvironmentVariable("CORVANTA_COPY_TAG");
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget());
        if (!preview)
            return;
        QFile shown(folder + QStringLiteral("/shown-") + tag);
        if (!shown.exists() && shown.open(QIODevice::WriteOnly))
            shown.close();
        if (QFile::exists(folder + QStringLiteral("/close-") + tag))
            preview->reject();
    });
    poll.start(20);
    const Status status = Printers::ShowReport(nullptr, report);
    return status ? 0 : 3;
}

} // namespace

class ReportPrintJobsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void printedJobHasThePreviewsPagesAndMargins();
    void printedPagesFollowTheDialogsRange_data();
    void printedPagesFollowTheDialogsRange();
    void copiesPaintedForAFile_data();
    void copiesPaintedForAFile();
    void previewOffersNoOtherOrientation();
    void defaultPrinterStaysVisibleWhilePreviewIsOpen();
    void terminatedWhilePreviewIsOpenPutsOptionsBack_data();
    void terminatedWhilePreviewIsOpenPutsOptionsBack();
    void twoCopiesPutBackTheFirstOriginal();
    void nextStartRepairsWhatAKilledCopyLeft();

private:
    QProcess *startCopy(int report, const QString &tag);
    bool waitForFile(const QString &path);
    void writeOptions(const QByteArray &bytes);
    bool holdQueue();

    IsolatedEnvironment env;
    QSqlDatabase db;
    QTemporaryDir m_dir;
    PrivateCups m_cups;
    QList<QProcess *> m_copies;
};

void ReportPrintJobsTest::initTestCase()
{
    if (PrivateCups::findTool(QStringLiteral("cupsd")).isEmpty())
        QSKIP("cupsd is not installed (Debian package cups-daemon).");
    for (const char *tool : {"lpadmin", "lpoptions", "lpstat", "cupsdisable", "cupsenable", "cancel", "pdftotext",
                             "pdfinfo"}) {
        if (PrivateCups::findTool(QString::fromLatin1(tool)).isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 is not installed (packages cups-client, poppler-utils).").arg(tool)));
    }
    QVERIFY(m_dir.isValid());
    const QString problem = m_cups.start(m_dir.path() + QStringLiteral("/cups"), kPrinter);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void ReportPrintJobsTest::cleanupTestCase()
{
    m_cups.stop();
}

void ReportPrintJobsTest::init()
{
    env.reset();
    db = TestData::openLive();
    // Enough calls for several pages of "Call History".
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    for (int i = 0; i < 30; ++i) {
        const qint64 id = TestData::addContact(db, {{"FirstName", QStringLiteral("First%1").arg(i)},
                                                    {"LastName", QStringLiteral("Last%1").arg(i, 2, 10, QLatin1Char('0'))},
                                                    {"ContactTypeID", type}});
        for (int c = 0; c < 5; ++c) {
            TestData::addCall(db, id, QDate::currentDate().addDays(-c).toString(Qt::ISODate),
                              QStringLiteral("10:%1:00").arg(c * 7, 2, 10, QLatin1Char('0')),
                              QStringLiteral("Subject\twith a TAB %1").arg(c));
        }
    }
    QFile::remove(m_cups.optionsFile());
    QCOMPARE(PrivateCups::runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kPrinter}).exitCode, 0);
}

void ReportPrintJobsTest::cleanup()
{
    for (QProcess *copy : std::as_const(m_copies)) {
        if (copy->state() != QProcess::NotRunning) {
            copy->kill();
            copy->waitForFinished();
        }
        delete copy;
    }
    m_copies.clear();
    for (const QString &marker : QDir(m_dir.path()).entryList({QStringLiteral("shown-*"), QStringLiteral("close-*")}))
        QFile::remove(m_dir.filePath(marker));
    PrivateCups::runTool(QStringLiteral("cancel"), {QStringLiteral("-a"), kPrinter});
    PrivateCups::runTool(QStringLiteral("cupsenable"), {kPrinter});
    TestData::close(db);
}

bool ReportPrintJobsTest::holdQueue()
{
    return PrivateCups::runTool(QStringLiteral("cupsdisable"), {kPrinter}).exitCode == 0;
}

void ReportPrintJobsTest::writeOptions(const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(m_cups.optionsFile()).absolutePath());
    QFile file(m_cups.optionsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Paper, orientation, page count and the title's place on a real job are the preview's.
void ReportPrintJobsTest::printedJobHasThePreviewsPagesAndMargins()
{
    QVERIFY(holdQueue());
    Form3 form;
    form.show();
    QObject context;
    int previewPages = 0;
    QString paper;
    bool printed = false;
    const QString previewPdf = m_dir.filePath(QStringLiteral("preview.pdf"));
    whenPreviewShows(&context, [&](ReportPreview *preview) {
        previewPages = preview->layout().pageCount();
        paper = preview->reportPrinter()->pageLayout().pageSize().key();
        QVERIFY(preview->savePdf(previewPdf));
        if (const QString keep = qEnvironmentVariable("CORVANTA_TEST_KEEP"); !keep.isEmpty()) {
            preview->resize(900, 1000);
            QTest::qWait(200);
            preview->grab().save(keep + QStringLiteral("/preview-window.png"));
        }
        printed = printFromPreview(preview, [](QPrintDialog *) {});
    });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    QVERIFY(printed);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join(QLatin1Char('\n'))));
    QVERIFY(previewPages >= 3);

    const QList<int> jobs = m_cups.pendingJobs();
    QCOMPARE(jobs.size(), 1);
    const QMap<QString, QString> job = m_cups.jobAttributes(jobs.constFirst());
    QCOMPARE(job.value(QStringLiteral("orientation-requested")), QStringLiteral("portrait"));
    QCOMPARE(job.value(QStringLiteral("media")), paper);
    QVERIFY(!job.contains(QStringLiteral("page-ranges")));
    const QString spooled = m_cups.spooledFile(jobs.constFirst());
    QVERIFY2(QFile::exists(spooled), qPrintable(spooled));
    QCOMPARE(pdfInfo(spooled, QStringLiteral("Pages")).toInt(), previewPages);
    QCOMPARE(pdfInfo(spooled, QStringLiteral("Page size")), pdfInfo(previewPdf, QStringLiteral("Page size")));

    // The report's own margins, not the printer's smallest: the title and
    // the page number stand where the preview has them.
    for (const QString &text : {QStringLiteral("Call"), QStringLiteral("Page")}) {
        const Word onPaper = topmost(pdfWords(spooled, 1), text);
        const Word inPreview = topmost(pdfWords(previewPdf, 1), text);
        QVERIFY2(!onPaper.text.isEmpty() && !inPreview.text.isEmpty(), qPrintable(text));
        QVERIFY2(qAbs(onPaper.x - inPreview.x) < 0.5 && qAbs(onPaper.y - inPreview.y) < 0.5,
                 qPrintable(QStringLiteral("%1 at %2,%3 on paper, %4,%5 in the preview")
                                .arg(text).arg(onPaper.x).arg(onPaper.y).arg(inPreview.x).arg(inPreview.y)));
    }
    // The title starts 900 + 675 twips from the paper's left edge (78.75 pt).
    const Word title = topmost(pdfWords(spooled, 1), QStringLiteral("Call"));
    QVERIFY2(qAbs(title.x - 78.75) < 2.0, qPrintable(QString::number(title.x)));
    QVERIFY2(title.y > 85.0, qPrintable(QString::number(title.y)));
    QCOMPARE(pageFooters(spooled), pageFooters(previewPdf));
    // For looking at them side by side: CORVANTA_TEST_KEEP=folder keeps both files.
    if (const QString keep = qEnvironmentVariable("CORVANTA_TEST_KEEP"); !keep.isEmpty()) {
        QFile::copy(spooled, keep + QStringLiteral("/printed.pdf"));
        QFile::copy(previewPdf, keep + QStringLiteral("/preview.pdf"));
    }
}

void ReportPrintJobsTest::printedPagesFollowTheDialogsRange_data()
{
    QTest::addColumn<bool>("pagesField"); // the "Pages" field rather than "Pages from ... to"
    QTest::newRow("pages from 2 to 3, two copies") << false;
}

// Only the pages asked for go to the printer; the print system makes the copies.
void ReportPrintJobsTest::printedPagesFollowTheDialogsRange()
{
    QFETCH(bool, pagesField);
    QVERIFY(holdQueue());
    Form3 form;
    form.show();
    QObject context;
    int previewPages = 0;
    bool printed = false;
    whenPreviewShows(&context, [&](ReportPreview *preview) {
        previewPages = preview->layout().pageCount();
        printed = printFromPreview(preview, [pagesField](QPrintDialog *dialog) {
            if (pagesField) {
                dialog->findChild<QRadioButton *>(QStringLiteral("pagesRadioButton"))->setChecked(true);
                dialog->findChild<QLineEdit *>(QStringLiteral("pagesLineEdit"))->setText(QStringLiteral("2-3"));
            } else {
                dialog->findChild<QRadioButton *>(QStringLiteral("printRange"))->setChecked(true);
                dialog->findChild<QSpinBox *>(QStringLiteral("from"))->setValue(2);
                dialog->findChild<QSpinBox *>(QStringLiteral("to"))->setValue(3);
            }
            dialog->findChild<QSpinBox *>(QStringLiteral("copies"))->setValue(2);
        });
    });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    QVERIFY(printed);
    QVERIFY(previewPages >= 3);

    const QList<int> jobs = m_cups.pendingJobs();
    QCOMPARE(jobs.size(), 1);
    const QMap<QString, QString> job = m_cups.jobAttributes(jobs.constFirst());
    QCOMPARE(job.value(QStringLiteral("copies")), QStringLiteral("2"));
    QVERIFY(!job.contains(QStringLiteral("page-ranges"))); // already applied
    const QString spooled = m_cups.spooledFile(jobs.constFirst());
    QCOMPARE(pdfInfo(spooled, QStringLiteral("Pages")).toInt(), 2);
    QCOMPARE(pageFooters(spooled), QStringList({QStringLiteral("Page 2 of %1").arg(previewPages),
                                                QStringLiteral("Page 3 of %1").arg(previewPages)}));
}

void ReportPrintJobsTest::copiesPaintedForAFile_data()
{
    QTest::addColumn<bool>("collate");
    QTest::addColumn<QStringList>("order");
    QTest::newRow("collated") << true << QStringList{"2", "3", "2", "3"};
    QTest::newRow("not collated") << false << QStringList{"2", "2", "3", "3"};
}

// A PDF file has nobody to make copies: the report paints them, in the order asked for.
void ReportPrintJobsTest::copiesPaintedForAFile()
{
    QFETCH(bool, collate);
    QFETCH(QStringList, order);
    Form3 form;
    form.show();
    QObject context;
    const QString path = m_dir.filePath(QStringLiteral("copies.pdf"));
    int previewPages = 0;
    whenPreviewShows(&context, [&](ReportPreview *preview) {
        previewPages = preview->layout().pageCount();
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(path);
        printer.setPrintRange(QPrinter::PageRange);
        printer.setFromTo(2, 3);
        printer.setCopyCount(2);
        printer.setCollateCopies(collate);
        emit preview->paintRequested(&printer);
    });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    QVERIFY(previewPages >= 3);
    QStringList expected;
    for (const QString &page : order)
        expected << QStringLiteral("Page %1 of %2").arg(page).arg(previewPages);
    QCOMPARE(pageFooters(path), expected);
}

void ReportPrintJobsTest::previewOffersNoOtherOrientation()
{
    Form3 form;
    form.show();
    QObject context;
    QStringList offered;
    bool shown = false;
    whenPreviewShows(&context, [&](ReportPreview *preview) {
        shown = true;
        for (QAction *action : preview->findChildren<QAction *>()) {
            if (action->isVisible() && action->isEnabled())
                offered << action->text().remove(QLatin1Char('&'));
        }
    });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(shown);
    QVERIFY2(offered.contains(QStringLiteral("Print")), qPrintable(offered.join(QLatin1Char(','))));
    for (const char *gone : {"Portrait", "Landscape", "Page setup"})
        QVERIFY2(!offered.contains(QString::fromLatin1(gone), Qt::CaseInsensitive), gone);
}

// What lpoptions -o writes for the default destination: others still see the default.
void ReportPrintJobsTest::defaultPrinterStaysVisibleWhilePreviewIsOpen()
{
    QVERIFY(!QFile::exists(m_cups.optionsFile())); // the default is the scheduler's
    Form3 form;
    form.show();
    QObject context;
    QString lpstatWhileOpen;
    QByteArray optionsWhileOpen;
    whenPreviewShows(&context, [&](ReportPreview *) {
        lpstatWhileOpen = PrivateCups::runTool(QStringLiteral("lpstat"), {QStringLiteral("-d")}).output;
        optionsWhileOpen = readAll(m_cups.optionsFile());
    });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton3")), Qt::LeftButton);
    QCOMPARE(optionsWhileOpen, QByteArray("Default CorvantaJobs orientation-requested=4\n"));
    QVERIFY2(lpstatWhileOpen.contains(QLatin1String("system default destination: CorvantaJobs")),
             qPrintable(lpstatWhileOpen));
    QVERIFY(!QFile::exists(m_cups.optionsFile()));
}

QProcess *ReportPrintJobsTest::startCopy(int report, const QString &tag)
{
    auto *copy = new QProcess;
    m_copies << copy;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CORVANTA_COPY_REPORT"), QString::number(report));
    environment.insert(QStringLiteral("CORVANTA_COPY_FOLDER"), m_dir.path());
    environment.insert(QStringLiteral("CORVANTA_COPY_TAG"), tag);
    copy->setProcessEnvironment(environment);
    copy->setProcessChannelMode(QProcess::ForwardedChannels);
    copy->start(QCoreApplication::applicationFilePath(), {});
    return copy;
}

bool ReportPrintJobsTest::waitForFile(const QString &path)
{
    for (int i = 0; i < 600 && !QFile::exists(path); ++i)
        QTest::qWait(50);
    return QFile::exists(path);
}

void ReportPrintJobsTest::terminatedWhilePreviewIsOpenPutsOptionsBack_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("before");
    QTest::newRow("SIGTERM, options of the user's")
        << int(SIGTERM) << QByteArray("Dest Other cpi=12\r\nDest CorvantaJobs media=A4  sides=one-sided\n# kept\n");
    QTest::newRow("SIGINT, no options file") << int(SIGINT) << QByteArray();
}

void ReportPrintJobsTest::terminatedWhilePreviewIsOpenPutsOptionsBack()
{
    QFETCH(int, signal);
    QFETCH(QByteArray, before);
    if (!before.isEmpty())
        writeOptions(before);
    QProcess *copy = startCopy(1, QStringLiteral("a"));
    QVERIFY(waitForFile(m_dir.filePath(QStringLiteral("shown-a"))));
    const QByteArray whileOpen = readAll(m_cups.optionsFile());
    QVERIFY2(whileOpen.contains("orientation-requested=4"), whileOpen.constData());
    QVERIFY(QFile::exists(PrinterJournal::defaultPath()));

    ::kill(pid_t(copy->processId()), signal);
    QVERIFY(copy->waitForFinished(20000));
    QCOMPARE(copy->exitStatus(), QProcess::CrashExit); // ended by the signal, as without a handler
    if (before.isEmpty())
        QVERIFY(!QFile::exists(m_cups.optionsFile()));
    else
        QCOMPARE(readAll(m_cups.optionsFile()), before);
    QVERIFY(!QFile::exists(PrinterJournal::defaultPath()));
    const QString lpstat = PrivateCups::runTool(QStringLiteral("lpstat"), {QStringLiteral("-d")}).output;
    QVERIFY2(lpstat.contains(QLatin1String("destination: CorvantaJobs")), qPrintable(lpstat));
}

// Two copies: the options go back to what was there before the first opened
// a report, whichever closes first.
void ReportPrintJobsTest::twoCopiesPutBackTheFirstOriginal()
{
    const QByteArray before("Default CorvantaJobs media=Letter\n");
    writeOptions(before);
    QProcess *first = startCopy(1, QStringLiteral("a"));
    QVERIFY(waitForFile(m_dir.filePath(QStringLiteral("shown-a"))));
    QVERIFY(readAll(m_cups.optionsFile()).contains("orientation-requested=4"));
    QProcess *second = startCopy(2, QStringLiteral("b"));
    QVERIFY(waitForFile(m_dir.filePath(QStringLiteral("shown-b"))));
    QVERIFY(readAll(m_cups.optionsFile()).contains("orientation-requested=3"));

    // Closed in the order they were opened.
    QFile(m_dir.filePath(QStringLiteral("close-a"))).open(QIODevice::WriteOnly);
    QVERIFY(first->waitForFinished(20000));
    QCOMPARE(first->exitCode(), 0);
    // The second still shows its report: its orientation stays.
    QVERIFY(readAll(m_cups.optionsFile()).contains("orientation-requested=3"));
    QVERIFY(QFile::exists(PrinterJournal::defaultPath()));
    QFile(m_dir.filePath(QStringLiteral("close-b"))).open(QIODevice::WriteOnly);
    QVERIFY(second->waitForFinished(20000));
    QCOMPARE(second->exitCode(), 0);

    QCOMPARE(readAll(m_cups.optionsFile()), before);
    QVERIFY(!QFile::exists(PrinterJournal::defaultPath()));
    const QString lpstat = PrivateCups::runTool(QStringLiteral("lpstat"), {QStringLiteral("-d")}).output;
    QVERIFY2(lpstat.contains(QLatin1String("destination: CorvantaJobs")), qPrintable(lpstat));
}

// A copy killed outright cannot clean up; the next start does.
void ReportPrintJobsTest::nextStartRepairsWhatAKilledCopyLeft()
{
    const QByteArray before("Dest CorvantaJobs media=A4\n");
    writeOptions(before);
    QProcess *copy = startCopy(3, QStringLiteral("a"));
    QVERIFY(waitForFile(m_dir.filePath(QStringLiteral("shown-a"))));
    copy->kill();
    QVERIFY(copy->waitForFinished(20000));
    QVERIFY(readAll(m_cups.optionsFile()).contains("orientation-requested=4"));
    QVERIFY(QFile::exists(PrinterJournal::defaultPath()));

    Printers::recoverPrinterOptions();
    QCOMPARE(readAll(m_cups.optionsFile()), before);
    QVERIFY(!QFile::exists(PrinterJournal::defaultPath()));
}

int main(int argc, char **argv)
{
    // The tests read English dates and the tools' English output, whatever
    // the machine's locale.
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("CORVANTA_COPY_REPORT"))
        return runPreviewCopy();
    ReportPrintJobsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report_print_jobs.moc"
