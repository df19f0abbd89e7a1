#pragma once

#include "ReportData.h"
#include "ReportLayout.h"

#include <QDateTime>
#include <QPrintPreviewDialog>
#include <QSqlDatabase>

#include <memory>

class QAction;
class QPrinter;

// The modal preview of one report: pages through it, zooms, prints on any
// printer of the system and saves it as PDF. Its printer's page layout
// carries the report's orientation and margins.
class ReportPreview : public QPrintPreviewDialog {
    Q_OBJECT

public:
    explicit ReportPreview(std::shared_ptr<const report::Definition> definition, QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Reads the report's rows on the connection and lays them out. Throws
    // Failure when the database fails.
    void load(const QSqlDatabase &db, const QDateTime &printed);

    const report::Definition &definition() const { return *m_definition; }
    const report::Layout &layout() const { return m_layout; }
    QPrinter *reportPrinter() const { return m_printer; }
    QAction *savePdfAction() const { return m_savePdf; }

    // Writes the report, as laid out on the current page, to a PDF file.
    bool savePdf(const QString &path, QString *error);

private:
    void paintPages(QPrinter *printer);
    void relayoutFor(const QPageLayout &pageLayout);
    void chooseAndSavePdf();

    std::shared_ptr<const report::Definition> m_definition;
    QPrinter *m_printer = nullptr; // ours; deleted after the preview's widgets are gone
    report::GroupedRows m_rows;
    QDateTime m_printed;
    report::Layout m_layout;
    QAction *m_savePdf = nullptr;
};
