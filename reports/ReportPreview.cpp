#include "ReportPreview.h"

#include "ReportRenderer.h"

#include "frame/MessageService.h"

#include <QAction>
#include <QApplication>
#include <QPageRanges>
#include <QDir>
#include <QFileDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

#include <limits>

namespace {

const auto kJobOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00); // the CUPS engine's job options

QPrinter *createPrinter(const report::Definition &definition)
{
    auto *printer = new QPrinter(QPrinter::HighResolution);
    printer->setDocName(definition.title);
    printer->setFullPage(false);
    printer->setPageLayout(report::reportPageLayout(definition, report::defaultPaperSize()));
    return printer;
}

// A print job carries the orientation of its pages itself, so that a
// printer whose defaults say otherwise does not turn them; the print engine
// adds the paper size. The option list is the CUPS engine's job options.
void carryOrientation(QPrinter *printer)
{
    if (printer->outputFormat() != QPrinter::NativeFormat || !printer->printEngine())
        return;
    QPrintEngine *engine = printer->printEngine();
    QStringList options = engine->property(kJobOptions).toStringList();
    const QString name = QStringLiteral("orientation-requested");
    for (qsizetype i = 0; i + 1 < options.size();) {
        if (options.at(i) == name)
            options.remove(i, 2);
        else
            i += 2;
    }
    options << name
            << (printer->pageLayout().orientation() == QPageLayout::Landscape ? QStringLiteral("4")
                                                                                : QStringLiteral("3"));
    engine->setProperty(kJobOptions, options);
}

bool samePage(const QPageLayout &a, const QPageLayout &b)
{
    return a.pageSize().isEquivalentTo(b.pageSize()) && a.orientation() == b.orientation()
        && a.margins(QPageLayout::Point) == b.margins(QPageLayout::Point);
}


// "2-3,5" as 1-based ranges; empty when the text is not such a list.
QList<QPair<int, int>> parseRanges(const QString &text)
{
    QList<QPair<int, int>> ranges;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList ends = part.trimmed().split(QLatin1Char('-'));
        bool okFrom = false;
        bool okTo = true;
        const int from = ends.first().trimmed().toInt(&okFrom);
        int to = from;
        if (ends.size() == 2)
            to = ends.last().trimmed().isEmpty() ? std::numeric_limits<int>::max() : ends.last().trimmed().toInt(&okTo);
        if (!okFrom || !okTo || ends.size() > 2 || from < 1 || to < from)
            return {};
        ranges.append({from, to});
    }
    return ranges;
}

// The pages the print dialog asked for, 1-based; empty for all. A range the
// dialog left to the print system ("Pages: 2-3") is taken out of the job's
// options: the report paints those pages itself, so that a printer that
// ignores the option still gets only them.
QList<QPair<int, int>> requestedRanges(QPrinter &printer)
{
    QList<QPair<int, int>> ranges;
    if (printer.printRange() == QPrinter::PageRange) {
        const QPageRanges pageRanges = printer.pageRanges();
        for (const QPageRanges::Range &range : pageRanges.toRangeList())
            ranges.append({range.from, range.to});
        if (ranges.isEmpty() && printer.fromPage() > 0)
            ranges.append({printer.fromPage(), printer.toPage() > 0 ? printer.toPage() : printer.fromPage()});
    }
    QPrintEngine *engine = printer.printEngine();
    if (printer.outputFormat() != QPrinter::NativeFormat || !engine)
        return ranges;
    QStringList options = engine->property(kJobOptions).toStringList();
    for (qsizetype i = 0; i + 1 < options.size(); i += 2) {
        if (options.at(i) != QLatin1String("page-ranges"))
            continue;
        const QList<QPair<int, int>> asked = parseRanges(options.at(i + 1));
        if (asked.isEmpty())
            break;
        options.remove(i, 2);
        engine->setProperty(kJobOptions, options);
        return asked;
    }
    return ranges;
}

} // namespace

ReportPreview::ReportPreview(std::shared_ptr<const report::Definition> definition, QWidget *parent)
    : QPrintPreviewDialog(createPrinter(*definition), parent), m_definition(std::move(definition))
{
    m_printer = printer();
    // The preview widget draws on the printer until it is destroyed, which
    // happens only after this dialog's own destructor has run.
    connect(this, &QObject::destroyed, this, [printer = m_printer] { delete printer; }, Qt::DirectConnection);
    setWindowTitle(m_definition->title);
    setWindowModality(Qt::ApplicationModal);

    m_savePdf = new QAction(tr("Save as PDF"), this);
    m_savePdf->setObjectName(QStringLiteral("actionSavePdf"));
    m_savePdf->setToolTip(tr("Save the report as a PDF file"));
    if (QToolBar *toolBar = findChild<QToolBar *>()) {
        toolBar->addSeparator();
        toolBar->addAction(m_savePdf);
    }
    connect(m_savePdf, &QAction::triggered, this, &ReportPreview::chooseAndSavePdf);
    removeLayoutChoices();
    connect(this, &QPrintPreviewDialog::paintRequested, this, &ReportPreview::paintPages);
}

ReportPreview::~ReportPreview() = default;

void ReportPreview::removeLayoutChoices()
{
    // The report's orientation and margins are fixed: the preview does not
    // offer to turn the pages or to set them up otherwise.
    const QStringList fixed{QStringLiteral("Portrait"), QStringLiteral("Landscape"), QStringLiteral("Page setup")};
    const QList<QToolBar *> toolBars = findChildren<QToolBar *>();
    for (QAction *action : findChildren<QAction *>()) {
        if (!fixed.contains(action->text().remove(QLatin1Char('&')), Qt::CaseInsensitive))
            continue;
        for (QToolBar *toolBar : toolBars)
            toolBar->removeAction(action);
        action->setVisible(false);
        action->setEnabled(false);
    }
}

Status ReportPreview::load(ReportStore &store, const QDateTime &printed)
{
    const report::BusyPointer busy;
    Result<report::GroupedRows> rows = report::readGroupedRows(*m_definition, store);
    if (!rows)
        return rows.error();
    m_rows = std::make_shared<const report::GroupedRows>(std::move(rows).value());
    m_printed = printed;
    m_layout = report::layoutReport(m_definition, m_rows, m_printer->pageLayout(), m_printed);
    return {};
}

void ReportPreview::relayoutFor(const QPageLayout &pageLayout)
{
    // The user may have chosen other paper in the print dialog.
    if (!samePage(pageLayout, m_layout.pageLayout))
        m_layout = report::layoutReport(m_definition, m_rows, pageLayout, m_printed);
}

void ReportPreview::paintPages(QPrinter *target)
{
    const report::BusyPointer busy;
    // Whatever the print dialog did to the printer's page (its orientation,
    // its margins reset to the printer's smallest), paper, file and preview
    // show the one layout of the report: its orientation and its margins on
    // the paper chosen.
    const QPageLayout wanted = report::reportPageLayout(*m_definition, target->pageLayout().pageSize());
    target->setPageLayout(wanted);
    target->setPageOrientation(m_definition->orientation);
    relayoutFor(wanted);
    carryOrientation(target);

    report::PaintSelection selection;
    const QList<QPair<int, int>> ranges = requestedRanges(*target);
    selection.pages = report::selectedPages(ranges, m_layout.pageCount());
    if (!ranges.isEmpty() && selection.pages.empty())
        return; // none of the pages asked for exists
    // A print system that makes the copies itself gets one.
    selection.copies = target->supportsMultipleCopies() ? 1 : target->copyCount();
    selection.collate = target->collateCopies();
    // The painter starts at the printer's printable corner: move to the report's.
    const QMarginsF reportMargins = wanted.margins(QPageLayout::Point);
    const QMarginsF deviceMargins = target->fullPage() ? QMarginsF() : target->pageLayout().margins(QPageLayout::Point);
    const double pixelsPerPoint = target->logicalDpiX() / 72.0;
    selection.origin = QPointF(reportMargins.left() - deviceMargins.left(), reportMargins.top() - deviceMargins.top())
        * pixelsPerPoint;

    const Status painted = report::paintLayout(m_layout, *target, selection);
    if (!painted && target->outputFormat() != QPrinter::PdfFormat)
        MessageService::instance().information(this, painted.error().description);
}

Status ReportPreview::savePdf(const QString &path)
{
    relayoutFor(m_printer->pageLayout());
    return report::writeLayoutPdf(m_layout, path);
}

void ReportPreview::chooseAndSavePdf()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    QFileDialog dialog(this, tr("Save as PDF"), QDir(folder).filePath(m_definition->title + QStringLiteral(".pdf")),
                       tr("PDF files (*.pdf)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const Status saved = savePdf(dialog.selectedFiles().constFirst());
    if (!saved)
        MessageService::instance().information(this,
                                               tr("The report could not be saved.\n%1").arg(saved.error().description));
}
