#include "PreviewPages.h"

#include "ReportRenderer.h"

#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

namespace {
constexpr int kGap = 12;          // pixels around and between pages
constexpr int kPagesAhead = 4;    // laid out together with the one wanted
constexpr size_t kPagesKept = 40; // laid-out pages kept for scrolling back
} // namespace

PreviewPages::PreviewPages(QWidget *parent) : QAbstractScrollArea(parent)
{
    setObjectName(QStringLiteral("previewPages"));
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(true);
    verticalScrollBar()->setSingleStep(20);
    horizontalScrollBar()->setSingleStep(20);
}

void PreviewPages::setLayout(const report::Layout &layout, int pageCount)
{
    m_layout = layout;
    m_pages.clear();
    setPageCount(pageCount);
    viewport()->update();
}

void PreviewPages::setPageCount(int pageCount)
{
    m_pageCount = pageCount;
    updateScrollBars();
    viewport()->update();
}

QSizeF PreviewPages::paperPixels() const
{
    return m_layout.pageLayout.fullRectPoints().size() * (m_zoom * logicalDpiX() / 72.0);
}

int PreviewPages::pageStride() const
{
    return int(std::ceil(paperPixels().height())) + kGap;
}

void PreviewPages::updateScrollBars()
{
    const QSizeF paper = paperPixels();
    const int width = int(std::ceil(paper.width())) + 2 * kGap;
    const int height = m_pageCount * pageStride() + kGap;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    verticalScrollBar()->setRange(0, std::max(0, height - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

int PreviewPages::currentPage() const
{
    if (m_pageCount == 0)
        return 0;
    const int stride = pageStride();
    return std::clamp((verticalScrollBar()->value() + stride / 3) / stride, 0, m_pageCount - 1);
}

void PreviewPages::showPage(int page)
{
    if (m_pageCount == 0)
        return;
    page = std::clamp(page, 0, m_pageCount - 1);
    verticalScrollBar()->setValue(page * pageStride());
    emit currentPageChanged(currentPage());
}

void PreviewPages::setZoom(double zoom)
{
    m_fit = Fit::None;
    const int page = currentPage();
    m_zoom = std::clamp(zoom, 0.1, 8.0);
    updateScrollBars();
    showPage(page);
    viewport()->update();
    emit zoomChanged(m_zoom);
}

void PreviewPages::fitWidth()
{
    const double paper = m_layout.pageLayout.fullRectPoints().width() * logicalDpiX() / 72.0;
    if (paper > 0)
        setZoom((viewport()->width() - 2.0 * kGap) / paper);
    m_fit = Fit::Width;
}

void PreviewPages::fitPage()
{
    const QSizeF paper = m_layout.pageLayout.fullRectPoints().size() * (logicalDpiX() / 72.0);
    if (paper.width() > 0 && paper.height() > 0)
        setZoom(std::min((viewport()->width() - 2.0 * kGap) / paper.width(),
                         (viewport()->height() - 2.0 * kGap) / paper.height()));
    m_fit = Fit::Page;
}

void PreviewPages::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    if (m_fit == Fit::Width)
        fitWidth();
    else if (m_fit == Fit::Page)
        fitPage();
    else
        updateScrollBars();
}

void PreviewPages::scrollContentsBy(int, int)
{
    viewport()->update();
    const int page = currentPage();
    if (page != m_lastCurrent) {
        m_lastCurrent = page;
        emit currentPageChanged(page);
    }
}

const report::Page *PreviewPages::laidOutPage(int page)
{
    if (const auto found = m_pages.find(page); found != m_pages.end())
        return &found->second;
    if (m_pages.size() > kPagesKept)
        m_pages.clear();
    // The pages are laid out from the first on: a few at a time.
    const int last = std::min(page + kPagesAhead, m_pageCount - 1);
    m_layout.forEachPage([page, last](int index) { return index >= page && index <= last; },
                         [this](int index, const report::Page &laidOut) { m_pages.emplace(index, laidOut); }, last);
    const auto found = m_pages.find(page);
    return found == m_pages.end() ? nullptr : &found->second;
}

void PreviewPages::paintEvent(QPaintEvent *)
{
    if (!m_layout.definition || m_pageCount == 0)
        return;
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QSizeF paper = paperPixels();
    const double pixelsPerPoint = m_zoom * logicalDpiX() / 72.0;
    const QMarginsF margins = m_layout.pageLayout.margins(QPageLayout::Point);
    const int stride = pageStride();
    const int top = verticalScrollBar()->value();
    const double left = std::max<double>(kGap, (viewport()->width() - paper.width()) / 2.0)
        - horizontalScrollBar()->value();
    const int first = std::max(0, (top - kGap) / stride);
    const int last = std::min(m_pageCount - 1, (top + viewport()->height()) / stride);
    for (int page = first; page <= last; ++page) {
        const QRectF sheet(left, kGap + double(page) * stride - top, paper.width(), paper.height());
        painter.fillRect(sheet.translated(3, 3), palette().color(QPalette::Shadow));
        painter.fillRect(sheet, Qt::white);
        const report::Page *items = laidOutPage(page);
        if (!items)
            continue;
        painter.save();
        painter.setClipRect(sheet);
        painter.translate(sheet.topLeft() + QPointF(margins.left(), margins.top()) * pixelsPerPoint);
        report::paintPage(painter, m_layout, *items, pixelsPerPoint * 72.0);
        painter.restore();
        ++m_painted;
    }
}
