#pragma once

#include "ReportLayout.h"

#include <QAbstractScrollArea>

#include <map>

// The pages of a report one below the other, as on paper. Only the pages in
// sight are laid out and painted, so the first page shows at once whatever
// the report's length; the page count may still grow (setPageCount) while
// the report is being counted.
class PreviewPages : public QAbstractScrollArea {
    Q_OBJECT

public:
    explicit PreviewPages(QWidget *parent = nullptr);

    // The layout to show and the pages known so far.
    void setLayout(const report::Layout &layout, int pageCount);
    void setPageCount(int pageCount);
    int pageCount() const { return m_pageCount; }
    // How many times a page has been painted since the view was made.
    int paintedPages() const { return m_painted; }

    // The page at the top of the view, 0-based.
    int currentPage() const;
    void showPage(int page);

    double zoom() const { return m_zoom; }
    void setZoom(double zoom);
    void fitWidth();
    void fitPage();

signals:
    void currentPageChanged(int page);
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    enum class Fit { None, Width, Page };
    QSizeF paperPixels() const;
    int pageStride() const;
    void updateScrollBars();
    const report::Page *laidOutPage(int page);

    report::Layout m_layout;
    int m_pageCount = 0;
    double m_zoom = 1.0;
    Fit m_fit = Fit::Width;
    int m_painted = 0;
    int m_lastCurrent = -1;
    std::map<int, report::Page> m_pages; // the pages around the view, laid out
};
