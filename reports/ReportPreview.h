#pragma once

#include "ReportData.h"
#include "ReportLayout.h"

#include "base/Result.h"

#include <QDateTime>
#include <QDialog>

#include <memory>
#include <optional>

class QAction;
class QLabel;
class QLineEdit;
class QComboBox;
class QPrinter;
class PageCounter;
class PreviewPages;
class ReportStore;

namespace report {
class BusyPointer;
}

// The modal preview of one report: pages through it, zooms, prints on any
// printer of the system and saves it as PDF. Its printer's page layout
// carries the report's orientation and margins.
//
// The first page shows as soon as the rows are read: the pages are counted
// on a thread while the window is live (under the busy pointer), and only
// the pages in sight are laid out and painted. Printing, saving and
// layout() wait for the count when it is still running.
class ReportPreview : public QDialog {
    Q_OBJECT

public:
    explicit ReportPreview(std::shared_ptr<const report::Definition> definition, QWidget *parent = nullptr);
    ~ReportPreview() override;

    // Reads the report's rows and starts laying them out.
    Status load(ReportStore &store, const QDateTime &printed);

    const report::Definition &definition() const { return *m_definition; }
    // The whole layout, counted to its end.
    const report::Layout &layout();
    bool isLaidOut() const { return m_laidOut; }
    PreviewPages *pages() const { return m_pages; }
    QPrinter *reportPrinter() const { return m_printer.get(); }
    QAction *savePdfAction() const { return m_savePdf; }

    // Writes the report, as laid out on the current page, to a PDF file.
    Status savePdf(const QString &path);

signals:
    // Paints the report on the printer (as its print dialog left it).
    void paintRequested(QPrinter *printer);

private:
    void buildToolBar();
    void paintPages(QPrinter *printer);
    void print();
    void relayoutFor(const QPageLayout &pageLayout);
    void chooseAndSavePdf();
    void showCount(int pages);
    void takeLayout(const report::Layout &layout);
    void finishLayout();

    std::shared_ptr<const report::Definition> m_definition;
    std::unique_ptr<QPrinter> m_printer;
    std::shared_ptr<const report::GroupedRows> m_rows;
    QDateTime m_printed;
    report::Layout m_layout;
    bool m_laidOut = false;
    std::unique_ptr<report::BusyPointer> m_busy; // while the pages are counted
    PageCounter *m_counter = nullptr;
    PreviewPages *m_pages = nullptr;
    QAction *m_savePdf = nullptr;
    QLineEdit *m_pageNumber = nullptr;
    QLabel *m_pageTotal = nullptr;
    QComboBox *m_zoom = nullptr;
};
