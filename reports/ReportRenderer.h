#pragma once

#include "ReportLayout.h"

#include "base/Result.h"

#include <QDateTime>
#include <QList>
#include <QPageSize>
#include <QPair>
#include <QPointF>
#include <QString>

#include <vector>

class QPainter;
class QPagedPaintDevice;
class ReportStore;

namespace report {

// Draws one laid-out page. The painter's origin must be the top-left corner
// of the printable area; resolution is the device's dots per inch.
void paintPage(QPainter &painter, const Layout &layout, int pageIndex, double resolution);
void paintPage(QPainter &painter, const Layout &layout, const Page &page, double resolution);

// The hourglass for the time of a long reading, laying out or painting
// (nothing without a graphical application).
class BusyPointer {
public:
    BusyPointer();
    ~BusyPointer();
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    bool m_shown = false;
};

// Which pages go to the device, how often, and where the report's printable
// area starts on the device.
struct PaintSelection {
    std::vector<int> pages; // page indexes in order; empty means every page
    int copies = 1;         // painted copies (when the print system does not make them)
    bool collate = true;    // 1 2 3 1 2 3 rather than 1 1 2 2 3 3
    QPointF origin;         // the report's printable corner in device pixels, from the painter's origin
};

// The pages of a selection of 1-based page ranges (as a print dialog gives
// them), limited to the report's pages.
std::vector<int> selectedPages(const QList<QPair<int, int>> &ranges, int pageCount);

// Draws the selected pages on a printer or PDF writer whose page layout is
// already set, starting a new sheet between pages.
Status paintLayout(const Layout &layout, QPagedPaintDevice &device, const PaintSelection &selection = {});

// Writes the laid-out report to a PDF file.
Status writeLayoutPdf(const Layout &layout, const QString &pdfPath);

// Reads the report's rows and lays them out on the paper given (the default
// paper when invalid). Fails when the database fails; an unknown report
// number gives an empty layout without pages.
Result<Layout> buildReport(int reportNumber, ReportStore &store, const QPageSize &pageSize,
                           const QDateTime &printed);

// Reads the live database and writes the report to a PDF file, without any
// window.
Status writeReportPdf(int reportNumber, const QString &pdfPath);

} // namespace report
