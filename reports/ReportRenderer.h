#pragma once

#include "ReportLayout.h"

#include <QDateTime>
#include <QPageSize>
#include <QSqlDatabase>
#include <QString>

class QPainter;
class QPagedPaintDevice;

namespace report {

// Draws one laid-out page. The painter's origin must be the top-left corner
// of the printable area; resolution is the device's dots per inch.
void paintPage(QPainter &painter, const Layout &layout, int pageIndex, double resolution);

// Draws every page on a printer or PDF writer whose page layout is already
// set, starting a new sheet between pages.
bool paintLayout(const Layout &layout, QPagedPaintDevice &device, QString *error);

// Writes the laid-out report to a PDF file.
bool writeLayoutPdf(const Layout &layout, const QString &pdfPath, QString *error);

// Reads the report's rows on the connection and lays them out on the paper
// given (the system default when invalid). Throws Failure when the database
// fails; an unknown report number gives an empty layout without pages.
Layout buildReport(int reportNumber, const QSqlDatabase &db, const QPageSize &pageSize,
                   const QDateTime &printed);

// Reads the live database and writes the report to a PDF file, without any
// window. Returns false and sets error when something fails.
bool writeReportPdf(int reportNumber, const QString &pdfPath, QString *error);

} // namespace report
