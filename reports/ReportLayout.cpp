#include "ReportLayout.h"

#include "frame/Formats.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPrinterInfo>
#include <QTextLayout>

#include <cmath>
#include <unordered_map>

namespace report {

const std::vector<Page> &Layout::allPages() const
{
    if (!m_all) {
        auto all = std::make_shared<std::vector<Page>>();
        all->reserve(size_t(pages));
        forEachPage({}, [&all](int, const Page &page) { all->push_back(page); });
        m_all = std::move(all);
    }
    return *m_all;
}

std::vector<const Item *> Layout::itemsOf(int page, const QString &controlName, SectionKind section) const
{
    std::vector<const Item *> found;
    if (page < 0 || page >= pageCount())
        return found;
    const Control *control = definition->control(controlName, section);
    for (const Item &item : allPages()[size_t(page)].items) {
        if (item.control == control)
            found.push_back(&item);
    }
    return found;
}

QStringList Layout::textsOf(int page, const QString &controlName, SectionKind section) const
{
    QStringList texts;
    for (const Item *item : itemsOf(page, controlName, section))
        texts << item->text;
    return texts;
}

QFont styleFont(const Style &style)
{
    QFont font(style.family);
    font.setPixelSize(style.sizeTwips);
    font.setBold(style.bold);
    // Unhinted outlines, so that the measures scale to any printer resolution.
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(QFont::PreferOutline);
    return font;
}

TextMeasure::TextMeasure(const Style &style)
    : m_font(styleFont(style)), m_metrics(m_font), m_latin(256, -1.0f)
{
}

bool TextMeasure::surelyFits(const QString &text, int width) const
{
    // Kerning and shaping move glyphs by a little at most: keep a margin.
    const double limit = width * 0.97 - 10.0;
    double sum = 0;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u >= 256 || u == '\n' || u == '\t')
            return false;
        float &advance = m_latin[u];
        if (advance < 0)
            advance = float(m_metrics.horizontalAdvance(c));
        sum += advance;
        if (sum > limit)
            return false;
    }
    return true;
}

double TextMeasure::width(const QString &text) const
{
    return m_metrics.horizontalAdvance(text);
}

double TextMeasure::wrappedHeight(const QString &text, int width) const
{
    return m_metrics
        .boundingRect(QRectF(0, 0, width, 1.0e7), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, text)
        .height();
}

std::vector<TextMeasure::Line> TextMeasure::wrappedLines(const QString &text, int width) const
{
    // As QPainter::drawText with Qt::TextWordWrap lays text out: line breaks
    // as line separators, the font's leading above every line.
    QString laidOut = text;
    laidOut.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(laidOut, m_font);
    QTextOption option(Qt::AlignLeft);
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const double leading = std::max(0.0, m_metrics.leading());
    std::vector<Line> lines;
    double y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        y += leading;
        Line placed;
        placed.start = line.textStart();
        placed.length = line.textLength();
        placed.top = y;
        y += line.height();
        placed.bottom = y;
        lines.push_back(placed);
    }
    layout.endLayout();
    return lines;
}

QPageSize defaultPaperSize()
{
    const QPrinterInfo printer = QPrinterInfo::defaultPrinter();
    if (!printer.isNull()) {
        const QPageSize paper = printer.defaultPageSize();
        if (paper.isValid())
            return paper;
    }
    return QLocale::system().measurementSystem() == QLocale::ImperialUSSystem ? QPageSize(QPageSize::Letter)
                                                                            : QPageSize(QPageSize::A4);
}

QPageLayout reportPageLayout(const Definition &definition, const QPageSize &pageSize)
{
    const QMarginsF m = definition.margins / double(kTwipsPerPoint);
    return QPageLayout(pageSize.isValid() ? pageSize : defaultPaperSize(), definition.orientation, m,
                       QPageLayout::Point);
}

struct HeightKey {
    const Control *control;
    QString text;
    bool operator==(const HeightKey &other) const { return control == other.control && text == other.text; }
};
struct HeightKeyHash {
    size_t operator()(const HeightKey &key) const { return qHash(key.text, size_t(quintptr(key.control))); }
};

struct HeightCache {
    static constexpr size_t kLimit = 100000;
    std::unordered_map<HeightKey, int, HeightKeyHash> heights;
};

namespace {

class Builder {
public:
    // Lays the rows out; pages that `wanted` accepts (all when empty) are
    // handed to `take` with their page footers, which name pageCount pages.
    // Without `take` it only counts the pages.
    Builder(std::shared_ptr<const Definition> definition, const GroupedRows &rows, const QPageLayout &pageLayout,
            const QDateTime &printed, HeightCache &heights, int pageCount = 0, std::function<bool(int)> wanted = {},
            std::function<void(int, const Page &)> take = {}, std::function<bool(int)> pageStarted = {})
        : m_def(std::move(definition)), m_rows(rows), m_pageCount(pageCount), m_wanted(std::move(wanted)),
          m_take(std::move(take)), m_pageStarted(std::move(pageStarted)), m_heightCache(heights.heights)
    {
        const QRectF paint = pageLayout.paintRect(QPageLayout::Point);
        m_bodyHeight = int(std::floor(paint.height() * kTwipsPerPoint));
        m_footerTop = m_bodyHeight - m_def->section(SectionKind::PageFooter).height;
        for (const Style &style : m_def->styles)
            m_measures.emplace_back(style);
        m_date = formatShortDate(printed.date());
        m_time = QLocale::system().toString(printed.time(), QLocale::ShortFormat);
    }

    // The number of pages; 0 when pageStarted stopped the laying out.
    int run()
    {
        try {
            return layOut();
        } catch (const Stopped &) {
            return 0;
        }
    }

private:
    struct Stopped {};

    int layOut()
    {
        const Section &groupHeader = m_def->section(SectionKind::GroupHeader);
        const Section &detail = m_def->section(SectionKind::Detail);
        const Section &groupFooter = m_def->section(SectionKind::GroupFooter);

        startPage();
        placeSection(m_def->section(SectionKind::ReportHeader), nullptr, 0);
        placeSection(m_def->section(SectionKind::PageHeader), nullptr, 0);
        m_pageBodyTop = m_y;

        for (const GroupedRows::Group &group : m_rows.groups) {
            const QString *headerTexts = m_rows.headerTexts.empty() ? nullptr : &m_rows.headerText(group, 0);
            const auto detailTexts = [this](int i) {
                return m_rows.detailColumns > 0 ? m_rows.detailRow(m_rows.detailOrder[size_t(i)], m_rowBuffer)
                                                : nullptr;
            };
            int keep = groupHeader.height;
            if (group.begin < group.end)
                keep += sectionHeight(detail, detailTexts(group.begin), m_heights);
            ensureRoom(keep);
            placeSection(groupHeader, headerTexts, 0);
            for (int i = group.begin; i < group.end; ++i) {
                const QString *texts = detailTexts(i);
                const int height = sectionHeight(detail, texts, m_heights);
                if (height > continuationRoom()) {
                    placeAcrossPages(detail, texts);
                    continue;
                }
                ensureRoom(height);
                placeSection(detail, texts, height, &m_heights);
            }
            ensureRoom(groupFooter.height);
            placeSection(groupFooter, nullptr, 0);
        }
        const Section &reportFooter = m_def->section(SectionKind::ReportFooter);
        ensureRoom(reportFooter.height);
        placeSection(reportFooter, nullptr, 0);

        finishPage();
        return m_pageIndex + 1;
    }

    void startPage()
    {
        finishPage();
        if (m_pageIndex >= 0 && m_pageStarted && !m_pageStarted(m_pageIndex + 1))
            throw Stopped{};
        ++m_pageIndex;
        m_page.items.clear();
        m_collect = m_take && (!m_wanted || m_wanted(m_pageIndex));
        m_y = 0;
    }

    // Hands the page on with its footer.
    void finishPage()
    {
        if (m_pageIndex < 0 || !m_collect)
            return;
        placePageFooter();
        m_take(m_pageIndex, m_page);
        m_collect = false;
    }

    // Starts a new page when the next block does not fit above the page
    // footer, unless the page holds nothing but its headers yet.
    void ensureRoom(int height)
    {
        if (m_y + height <= m_footerTop || m_y <= m_pageBodyTop)
            return;
        continueOnNextPage();
    }

    void continueOnNextPage()
    {
        startPage();
        placeSection(m_def->section(SectionKind::PageHeader), nullptr, 0);
        m_pageBodyTop = m_y;
    }

    // The room for the body of a page after the first.
    int continuationRoom() const { return m_footerTop - m_def->section(SectionKind::PageHeader).height; }

    // Places a detail line taller than a page: its growing text boxes are cut
    // between lines of text and continue on the following pages, below the
    // page header; the other boxes print on the first part.
    void placeAcrossPages(const Section &section, const QString *texts)
    {
        struct Growing {
            const Control *control;
            QString text;
            std::vector<TextMeasure::Line> lines;
            size_t next = 0;
        };
        std::vector<Growing> growing;
        int column = 0;
        for (const Control &control : section.controls) {
            if (control.kind != ControlKind::TextBox)
                continue;
            const QString &text = texts[column++];
            if (control.canGrow && !text.isEmpty())
                growing.push_back({&control, text, m_measures[size_t(control.style)].wrappedLines(text, control.width)});
        }
        // The line starts where at least the first line of every growing box fits.
        int firstPart = section.height;
        for (const Growing &g : growing) {
            if (!g.lines.empty())
                firstPart = std::max(firstPart, g.control->top + int(std::ceil(g.lines.front().bottom)));
        }
        ensureRoom(firstPart);

        for (bool first = true;; first = false) {
            std::vector<Item> &items = m_page.items;
            int used = first ? section.height : 0;
            if (first) {
                // Everything but the growing boxes, as on an ordinary line.
                const size_t before = items.size();
                placeSection(section, texts, section.height);
                m_y -= section.height;
                items.erase(std::remove_if(items.begin() + qsizetype(before), items.end(),
                                           [&growing](const Item &item) {
                                               return std::any_of(growing.begin(), growing.end(),
                                                                  [&item](const Growing &g) {
                                                                      return g.control == item.control;
                                                                  });
                                           }),
                            items.end());
            }
            const bool freshPage = m_y <= m_pageBodyTop;
            bool done = true;
            for (Growing &g : growing) {
                if (g.next >= g.lines.size())
                    continue;
                const int room = m_footerTop - m_y - g.control->top;
                // This part is drawn as a text of its own: its first line
                // keeps the leading above it.
                const double top = g.next == 0 ? 0.0 : g.lines[g.next - 1].bottom;
                size_t end = g.next;
                while (end < g.lines.size() && g.lines[end].bottom - top <= room)
                    ++end;
                if (end == g.next && freshPage)
                    ++end; // a line taller than a whole page: it is cut
                if (end > g.next) {
                    const qsizetype from = g.lines[g.next].start;
                    const qsizetype to = g.lines[end - 1].start + g.lines[end - 1].length;
                    Item item;
                    item.control = g.control;
                    item.x = g.control->left;
                    item.y = m_y + g.control->top;
                    item.width = g.control->width;
                    item.text = g.text.mid(from, to - from);
                    if (item.text.endsWith(QLatin1Char('\n')))
                        item.text.chop(1);
                    const int height = int(std::ceil(g.lines[end - 1].bottom - top));
                    item.height = std::max(g.control->height, std::min(height, room));
                    item.wrap = true;
                    item.clip = height > room;
                    used = std::max(used, g.control->top + item.height);
                    items.push_back(std::move(item));
                    g.next = end;
                }
                if (g.next < g.lines.size())
                    done = false;
            }
            if (done) {
                m_y += used;
                return;
            }
            continueOnNextPage();
        }
    }

    int textHeight(const Control &control, const QString &text) const
    {
        if (!control.canGrow || text.isEmpty())
            return control.height;
        const TextMeasure &measure = m_measures[size_t(control.style)];
        if (measure.surelyFits(text, control.width))
            return control.height;
        // Texts come back (the passes over a report, repeated notes): measure each once.
        HeightKey key{&control, text};
        if (const auto found = m_heightCache.find(key); found != m_heightCache.end())
            return found->second;
        int height = control.height;
        if (text.contains(QLatin1Char('\n')) || measure.width(text) > control.width)
            height = std::max(control.height, int(std::ceil(measure.wrappedHeight(text, control.width))));
        if (m_heightCache.size() >= HeightCache::kLimit)
            m_heightCache.clear();
        m_heightCache.emplace(std::move(key), height);
        return height;
    }

    // The height of a section for one row: its own height, or more when a
    // growing text box needs it. heights receives the height of every text
    // box of the section, in order.
    int sectionHeight(const Section &section, const QString *texts, std::vector<int> &heights) const
    {
        heights.clear();
        int height = section.height;
        int column = 0;
        for (const Control &control : section.controls) {
            if (control.kind != ControlKind::TextBox)
                continue;
            const int grown = texts ? textHeight(control, texts[column]) : control.height;
            heights.push_back(grown);
            height = std::max(height, section.height + grown - control.height);
            ++column;
        }
        return height;
    }

    QString labelText(const Control &control) const
    {
        if (!control.text.contains(QLatin1Char('%')))
            return control.text;
        QString text = control.text;
        text.replace(QLatin1String("%D"), m_date);
        text.replace(QLatin1String("%T"), m_time);
        return text;
    }

    // Places one section at the current position; texts holds one text per
    // text box of the section. height 0 means the section's own height.
    void placeSection(const Section &section, const QString *texts, int height,
                      const std::vector<int> *heights = nullptr)
    {
        if (height == 0)
            height = section.height;
        if (height == 0)
            return;
        const int available = std::max(0, m_footerTop - m_y);
        if (!m_collect) {
            m_y += std::min(height, std::max(available, section.height));
            return;
        }
        std::vector<Item> &items = m_page.items;
        int column = 0;
        for (const Control &control : section.controls) {
            Item item;
            item.control = &control;
            item.x = control.left;
            item.y = m_y + control.top;
            item.width = control.width;
            item.height = control.height;
            switch (control.kind) {
            case ControlKind::Shape:
                break;
            case ControlKind::Label:
                item.text = labelText(control);
                item.clip = true;
                break;
            case ControlKind::TextBox:
                item.text = texts ? texts[column] : QString();
                ++column;
                // Null prints as nothing; an empty group heading still marks its band.
                if (item.text.isEmpty() && section.kind != SectionKind::GroupHeader)
                    continue;
                if (control.canGrow) {
                    const int needed = heights ? (*heights)[size_t(column - 1)] : textHeight(control, item.text);
                    item.wrap = needed > control.height || item.text.contains(QLatin1Char('\n'));
                    // A line taller than a whole page is cut at the page footer.
                    item.height = std::min(needed, std::max(control.height, available - control.top));
                    item.clip = item.height < needed;
                } else {
                    item.clip = !m_measures[size_t(control.style)].surelyFits(item.text, control.width);
                }
                break;
            }
            items.push_back(std::move(item));
        }
        m_y += std::min(height, std::max(available, section.height));
    }

    void placePageFooter()
    {
        const Section &footer = m_def->section(SectionKind::PageFooter);
        for (const Control &control : footer.controls) {
            Item item;
            item.control = &control;
            item.x = control.left;
            item.y = m_footerTop + control.top;
            item.width = control.width;
            item.height = control.height;
            if (control.kind == ControlKind::Label) {
                item.text = labelText(control);
                item.clip = true;
                item.text.replace(QLatin1String("%p"), QString::number(m_pageIndex + 1));
                item.text.replace(QLatin1String("%P"),
                                  m_pageCount > 0 ? QString::number(m_pageCount) : QStringLiteral("\u2026"));
            }
            m_page.items.push_back(std::move(item));
        }
    }


    std::shared_ptr<const Definition> m_def;
    const GroupedRows &m_rows;
    int m_pageCount = 0;
    std::function<bool(int)> m_wanted;
    std::function<void(int, const Page &)> m_take;
    std::function<bool(int)> m_pageStarted;
    DetailTexts::Buffer m_rowBuffer;
    Page m_page;
    int m_pageIndex = -1;
    bool m_collect = false;
    std::unordered_map<HeightKey, int, HeightKeyHash> &m_heightCache;
    std::vector<TextMeasure> m_measures;
    std::vector<int> m_heights;
    QString m_date;
    QString m_time;
    int m_bodyHeight = 0;
    int m_footerTop = 0;
    int m_pageBodyTop = 0;
    int m_y = 0;
};

} // namespace

void Layout::forEachPage(const std::function<bool(int page)> &wanted,
                         const std::function<void(int page, const Page &items)> &take, int lastPage) const
{
    if (!definition || !rows)
        return;
    if (!heights)
        heights = std::make_shared<HeightCache>();
    std::function<bool(int)> pageStarted;
    if (lastPage >= 0)
        pageStarted = [lastPage](int page) { return page <= lastPage; };
    Builder(definition, *rows, pageLayout, printed, *heights, pages, wanted, take, pageStarted).run();
}

Layout layoutReport(std::shared_ptr<const Definition> definition, std::shared_ptr<const GroupedRows> rows,
                    const QPageLayout &pageLayout, const QDateTime &printed,
                    const std::function<bool(int page)> &pageStarted)
{
    Layout layout;
    layout.definition = definition;
    layout.pageLayout = pageLayout;
    layout.rows = rows;
    layout.printed = printed;
    layout.heights = std::make_shared<HeightCache>();
    if (definition && rows)
        layout.pages = Builder(std::move(definition), *rows, pageLayout, printed, *layout.heights, 0, {}, {},
                               pageStarted)
                           .run();
    return layout;
}

} // namespace report
