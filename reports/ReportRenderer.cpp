#include "ReportRenderer.h"

#include "frame/Clock.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QPdfWriter>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace report {

void paintPage(QPainter &painter, const Layout &layout, int pageIndex, double resolution)
{
    if (pageIndex < 0 || pageIndex >= layout.pageCount())
        return;
    const Definition &definition = *layout.definition;
    std::vector<QFont> fonts;
    std::vector<double> ascents;
    fonts.reserve(size_t(definition.styles.size()));
    for (const Style &style : definition.styles) {
        fonts.push_back(styleFont(style));
        ascents.push_back(QFontMetricsF(fonts.back()).ascent());
    }

    painter.save();
    painter.scale(resolution / kTwipsPerInch, resolution / kTwipsPerInch);
    int currentStyle = -1;
    for (const Item &item : layout.pages[size_t(pageIndex)].items) {
        const Control &control = *item.control;
        const QRectF box(item.x, item.y, item.width, item.height);
        if (control.kind == ControlKind::Shape) {
            painter.setPen(control.border.isValid() ? QPen(control.border, 0) : QPen(Qt::NoPen));
            painter.setBrush(control.fill.isValid() ? QBrush(control.fill) : QBrush(Qt::NoBrush));
            painter.drawRect(box);
            currentStyle = -1;
            continue;
        }
        if (item.text.isEmpty())
            continue;
        if (control.style != currentStyle) {
            currentStyle = control.style;
            const Style &style = definition.styles[currentStyle];
            painter.setFont(fonts[size_t(currentStyle)]);
            painter.setPen(style.color);
        }
        const Style &style = definition.styles[currentStyle];
        if (!item.clip && !item.wrap && (style.alignment & Qt::AlignLeft)) {
            // One left-aligned line known to fit: no line breaking or clipping needed.
            painter.drawText(QPointF(item.x, item.y + ascents[size_t(currentStyle)]), item.text);
            continue;
        }
        int flags = int(style.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
        flags |= item.wrap ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine);
        painter.drawText(box, flags, item.text);
    }
    painter.restore();
}

namespace {
// The PDF engine builds every page in a large buffer that it frees again; with
// the allocator's default thresholds each page then maps and faults in fresh
// memory. Keeping freed memory in the heap makes long reports much faster.
void keepFreedMemory()
{
#ifdef __GLIBC__
    static const bool done = [] {
        mallopt(M_TRIM_THRESHOLD, 256 << 20);
        mallopt(M_MMAP_THRESHOLD, 64 << 20);
        return true;
    }();
    Q_UNUSED(done);
#endif
}
} // namespace

Status paintLayout(const Layout &layout, QPagedPaintDevice &device)
{
    keepFreedMemory();
    QPainter painter;
    if (!painter.begin(&device))
        return failure(QStringLiteral("The report could not be started on the printer."));
    const double resolution = device.logicalDpiY();
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0 && !device.newPage())
            return failure(QStringLiteral("The printer refused a new page."));
        paintPage(painter, layout, page, resolution);
    }
    if (!painter.end())
        return failure(QStringLiteral("The report could not be finished on the printer."));
    return {};
}

Status writeLayoutPdf(const Layout &layout, const QString &pdfPath)
{
    QFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return failure(file.errorString());
    QPdfWriter writer(&file);
    writer.setPageLayout(layout.pageLayout);
    writer.setResolution(1200);
    writer.setCreator(QStringLiteral("Corvanta"));
    if (layout.definition)
        writer.setTitle(layout.definition->title);
    const Status painted = paintLayout(layout, writer);
    file.close();
    if (!painted)
        return painted;
    if (file.error() != QFileDevice::NoError)
        return failure(file.errorString());
    return {};
}

Result<Layout> buildReport(int reportNumber, ReportStore &store, const QPageSize &pageSize,
                           const QDateTime &printed)
{
    const std::shared_ptr<const Definition> definition = reportDefinition(reportNumber);
    if (!definition)
        return Layout{};
    Result<GroupedRows> rows = readGroupedRows(*definition, store);
    if (!rows)
        return rows.error();
    return layoutReport(definition, *rows, reportPageLayout(*definition, pageSize), printed);
}

Status writeReportPdf(int reportNumber, const QString &pdfPath)
{
    if (!reportDefinition(reportNumber))
        return failure(QStringLiteral("There is no report %1.").arg(reportNumber));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return connection.error();
    ReportStore store(**connection);
    Result<Layout> layout = buildReport(reportNumber, store, QPageSize(), Clock::now());
    if (!layout)
        return layout.error();
    return writeLayoutPdf(*layout, pdfPath);
}

} // namespace report
