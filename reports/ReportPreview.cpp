#include "ReportPreview.h"

#include "ReportRenderer.h"

#include "frame/MessageService.h"

#include "PageCounter.h"
#include "PreviewPages.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QStandardPaths>
#include <QToolBar>
#include <QVBoxLayout>

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

// An icon of Qt's own print preview, or the theme's.
QIcon previewIcon(const QString &theme, const QString &file)
{
    const QString path = QStringLiteral(":/qt-project.org/dialogs/qprintpreviewdialog/images/%1-24.png").arg(file);
    return QIcon::fromTheme(theme, QFile::exists(path) ? QIcon(path) : QIcon());
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
    : QDialog(parent), m_definition(std::move(definition)), m_printer(createPrinter(*m_definition))
{
    setWindowTitle(m_definition->title);
    setWindowModality(Qt::ApplicationModal);
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    m_pages = new PreviewPages(this);
    m_counter = new PageCounter(this);
    buildToolBar();
    connect(this, &ReportPreview::paintRequested, this, &ReportPreview::paintPages);
    connect(m_counter, &PageCounter::counted, this, &ReportPreview::showCount);
    connect(m_counter, &PageCounter::finished, this, &ReportPreview::takeLayout);
    resize(800, 900);
}

ReportPreview::~ReportPreview()
{
    m_counter->cancel();
}

void ReportPreview::buildToolBar()
{
    // What Qt's print preview offers, but for turning the pages or setting
    // them up: the report's orientation and margins are fixed.
    auto *toolBar = new QToolBar(this);
    const auto add = [this, toolBar](const QString &text, const QString &theme, const QString &file,
                                     auto slot) {
        QAction *action = toolBar->addAction(previewIcon(theme, file), text);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(tr("Fit width"), QString(), QStringLiteral("fit-width"), [this] { m_pages->fitWidth(); });
    add(tr("Fit page"), QString(), QStringLiteral("fit-page"), [this] { m_pages->fitPage(); });
    // The box shows the zoom of a fitted page too (79%), and takes a typed one.
    m_zoom = new QComboBox(toolBar);
    m_zoom->setObjectName(QStringLiteral("zoom"));
    m_zoom->setEditable(true);
    m_zoom->setInsertPolicy(QComboBox::NoInsert);
    m_zoom->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[1-9][0-9]{0,2}%?")), m_zoom));
    for (const int percent : {12, 25, 50, 75, 100, 125, 150, 200, 400})
        m_zoom->addItem(QStringLiteral("%1%").arg(percent), percent / 100.0);
    toolBar->addWidget(m_zoom);
    connect(m_zoom, &QComboBox::activated, this, [this](int index) { m_pages->setZoom(m_zoom->itemData(index).toDouble()); });
    connect(m_zoom->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        QString typed = m_zoom->currentText();
        typed.remove(QLatin1Char('%'));
        if (const int percent = typed.toInt(); percent > 0)
            m_pages->setZoom(percent / 100.0);
    });
    add(tr("Zoom in"), QStringLiteral("zoom-in"), QStringLiteral("zoom-in"), [this] { m_pages->setZoom(m_pages->zoom() * 1.25); });
    add(tr("Zoom out"), QStringLiteral("zoom-out"), QStringLiteral("zoom-out"), [this] { m_pages->setZoom(m_pages->zoom() / 1.25); });
    toolBar->addSeparator();
    add(tr("First page"), QStringLiteral("go-first"), QStringLiteral("go-first"), [this] { m_pages->showPage(0); });
    add(tr("Previous page"), QStringLiteral("go-previous"), QStringLiteral("go-previous"),
        [this] { m_pages->showPage(m_pages->currentPage() - 1); });
    m_pageNumber = new QLineEdit(toolBar);
    m_pageNumber->setObjectName(QStringLiteral("pageNumber"));
    m_pageNumber->setAlignment(Qt::AlignRight);
    m_pageNumber->setValidator(new QIntValidator(1, 1 << 30, m_pageNumber));
    m_pageNumber->setMaximumWidth(fontMetrics().horizontalAdvance(QStringLiteral("0000000")));
    toolBar->addWidget(m_pageNumber);
    m_pageTotal = new QLabel(toolBar);
    m_pageTotal->setObjectName(QStringLiteral("pageTotal"));
    toolBar->addWidget(m_pageTotal);
    connect(m_pageNumber, &QLineEdit::editingFinished, this, [this] { m_pages->showPage(m_pageNumber->text().toInt() - 1); });
    add(tr("Next page"), QStringLiteral("go-next"), QStringLiteral("go-next"),
        [this] { m_pages->showPage(m_pages->currentPage() + 1); });
    add(tr("Last page"), QStringLiteral("go-last"), QStringLiteral("go-last"), [this] {
        finishLayout();
        m_pages->showPage(m_pages->pageCount() - 1);
    });
    toolBar->addSeparator();
    add(tr("Print"), QStringLiteral("document-print"), QStringLiteral("print"), &ReportPreview::print);
    toolBar->addSeparator();
    m_savePdf = add(tr("Save as PDF"), QString(), QString(), &ReportPreview::chooseAndSavePdf);
    m_savePdf->setObjectName(QStringLiteral("actionSavePdf"));
    m_savePdf->setToolTip(tr("Save the report as a PDF file"));

    connect(m_pages, &PreviewPages::currentPageChanged, this,
            [this](int page) { m_pageNumber->setText(QString::number(page + 1)); });
    connect(m_pages, &PreviewPages::zoomChanged, this,
            [this](double zoom) { m_zoom->setCurrentText(QStringLiteral("%1%").arg(qRound(zoom * 100))); });
    auto *box = new QVBoxLayout(this);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    box->addWidget(toolBar);
    box->addWidget(m_pages);
}

Status ReportPreview::load(ReportStore &store, const QDateTime &printed)
{
    const report::BusyPointer busy;
    Result<report::GroupedRows> rows = report::readGroupedRows(*m_definition, store);
    if (!rows)
        return rows.error();
    m_rows = std::make_shared<const report::GroupedRows>(std::move(rows).value());
    m_printed = printed;
    // The first pages show while the others are counted.
    m_layout = report::Layout();
    m_layout.definition = m_definition;
    m_layout.rows = m_rows;
    m_layout.pageLayout = m_printer->pageLayout();
    m_layout.printed = m_printed;
    m_laidOut = false;
    m_pages->setLayout(m_layout, 1);
    showCount(1);
    m_busy = std::make_unique<report::BusyPointer>();
    m_counter->start(m_layout);
    return {};
}

void ReportPreview::showCount(int pages)
{
    m_pages->setPageCount(std::max(m_pages->pageCount(), pages));
    m_pageTotal->setText(QStringLiteral(" / %1%2").arg(m_pages->pageCount()).arg(m_laidOut ? QString() : QStringLiteral("\u2026")));
    if (m_pageNumber->text().isEmpty())
        m_pageNumber->setText(QStringLiteral("1"));
}

void ReportPreview::takeLayout(const report::Layout &layout)
{
    m_layout = layout;
    m_laidOut = true;
    m_busy.reset();
    const int current = m_pages->currentPage();
    m_pages->setLayout(m_layout, m_layout.pageCount()); // the footers now name the page count
    m_pages->showPage(current);
    showCount(m_layout.pageCount());
}

void ReportPreview::finishLayout()
{
    if (m_laidOut || !m_counter->isRunning())
        return;
    const report::BusyPointer busy;
    takeLayout(m_counter->finishNow());
}

const report::Layout &ReportPreview::layout()
{
    finishLayout();
    return m_layout;
}

void ReportPreview::relayoutFor(const QPageLayout &pageLayout)
{
    finishLayout();
    // The user may have chosen other paper in the print dialog.
    if (!samePage(pageLayout, m_layout.pageLayout))
        takeLayout(report::layoutReport(m_definition, m_rows, pageLayout, m_printed));
}

void ReportPreview::print()
{
    QPrintDialog dialog(m_printer.get(), this);
    if (dialog.exec() == QDialog::Accepted)
        paintPages(m_printer.get());
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
