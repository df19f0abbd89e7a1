#pragma once

#include "ReportData.h"
#include "ReportLayout.h"

#include <QDateTime>
#include "base/Result.h"

#include <QPrintPreviewDialog>

#include <memory>

class QAction;
class QPrinter;
class ReportStore;

// The modal preview of one report: pages through it, zooms, prints on any
// printer of the system and saves it as PDF. Its printer's page layout
// carries the report's orientation and margins.
class ReportPreview : public QPrintPreviewDialog {
    Q_OBJECT

public:
    explicit ReportPreview(std::shared_ptr<const report::Definition> definition, QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Reads the report's rows and lays them out.
    Status load(ReportStore &store, const QDateTime &printed);

    const report::Definition &definition() const { return *m_definition; }
    const report::Layout &layout() const { return m_layout; }
    QPrinter *reportPrinter() const { return m_printer; }
    QAction *savePdfAction() const { return m_savePdf; }

    // Writes the report, as laid out on the current page, to a PDF file.
    Status savePdf(const QString &path);

private:
    void paintPages(QPrinter *printer);
    void removeLayoutChoices();
    void relayoutFor(const QPageLayout &pageLayout);
    void chooseAndSavePdf();

    std::shared_ptr<const report::Definition> m_definition;
    QPrinter *m_printer = nullptr; // ours; deleted after the preview's widgets are gone
    std::shared_ptr<const report::GroupedRows> m_rows;
    QDateTime m_printed;
    report::Layout m_layout;
    QAction *m_savePdf = nullptr;
};
