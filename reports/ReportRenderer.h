#pragma once

#include "ReportLayout.h"

#include "frame/Result.h"

#include <QDateTime>
#include <QPageSize>
#include <QString>

class QPainter;
class QPagedPaintDevice;
class ReportStore;

namespace report {

// Draws one laid-out page. The painter's origin must be the top-left corner
// of the printable area; resolution is the device's dots per inch.
void paintPage(QPainter &painter, const Layout &layout, int pageIndex, double resolution);

// Draws every page on a printer or PDF writer whose page layout is already
// set, starting a new sheet between pages.
Status paintLayout(const Layout &layout, QPagedPaintDevice &device);

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
