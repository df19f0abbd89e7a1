#include "ReportRenderer.h"

#include "PdfReport.h"

#include "frame/Clock.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QFile>
#include <QCursor>
#include <QGuiApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPagedPaintDevice>
#include <QPdfWriter>

#include <algorithm>
#include <functional>
#include <map>
#include <numeric>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace report {

BusyPointer::BusyPointer() : m_shown(qobject_cast<QGuiApplication *>(QCoreApplication::instance()) != nullptr)
{
    if (m_shown)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

BusyPointer::~BusyPointer()
{
    if (m_shown)
        QGuiApplication::restoreOverrideCursor();
}

void paintPage(QPainter &painter, const Layout &layout, int pageIndex, double resolution)
{
    if (pageIndex < 0 || pageIndex >= layout.pageCount())
        return;
    paintPage(painter, layout, layout.allPages()[size_t(pageIndex)], resolution);
}

void paintPage(QPainter &painter, const Layout &layout, const Page &page, double resolution)
{
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
    for (const Item &item : page.items) {
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

std::vector<int> selectedPages(const QList<QPair<int, int>> &ranges, int pageCount)
{
    std::vector<int> pages;
    for (const auto &[from, to] : ranges) {
        for (int page = std::max(1, from); page <= std::min(to, pageCount); ++page)
            pages.push_back(page - 1);
    }
    return pages;
}

Status paintLayout(const Layout &layout, QPagedPaintDevice &device, const PaintSelection &selection)
{
    const BusyPointer busy;
    keepFreedMemory();
    std::vector<int> pages = selection.pages;
    if (pages.empty()) {
        pages.resize(size_t(layout.pageCount()));
        std::iota(pages.begin(), pages.end(), 0);
    }
    const int copies = std::max(1, selection.copies);

    QPainter painter;
    if (!painter.begin(&device))
        return failure(QStringLiteral("The report could not be started on the printer."));
    const double resolution = device.logicalDpiY();
    painter.translate(selection.origin);
    bool first = true;
    bool refused = false;
    const auto paintSheet = [&](const Page &page) {
        if (refused)
            return;
        if (!first && !device.newPage()) {
            refused = true;
            return;
        }
        first = false;
        paintPage(painter, layout, page, resolution);
    };

    // The pages are laid out again as they are painted, one at a time, in
    // their order; pages asked for in another order are kept until painted.
    const bool ascending = std::adjacent_find(pages.begin(), pages.end(), std::greater_equal<int>()) == pages.end();
    std::vector<char> selected(size_t(std::max(0, layout.pageCount())), 0);
    for (const int page : pages)
        selected[size_t(page)] = 1;
    const auto wanted = [&selected](int page) { return page < int(selected.size()) && selected[size_t(page)]; };
    if (layout.pageCount() == 0) {
        painter.end();
        return {};
    }
    if (ascending) {
        if (selection.collate) {
            for (int copy = 0; copy < copies; ++copy)
                layout.forEachPage(wanted, [&](int, const Page &page) { paintSheet(page); });
        } else {
            layout.forEachPage(wanted, [&](int, const Page &page) {
                for (int copy = 0; copy < copies; ++copy)
                    paintSheet(page);
            });
        }
    } else {
        std::map<int, Page> kept;
        layout.forEachPage(wanted, [&kept](int index, const Page &page) { kept.emplace(index, page); });
        const auto sheetsOf = [&](int page) {
            const auto found = kept.find(page);
            return found == kept.end() ? Page() : found->second;
        };
        for (int copy = 0; copy < (selection.collate ? copies : 1); ++copy) {
            for (const int page : pages) {
                for (int again = 0; again < (selection.collate ? 1 : copies); ++again)
                    paintSheet(sheetsOf(page));
            }
        }
    }
    if (refused) {
        painter.end();
        return failure(QStringLiteral("The printer refused a new page."));
    }
    if (!painter.end())
        return failure(QStringLiteral("The report could not be finished on the printer."));
    return {};
}

Status writeLayoutPdf(const Layout &layout, const QString &pdfPath)
{
    const BusyPointer busy;
    bool unsupportedFont = false;
    const Status direct = writeDirectPdf(layout, pdfPath, &unsupportedFont);
    if (!unsupportedFont)
        return direct;
    // A font the direct writer cannot embed: Qt's PDF engine draws it.
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
    return layoutReport(definition, std::make_shared<const GroupedRows>(std::move(rows).value()),
                        reportPageLayout(*definition, pageSize), printed);
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
