#pragma once

#include "ReportData.h"
#include "ReportDefinition.h"

#include <QDateTime>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace report {

// One positioned thing on a laid-out page. Coordinates are twips from the
// top-left corner of the printable area (inside the page margins).
struct Item {
    const Control *control = nullptr; // what it shows; its style and kind
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    QString text; // empty for shapes
    bool wrap = false; // word-wrapped over several lines (a grown text box)
    bool clip = false; // one line that may be wider than its box: cut at the box
};

struct Page {
    std::vector<Item> items;
};

// A report laid out on pages. Only the page count is kept: the pages' items
// are laid out again when they are wanted, page by page, so that a report of
// any size is painted in little memory.
struct HeightCache;

struct Layout {
    std::shared_ptr<const Definition> definition;
    QPageLayout pageLayout;
    std::shared_ptr<const GroupedRows> rows;
    QDateTime printed;
    int pages = 0;
    // Heights of grown text boxes measured so far, by control and text: the
    // passes over one report measure each text once.
    mutable std::shared_ptr<HeightCache> heights;

    int pageCount() const { return pages; }

    // Lays the pages out again, from the first, and hands every page that
    // `wanted` accepts (all when it is empty) to `take`, in order. A page
    // lives only for the call.
    // With lastPage, the laying out stops after that page. While the page
    // count is not known yet (pages is 0), footers show "…" for it.
    void forEachPage(const std::function<bool(int page)> &wanted,
                     const std::function<void(int page, const Page &items)> &take, int lastPage = -1) const;

    // Every page at once, laid out on the first call and kept: for small
    // reports and for looking at a layout.
    const std::vector<Page> &allPages() const;

    // The items of one control on a page, from top to bottom.
    std::vector<const Item *> itemsOf(int page, const QString &controlName,
                                      SectionKind section) const;
    // Their texts.
    QStringList textsOf(int page, const QString &controlName, SectionKind section) const;

private:
    mutable std::shared_ptr<std::vector<Page>> m_all;
};

// The font of a style, sized in twips (one pixel of the font is one twip).
QFont styleFont(const Style &style);

// Measures text in a style's font, in twips. Widths of single characters are
// cached, so that most texts are judged without shaping them.
class TextMeasure {
public:
    explicit TextMeasure(const Style &style);
    // True when the text surely fits on one line of the width; false when it
    // may not (then the exact measures below decide).
    bool surelyFits(const QString &text, int width) const;
    double width(const QString &text) const;
    // The height of the text word-wrapped at the width.
    double wrappedHeight(const QString &text, int width) const;
    double ascent() const { return m_metrics.ascent(); }

    // The lines of the text word-wrapped at the width, placed as a painter
    // places them: each line's characters and its top and bottom.
    struct Line {
        qsizetype start = 0;
        qsizetype length = 0;
        double top = 0;
        double bottom = 0;
    };
    std::vector<Line> wrappedLines(const QString &text, int width) const;

private:
    QFont m_font;
    QFontMetricsF m_metrics;
    mutable std::vector<float> m_latin; // advances of U+0000..U+00FF, negative while unknown
};

// The page layout of a report on the given paper: its orientation and its
// margins. An invalid page size means the default paper: the default
// printer's, or without a printer the locale's (Letter where the locale
// measures in inches, A4 elsewhere). Preview, printing and PDF files alike
// start from it.
QPageLayout reportPageLayout(const Definition &definition, const QPageSize &pageSize = QPageSize());
QPageSize defaultPaperSize();

// Lays the rows out on pages: the report header on the first page, the page
// header at the top and the page footer at the bottom of every page, the
// groups and their detail lines in between. A group header is kept with its
// first detail line; a grown detail line moves whole to the next page when it
// does not fit, and one taller than a page continues over as many pages as
// it needs, each with its page header. %D and %T print the given moment, %p and %P the page number
// and the page count.
// The layout is counted out here; its pages are laid out when they are painted.
//
// pageStarted, when given, is called as each page after the first begins;
// when it answers false the counting stops and the layout has no pages.
Layout layoutReport(std::shared_ptr<const Definition> definition, std::shared_ptr<const GroupedRows> rows,
                    const QPageLayout &pageLayout, const QDateTime &printed,
                    const std::function<bool(int page)> &pageStarted = {});

} // namespace report
