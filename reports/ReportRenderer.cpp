#include "ReportRenderer.h"

#include "frame/Clock.h"
#include "store/Database.h"
#include "frame/Failure.h"

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

bool paintLayout(const Layout &layout, QPagedPaintDevice &device, QString *error)
{
    keepFreedMemory();
    QPainter painter;
    if (!painter.begin(&device)) {
        if (error)
            *error = QStringLiteral("The report could not be started on the printer.");
        return false;
    }
    const double resolution = device.logicalDpiY();
    for (int page = 0; page < layout.pageCount(); ++page) {
        if (page > 0 && !device.newPage()) {
            if (error)
                *error = QStringLiteral("The printer refused a new page.");
            return false;
        }
        paintPage(painter, layout, page, resolution);
    }
    return painter.end();
}

bool writeLayoutPdf(const Layout &layout, const QString &pdfPath, QString *error)
{
    QFile file(pdfPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    QPdfWriter writer(&file);
    writer.setPageLayout(layout.pageLayout);
    writer.setResolution(1200);
    writer.setCreator(QStringLiteral("Corvanta"));
    if (layout.definition)
        writer.setTitle(layout.definition->title);
    const bool ok = paintLayout(layout, writer, error);
    file.close();
    if (ok && file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return ok;
}

Layout buildReport(int reportNumber, const QSqlDatabase &db, const QPageSize &pageSize,
                   const QDateTime &printed)
{
    const std::shared_ptr<const Definition> definition = reportDefinition(reportNumber);
    if (!definition)
        return {};
    const GroupedRows rows = readGroupedRows(*definition, db);
    return layoutReport(definition, rows, reportPageLayout(*definition, pageSize), printed);
}

bool writeReportPdf(int reportNumber, const QString &pdfPath, QString *error)
{
    if (!reportDefinition(reportNumber)) {
        if (error)
            *error = QStringLiteral("There is no report %1.").arg(reportNumber);
        return false;
    }
    QSqlDatabase db;
    try {
        db = OpenConnection();
        Layout layout = buildReport(reportNumber, db, QPageSize(), Clock::now());
        closeConnection(db);
        return writeLayoutPdf(layout, pdfPath, error);
    } catch (const Failure &failure) {
        if (db.isValid())
            closeConnection(db);
        if (error)
            *error = failure.description();
        return false;
    }
}

} // namespace report
