#include "support/PrivateCups.h"
#include "support/TestSupport.h"

#include "reports/Form3.h"
#include "reports/Printers.h"
#include "reports/ReportPreview.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QPrinter>
#include <QScopeGuard>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <cups/cups.h>

namespace {

const QString kPrinter = QStringLiteral("CorvantaTest");

using ToolResult = PrivateCups::ToolResult;

ToolResult runTool(const QString &tool, const QStringList &arguments)
{
    return PrivateCups::runTool(tool, arguments);
}

// The printer's options as another program sees them.
QMap<QString, QString> storedOptions()
{
    const ToolResult result = runTool(QStringLiteral("lpoptions"), {QStringLiteral("-p"), kPrinter});
    QMap<QString, QString> options;
    static const QRegularExpression pair(QStringLiteral("([\\w-]+)=('[^']*'|\\S*)"));
    for (auto it = pair.globalMatch(result.output); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        options.insert(m.captured(1), m.captured(2));
    }
    return options;
}

// Runs `handle` on the report preview once it shows, then closes it.
void whenPreviewShows(QObject *context, std::function<void(ReportPreview *)> handle, int tries = 500)
{
    QTimer::singleShot(tries == 500 ? 0 : 10, context, [context, handle, tries] {
        if (auto *preview = qobject_cast<ReportPreview *>(QApplication::activeModalWidget())) {
            handle(preview);
            preview->reject();
            return;
        }
        if (tries > 0)
            whenPreviewShows(context, handle, tries - 1);
    });
}

} // namespace

// Starts a CUPS scheduler of its own (own configuration, spool and socket)
// with one printer that prints to a file, and points the program at it.
class ReportPrinterTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void withoutDefaultPrinterNothingChanges();
    void landscapeReportSwitchesTheDefaultWhileOpen();
    void portraitReportSwitchesBackFromLandscape();
    void optionsThatWereNotStoredAreRemovedAgain();
    void secondSetWithoutRestoreKeepsTheFirstOrientation();
    void orientationZeroChangesNothing();
    void failingReportPutsTheDefaultsBack();
    void optionsFileWithoutALineBeforeIsRemovedAfter();
    void optionsFileKeptByteForByte_data();
    void optionsFileKeptByteForByte();
    void optionsThatCannotBeStoredDoNotRefuseTheReport();
    void printJobsCarryTheReportsOrientation_data();
    void printJobsCarryTheReportsOrientation();

private:
    bool makeDefault(const QStringList &options);
    // Makes the printer the scheduler's default and leaves this user no options file.
    bool makeServerDefault();
    QString optionsFile() const { return m_dir.filePath(QStringLiteral("home/.cups/lpoptions")); }

    IsolatedEnvironment env;
    QSqlDatabase db;
    QTemporaryDir m_dir;
    PrivateCups m_cups;
};

void ReportPrinterTest::initTestCase()
{
    if (PrivateCups::findTool(QStringLiteral("cupsd")).isEmpty()) {
        QSKIP("cupsd is not installed: the printer orientation tests need the CUPS scheduler "
              "(Debian package cups).");
    }
    for (const char *tool : {"lpadmin", "lpoptions", "lpstat", "cupsdisable", "cupsenable", "cancel"}) {
        if (PrivateCups::findTool(QString::fromLatin1(tool)).isEmpty())
            QFAIL(qPrintable(QStringLiteral("%1 is not installed (Debian package cups-client).").arg(tool)));
    }
    QVERIFY(m_dir.isValid());
    // The program and the tools talk to this scheduler only, and keep this
    // user's printer defaults in the temporary folder.
    const QString problem = m_cups.start(m_dir.path(), kPrinter);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void ReportPrinterTest::cleanupTestCase()
{
    m_cups.stop();
}

void ReportPrinterTest::init()
{
    env.reset();
    db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type}});
    TestData::addCall(db, ann, QDate::currentDate().toString(Qt::ISODate), QStringLiteral("10:00:00"),
                      QStringLiteral("Order"));
}

void ReportPrinterTest::cleanup()
{
    TestData::close(db);
}

// Makes the printer the default and stores the given options for it.
bool ReportPrinterTest::makeDefault(const QStringList &options)
{
    if (runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kPrinter}).exitCode != 0)
        return false;
    QStringList arguments{QStringLiteral("-p"), kPrinter};
    for (const QString &option : options)
        arguments << QStringLiteral("-o") << option;
    for (const char *name : {"orientation-requested", "media"}) {
        if (!options.join(QLatin1Char(' ')).contains(QLatin1String(name)))
            arguments << QStringLiteral("-r") << QString::fromLatin1(name);
    }
    return runTool(QStringLiteral("lpoptions"), arguments).exitCode == 0;
}

void ReportPrinterTest::withoutDefaultPrinterNothingChanges()
{
    QVERIFY(Printers::defaultPrinterName().isEmpty());
    const QMap<QString, QString> before = storedOptions();
    QVERIFY(!before.isEmpty()); // the printer exists
    QVERIFY(!before.contains(QStringLiteral("orientation-requested")));

    Form3 form;
    form.show();
    QObject context;
    bool shown = false;
    whenPreviewShows(&context, [&](ReportPreview *) { shown = true; });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(shown);
    QVERIFY(env.messages.errors().isEmpty());
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QString());
    QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("home/.cups/lpoptions"))));
    QCOMPARE(Printers::savedSettings().orientation, 0);
}

void ReportPrinterTest::landscapeReportSwitchesTheDefaultWhileOpen()
{
    QVERIFY(makeDefault({QStringLiteral("orientation-requested=3"), QStringLiteral("media=A4")}));
    QCOMPARE(Printers::defaultPrinterName(), kPrinter);

    Form3 form;
    form.show();
    QObject context;
    QMap<QString, QString> whileOpen;
    whenPreviewShows(&context, [&](ReportPreview *) { whileOpen = storedOptions(); });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(env.messages.errors().isEmpty());
    QCOMPARE(whileOpen.value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QCOMPARE(whileOpen.value(QStringLiteral("media")), QStringLiteral("A4"));

    const QMap<QString, QString> after = storedOptions();
    QCOMPARE(after.value(QStringLiteral("orientation-requested")), QStringLiteral("3"));
    QCOMPARE(after.value(QStringLiteral("media")), QStringLiteral("A4"));
    QCOMPARE(Printers::savedSettings().orientation, 3);
    QCOMPARE(Printers::savedSettings().paperSize, QStringLiteral("A4"));
}

void ReportPrinterTest::portraitReportSwitchesBackFromLandscape()
{
    QVERIFY(makeDefault({QStringLiteral("orientation-requested=4"), QStringLiteral("media=Letter")}));
    Form3 form;
    form.show();
    QObject context;
    QMap<QString, QString> whileOpen;
    whenPreviewShows(&context, [&](ReportPreview *) { whileOpen = storedOptions(); });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    QCOMPARE(whileOpen.value(QStringLiteral("orientation-requested")), QStringLiteral("3"));
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QCOMPARE(storedOptions().value(QStringLiteral("media")), QStringLiteral("Letter"));
}

void ReportPrinterTest::optionsThatWereNotStoredAreRemovedAgain()
{
    QVERIFY(makeDefault({}));
    QVERIFY(!storedOptions().contains(QStringLiteral("orientation-requested")));
    Form3 form;
    form.show();
    QObject context;
    QMap<QString, QString> whileOpen;
    whenPreviewShows(&context, [&](ReportPreview *) { whileOpen = storedOptions(); });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton3")), Qt::LeftButton);
    QCOMPARE(whileOpen.value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QVERIFY(!storedOptions().contains(QStringLiteral("orientation-requested")));
}

void ReportPrinterTest::secondSetWithoutRestoreKeepsTheFirstOrientation()
{
    QVERIFY(makeDefault({QStringLiteral("orientation-requested=3"), QStringLiteral("media=A4")}));
    Printers::SetPrinterOrientation(7, Printers::kLandscape);
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    Printers::SetPrinterOrientation(8, Printers::kPortrait);
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("3"));
    QCOMPARE(Printers::savedSettings().reportWindow, quintptr(8));
    // The restore brings back what the second call read: the first call's landscape.
    Printers::RestorePrinterOrientation();
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QCOMPARE(storedOptions().value(QStringLiteral("media")), QStringLiteral("A4"));
}

void ReportPrinterTest::orientationZeroChangesNothing()
{
    QVERIFY(makeDefault({QStringLiteral("orientation-requested=4"), QStringLiteral("media=A4")}));
    Printers::SetPrinterOrientation(0, 0);
    QCOMPARE(Printers::savedSettings().orientation, 4);
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QCOMPARE(storedOptions().value(QStringLiteral("media")), QStringLiteral("A4"));
}

void ReportPrinterTest::failingReportPutsTheDefaultsBack()
{
    QVERIFY(makeDefault({QStringLiteral("orientation-requested=3"), QStringLiteral("media=A4")}));
    QSqlQuery drop(db);
    QVERIFY(drop.exec(QStringLiteral("DROP VIEW qryRep1B")));
    Form3 form;
    form.show();
    QObject context;
    bool shown = false;
    whenPreviewShows(&context, [&](ReportPreview *) { shown = true; });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(!shown);
    QCOMPARE(env.messages.errors().size(), 1);
    QVERIFY(env.messages.errors().constFirst().contains(
        QLatin1String("in Corvanta2021/08/31.Form3.PushButton1_Click at line 100")));
    QCOMPARE(Printers::savedSettings().orientation, 3); // it had been switched ...
    QCOMPARE(storedOptions().value(QStringLiteral("orientation-requested")), QStringLiteral("3")); // ... and is back
}

bool ReportPrinterTest::makeServerDefault()
{
    QFile::remove(optionsFile());
    return runTool(QStringLiteral("lpadmin"), {QStringLiteral("-d"), kPrinter}).exitCode == 0
        && !QFile::exists(optionsFile());
}

void ReportPrinterTest::optionsFileWithoutALineBeforeIsRemovedAfter()
{
    QVERIFY(makeServerDefault());
    QCOMPARE(Printers::defaultPrinterName(), kPrinter);
    Form3 form;
    form.show();
    QObject context;
    QMap<QString, QString> whileOpen;
    whenPreviewShows(&context, [&](ReportPreview *) { whileOpen = storedOptions(); });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton1")), Qt::LeftButton);
    QVERIFY(env.messages.errors().isEmpty());
    QCOMPARE(whileOpen.value(QStringLiteral("orientation-requested")), QStringLiteral("4"));
    QVERIFY(!QFile::exists(optionsFile()));
    QVERIFY(!storedOptions().contains(QStringLiteral("orientation-requested")));
}

void ReportPrinterTest::optionsFileKeptByteForByte_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("expectedWhileOpen");
    QTest::newRow("its own line among others")
        << QByteArray("Dest Other sides=two-sided-long-edge\r\n"
                      "Default CorvantaTest  media=A4   job-sheets='none,none' orientation-requested=3  \n"
                      "Dest CorvantaTest/draft print-quality=3\n"
                      "# a note of the user's\n"
                      "Dest Third")
        << "4";
    QTest::newRow("no line of its own") << QByteArray("Dest Other cpi=12\n\nDest Third lpi=8") << "4";
    QTest::newRow("a line without orientation") << QByteArray("Dest CorvantaTest media=\"Letter\"\n") << "4";
}

void ReportPrinterTest::optionsFileKeptByteForByte()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, expectedWhileOpen);
    QVERIFY(makeServerDefault());
    QVERIFY(QDir().mkpath(QFileInfo(optionsFile()).absolutePath()));
    QFile file(optionsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(before);
    file.close();
    QCOMPARE(Printers::defaultPrinterName(), kPrinter);

    for (const char *button : {"PushButton1", "PushButton2", "PushButton3"}) {
        Form3 form;
        form.show();
        QObject context;
        QMap<QString, QString> whileOpen;
        whenPreviewShows(&context, [&](ReportPreview *) { whileOpen = storedOptions(); });
        QTest::mouseClick(form.findChild<QPushButton *>(QString::fromLatin1(button)), Qt::LeftButton);
        QVERIFY(env.messages.errors().isEmpty());
        QCOMPARE(whileOpen.value(QStringLiteral("orientation-requested")),
                 qstrcmp(button, "PushButton2") == 0 ? QStringLiteral("3") : expectedWhileOpen);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
        file.close();
    }
}

void ReportPrinterTest::optionsThatCannotBeStoredDoNotRefuseTheReport()
{
    QVERIFY(makeServerDefault());
    const QString folder = QFileInfo(optionsFile()).absolutePath();
    QVERIFY(QDir(folder).removeRecursively());
    QFile blocker(folder); // ~/.cups is a file: nothing can be stored below it
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("not a folder\n");
    blocker.close();

    Form3 form;
    form.show();
    QObject context;
    int pages = 0;
    whenPreviewShows(&context, [&](ReportPreview *preview) { pages = preview->layout().pageCount(); });
    QTest::mouseClick(form.findChild<QPushButton *>(QStringLiteral("PushButton2")), Qt::LeftButton);
    QCOMPARE(pages, 1);
    QVERIFY2(env.messages.errors().isEmpty(), qPrintable(env.messages.errors().join(QLatin1Char('\n'))));
    QVERIFY(blocker.open(QIODevice::ReadOnly));
    QCOMPARE(blocker.readAll(), QByteArray("not a folder\n"));
    blocker.close();
    QVERIFY(QFile::remove(folder));
}

void ReportPrinterTest::printJobsCarryTheReportsOrientation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("orientation");
    QTest::newRow("Call History, portrait") << "PushButton2" << 3;
    QTest::newRow("Alphabetical Contact Listing, landscape") << "PushButton1" << 4;
}

void ReportPrinterTest::printJobsCarryTheReportsOrientation()
{
    QFETCH(QString, button);
    QFETCH(int, orientation);
    // The scheduler's own default is landscape; the queue holds its jobs so
    // that they can be looked at.
    QVERIFY(makeServerDefault());
    QCOMPARE(runTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), kPrinter, QStringLiteral("-o"),
                                                 QStringLiteral("orientation-requested-default=4")})
                 .exitCode,
             0);
    QCOMPARE(runTool(QStringLiteral("cupsdisable"), {kPrinter}).exitCode, 0);
    const auto restoreQueue = qScopeGuard([] {
        runTool(QStringLiteral("cancel"), {QStringLiteral("-a"), kPrinter});
        runTool(QStringLiteral("cupsenable"), {kPrinter});
        runTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), kPrinter, QStringLiteral("-R"),
                                            QStringLiteral("orientation-requested-default")});
    });

    Form3 form;
    form.show();
    QObject context;
    QString paper;
    bool printed = false;
    whenPreviewShows(&context, [&](ReportPreview *preview) {
        paper = preview->reportPrinter()->pageLayout().pageSize().key();
        QAction *print = nullptr;
        for (QAction *action : preview->findChildren<QAction *>()) {
            if (action->text().remove(QLatin1Char('&')) == QLatin1String("Print"))
                print = action;
        }
        if (!print)
            return;
        // The print dialog of the preview: accepted as it stands.
        QTimer::singleShot(0, &context, [&] {
            if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()); dialog && dialog != preview)
                dialog->accept();
        });
        print->trigger();
        printed = true;
    });
    QTest::mouseClick(form.findChild<QPushButton *>(button), Qt::LeftButton);
    QVERIFY(printed);
    QVERIFY(env.messages.errors().isEmpty());

    const QList<int> jobs = m_cups.pendingJobs();
    QCOMPARE(jobs.size(), 1);
    const QMap<QString, QString> job = m_cups.jobAttributes(jobs.constFirst());
    QVERIFY2(job.contains(QStringLiteral("orientation-requested")), "the job has no orientation");
    QCOMPARE(job.value(QStringLiteral("orientation-requested")),
             orientation == 4 ? QStringLiteral("landscape") : QStringLiteral("portrait"));
    QVERIFY2(job.contains(QStringLiteral("media")), "the job has no paper size");
    QCOMPARE(job.value(QStringLiteral("media")), paper);
}

int main(int argc, char **argv)
{
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    ReportPrinterTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_report_printer.moc"
