#include "PdfReport.h"

#include <algorithm>

#include "PdfFile.h"
#include "PdfFont.h"
#include "TextPlacement.h"

#include <QDateTime>
#include <QFontMetricsF>
#include <QHash>
#include <QTimeZone>

#include <cmath>
#include <deque>
#include <memory>

namespace report {

namespace {

using pdf::appendInteger;
using pdf::appendNumber;

// A text of the report as it goes into page contents: pieces of one font on
// one baseline, each with its TJ operation ready, relative to the text's box.
struct WrittenText {
    struct Piece {
        int font = 0;
        double size = 0;
        QPointF origin;
        QByteArray show; // "[<...>] TJ"
    };
    std::vector<Piece> pieces;
    std::optional<QRectF> clip;
    QByteArray actualText; // the text's characters where its glyphs do not tell them
};

struct TextKey {
    int style = 0;
    int flags = -1; // -1: one line from the box's corner
    int width = 0;
    int height = 0;
    QString text;
    bool operator==(const TextKey &other) const
    {
        return style == other.style && flags == other.flags && width == other.width && height == other.height
            && text == other.text;
    }
};

size_t qHash(const TextKey &key, size_t seed = 0)
{
    return qHashMulti(seed, key.style, key.flags, key.width, key.height, key.text);
}

struct UnsupportedFont {};

void appendColor(QByteArray &out, const QColor &color, const char *operation)
{
    for (const float component : {color.redF(), color.greenF(), color.blueF()}) {
        const int thousandths = int(std::lround(component * 1000));
        if (thousandths >= 1000) {
            out.append('1');
        } else {
            out.append("0.");
            out.append(char('0' + thousandths / 100)).append(char('0' + thousandths / 10 % 10)).append(char('0' + thousandths % 10));
        }
        out.append(' ');
    }
    out.append(operation).append('\n');
}

class Writer {
public:
    Writer(const Layout &layout) : m_layout(layout), m_definition(*layout.definition)
    {
        for (const Style &style : m_definition.styles) {
            m_fonts.push_back(styleFont(style));
            m_ascents.push_back(QFontMetricsF(m_fonts.back()).ascent());
        }
    }

    Status write(const QString &path)
    {
        if (!m_file.open(path))
            return failure(m_file.errorString());
        const int catalog = m_file.reserve();
        const int pagesObject = m_file.reserve();
        const int resources = m_file.reserve();
        const QRectF paper = m_layout.pageLayout.fullRectPoints();
        const QRectF paint = m_layout.pageLayout.paintRect(QPageLayout::Point);
        QByteArray pageStart("q 0.05 0 0 -0.05 ");
        appendNumber(pageStart, paint.left());
        pageStart.append(' ');
        appendNumber(pageStart, paper.height() - paint.top());
        pageStart.append(" cm\n");
        QByteArray pageDictionary(" /Parent ");
        appendInteger(pageDictionary, pagesObject);
        pageDictionary.append(" 0 R /MediaBox [0 0 ");
        appendNumber(pageDictionary, paper.width());
        pageDictionary.append(' ');
        appendNumber(pageDictionary, paper.height());
        pageDictionary.append("] /Resources ");
        appendInteger(pageDictionary, resources);
        pageDictionary.append(" 0 R");

        // Each page's contents are deflated on a second thread while the
        // next page is laid out; the pages are written in order all the same.
        std::vector<int> pages;
        pages.reserve(size_t(m_layout.pageCount()));
        pdf::Deflater deflater;
        std::deque<int> contentsObjects; // of the pages not written yet
        size_t written = 0;
        const auto writeNextPage = [&] {
            const int pageObject = pages[written++];
            const int contents = contentsObjects.front();
            contentsObjects.pop_front();
            m_file.writeDeflatedStream(contents, QByteArray(), deflater.take());
            QByteArray body("<< /Type /Page");
            body.append(pageDictionary).append(" /Contents ");
            appendInteger(body, contents);
            body.append(" 0 R >>");
            m_file.writeObject(pageObject, body);
        };
        m_layout.forEachPage({}, [&](int, const Page &page) {
            m_content = pageStart;
            paintItems(page);
            m_content.append("Q\n");
            contentsObjects.push_back(m_file.reserve());
            pages.push_back(m_file.reserve());
            deflater.push(m_content);
            while (pages.size() - written > 2)
                writeNextPage();
        });
        while (written < pages.size())
            writeNextPage();

        QByteArray kids("<< /Type /Pages /Count ");
        appendInteger(kids, qint64(pages.size()));
        kids.append(" /Kids [");
        for (const int page : pages) {
            appendInteger(kids, page);
            kids.append(" 0 R ");
        }
        kids.append("] >>");
        m_file.writeObject(pagesObject, kids);

        QByteArray fontList("<< /ProcSet [/PDF /Text] /Font <<");
        for (size_t i = 0; i < m_embedded.size(); ++i) {
            fontList.append(" /F");
            appendInteger(fontList, qint64(i));
            fontList.append(' ');
            appendInteger(fontList, m_embedded[i]->object());
            fontList.append(" 0 R");
        }
        fontList.append(" >> >>");
        m_file.writeObject(resources, fontList);
        for (const auto &font : m_embedded)
            font->write(m_file);

        QByteArray root("<< /Type /Catalog /Pages ");
        appendInteger(root, pagesObject);
        root.append(" 0 R >>");
        m_file.writeObject(catalog, root);
        const int info = m_file.reserve();
        const QDateTime now = QDateTime::currentDateTime();
        QString offset = now.timeZone().displayName(now, QTimeZone::OffsetName); // "UTC+02:00"
        offset = offset.mid(3).replace(QLatin1Char(':'), QLatin1Char('\''));
        QByteArray infoBody("<< /Title ");
        infoBody.append(pdf::hexText(m_definition.title)).append(" /Creator ").append(pdf::hexText(QStringLiteral("Corvanta")));
        infoBody.append(" /Producer ").append(pdf::hexText(QStringLiteral("Corvanta")));
        infoBody.append(" /CreationDate (D:").append(now.toString(QStringLiteral("yyyyMMddHHmmss")).toLatin1());
        infoBody.append(offset.isEmpty() ? QByteArray("Z") : offset.toLatin1() + '\'').append(") >>");
        m_file.writeObject(info, infoBody);
        if (!m_file.finish(catalog, info))
            return failure(m_file.errorString());
        return {};
    }

private:
    void paintItems(const Page &page)
    {
        m_currentFont = -1;
        m_currentColor = QColor();
        m_inText = false;
        for (const Item &item : page.items) {
            const Control &control = *item.control;
            if (control.kind == ControlKind::Shape) {
                paintShape(item, control);
                continue;
            }
            if (item.text.isEmpty())
                continue;
            paintText(item, control.style);
        }
        endText();
    }

    void endText()
    {
        if (m_inText)
            m_content.append("ET\n");
        m_inText = false;
    }

    void appendRect(const QRectF &rect)
    {
        appendNumber(m_content, rect.x());
        m_content.append(' ');
        appendNumber(m_content, rect.y());
        m_content.append(' ');
        appendNumber(m_content, rect.width());
        m_content.append(' ');
        appendNumber(m_content, rect.height());
        m_content.append(" re ");
    }

    void paintShape(const Item &item, const Control &control)
    {
        if (!control.fill.isValid() && !control.border.isValid())
            return;
        endText();
        m_content.append("q ");
        if (control.fill.isValid())
            appendColor(m_content, control.fill, "rg");
        if (control.border.isValid()) {
            appendColor(m_content, control.border, "RG");
            m_content.append("0 w ");
        }
        appendRect(QRectF(item.x, item.y, item.width, item.height));
        m_content.append(control.fill.isValid() ? (control.border.isValid() ? "B" : "f") : "S");
        m_content.append(" Q\n");
    }

    void paintText(const Item &item, int style)
    {
        const WrittenText &text = written(item, style);
        const bool own = text.clip || !text.actualText.isEmpty();
        if (own) {
            endText();
            m_content.append("q ");
            if (text.clip) {
                appendRect(text.clip->translated(item.x, item.y));
                m_content.append("W n\n");
            }
            if (!text.actualText.isEmpty())
                m_content.append("/Span << /ActualText ").append(text.actualText).append(" >> BDC\n");
        }
        const QColor &color = m_definition.styles[style].color;
        if (color != m_currentColor) {
            appendColor(m_content, color, "rg");
            m_currentColor = color;
        }
        for (const WrittenText::Piece &piece : text.pieces) {
            const double x = item.x + piece.origin.x();
            const double y = item.y + piece.origin.y();
            if (!m_inText) {
                m_content.append("BT\n");
                m_inText = true;
                m_lineX = std::nan("");
            }
            if (piece.font != m_currentFont || piece.size != m_currentSize) {
                m_content.append("/F");
                appendInteger(m_content, piece.font);
                m_content.append(' ');
                appendNumber(m_content, piece.size);
                m_content.append(" Tf\n");
                m_currentFont = piece.font;
                m_currentSize = piece.size;
            }
            if (std::isnan(m_lineX)) {
                m_content.append("1 0 0 -1 ");
                appendNumber(m_content, x);
                m_content.append(' ');
                appendNumber(m_content, y);
                m_content.append(" Tm ");
            } else {
                // The text matrix is flipped: y grows upwards in it.
                appendNumber(m_content, x - m_lineX);
                m_content.append(' ');
                appendNumber(m_content, m_lineY - y);
                m_content.append(" Td ");
            }
            m_lineX = x;
            m_lineY = y;
            m_content.append(piece.show);
        }
        if (own) {
            endText();
            if (!text.actualText.isEmpty())
                m_content.append("EMC ");
            m_content.append("Q\n");
            m_currentFont = -1;
            m_currentColor = QColor();
        }
    }

    const WrittenText &written(const Item &item, int style)
    {
        const Style &look = m_definition.styles[style];
        TextKey key;
        key.style = style;
        key.text = item.text;
        if (item.clip || item.wrap || !(look.alignment & Qt::AlignLeft)) {
            key.flags = int(look.alignment & Qt::AlignHorizontal_Mask) | Qt::AlignTop;
            key.flags |= item.wrap ? int(Qt::TextWordWrap) : int(Qt::TextSingleLine);
            key.width = item.width;
            key.height = item.height;
        }
        if (const auto found = m_texts.constFind(key); found != m_texts.constEnd())
            return *found;
        const PlacedText placed = key.flags < 0
            ? m_placer.placeLine(m_fonts[size_t(style)], m_ascents[size_t(style)], item.text)
            : m_placer.placeInBox(m_fonts[size_t(style)], QSizeF(item.width, item.height), key.flags, item.text);
        if (m_texts.size() >= 200000)
            m_texts.clear();
        return *m_texts.insert(key, prepare(placed, item.text));
    }

    pdf::EmbeddedFont &embedded(const QRawFont &font, int *index)
    {
        const QString key = font.familyName() + QLatin1Char('|') + font.styleName() + QLatin1Char('|')
            + QString::number(font.weight()) + QLatin1Char('|') + QString::number(int(font.style()));
        auto found = m_fontIndex.constFind(key);
        if (found == m_fontIndex.constEnd()) {
            if (!pdf::EmbeddedFont::canEmbed(font))
                throw UnsupportedFont{};
            m_embedded.push_back(std::make_unique<pdf::EmbeddedFont>(font, m_file.reserve()));
            found = m_fontIndex.insert(key, int(m_embedded.size() - 1));
        }
        *index = *found;
        return *m_embedded[size_t(*found)];
    }

    WrittenText prepare(const PlacedText &placed, const QString &text)
    {
        static const char hex[] = "0123456789ABCDEF";
        WrittenText written;
        written.clip = placed.clip;
        bool mapped = true;
        for (const PlacedRun &run : placed.runs) {
            int index = 0;
            pdf::EmbeddedFont &font = embedded(run.font, &index);
            mapped = font.use(run.glyphs, run.text) && mapped;
            const double size = run.font.pixelSize();
            for (qsizetype i = 0; i < run.glyphs.size();) {
                // One piece per baseline; glyphs moved off it start a new one.
                WrittenText::Piece piece;
                piece.font = index;
                piece.size = size;
                piece.origin = run.positions[i];
                piece.show = "[<";
                double pen = piece.origin.x();
                for (; i < run.glyphs.size() && std::abs(run.positions[i].y() - piece.origin.y()) < 0.01; ++i) {
                    const int adjust = int(std::lround((pen - run.positions[i].x()) * 1000.0 / size));
                    if (adjust != 0) {
                        piece.show.append('>');
                        appendInteger(piece.show, adjust);
                        piece.show.append('<');
                        pen -= adjust * size / 1000.0;
                    }
                    const quint32 glyph = run.glyphs[i];
                    for (int shift = 12; shift >= 0; shift -= 4)
                        piece.show.append(hex[(glyph >> shift) & 0xF]);
                    pen += font.width(glyph) * size / 1000.0;
                }
                piece.show.append(">] TJ\n");
                written.pieces.push_back(std::move(piece));
            }
        }
        // Glyphs of right-to-left text stand in visual order: a reader
        // taking the characters from them would get the words backwards.
        const bool rightToLeft = std::any_of(text.cbegin(), text.cend(), [](QChar c) {
            return c.direction() == QChar::DirR || c.direction() == QChar::DirAL;
        });
        if (!mapped || rightToLeft)
            written.actualText = pdf::hexText(QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')));
        return written;
    }

    const Layout &m_layout;
    const Definition &m_definition;
    std::vector<QFont> m_fonts;
    std::vector<double> m_ascents;
    pdf::File m_file;
    TextPlacer m_placer;
    QHash<TextKey, WrittenText> m_texts;
    QHash<QString, int> m_fontIndex;
    std::vector<std::unique_ptr<pdf::EmbeddedFont>> m_embedded;

    QByteArray m_content;
    bool m_inText = false;
    double m_lineX = 0;
    double m_lineY = 0;
    int m_currentFont = -1;
    double m_currentSize = 0;
    QColor m_currentColor;
};

} // namespace

Status writeDirectPdf(const Layout &layout, const QString &pdfPath, bool *unsupportedFont)
{
    *unsupportedFont = false;
    if (!layout.definition)
        return failure(QStringLiteral("The report has no definition."));
    try {
        Writer writer(layout);
        return writer.write(pdfPath);
    } catch (const UnsupportedFont &) {
        *unsupportedFont = true;
        return failure(QStringLiteral("A text of the report needs a font that cannot be embedded."));
    }
}

} // namespace report
