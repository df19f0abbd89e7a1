#include "ReportPreview.h"

#include "ReportRenderer.h"

#include "frame/MessageService.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QStandardPaths>
#include <QToolBar>

namespace {

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
    const auto jobOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);
    QPrintEngine *engine = printer->printEngine();
    QStringList options = engine->property(jobOptions).toStringList();
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
    engine->setProperty(jobOptions, options);
}

bool samePage(const QPageLayout &a, const QPageLayout &b)
{
    return a.pageSize().isEquivalentTo(b.pageSize()) && a.orientation() == b.orientation()
        && a.margins(QPageLayout::Point) == b.margins(QPageLayout::Point);
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
    connect(this, &QPrintPreviewDialog::paintRequested, this, &ReportPreview::paintPages);
}

ReportPreview::~ReportPreview() = default;

Status ReportPreview::load(ReportStore &store, const QDateTime &printed)
{
    Result<report::GroupedRows> rows = report::readGroupedRows(*m_definition, store);
    if (!rows)
        return rows.error();
    m_rows = std::move(rows).value();
    m_printed = printed;
    m_layout = report::layoutReport(m_definition, m_rows, m_printer->pageLayout(), m_printed);
    return {};
}

void ReportPreview::relayoutFor(const QPageLayout &pageLayout)
{
    // The user may have chosen other paper or orientation in the page setup.
    if (!samePage(pageLayout, m_layout.pageLayout))
        m_layout = report::layoutReport(m_definition, m_rows, pageLayout, m_printed);
}

void ReportPreview::paintPages(QPrinter *target)
{
    relayoutFor(target->pageLayout());
    carryOrientation(target);
    const Status painted = report::paintLayout(m_layout, *target);
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
