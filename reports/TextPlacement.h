#pragma once

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace report {

// The glyphs of one font that a text shows, with their baseline points.
struct PlacedRun {
    QRawFont font;
    QList<quint32> glyphs;
    QList<QPointF> positions;
    QString text; // the characters these glyphs show
};

// A text as QPainter::drawText places it: glyph runs relative to the
// top-left corner of the text's box, and the clip drawText sets (when the
// text is larger than its box).
struct PlacedText {
    std::vector<PlacedRun> runs;
    std::optional<QRectF> clip;
};

// Asks QPainter where drawText puts each piece of a text (line breaks,
// alignment, clipping, font fallback all Qt's own), without drawing it.
class TextPlacer {
public:
    TextPlacer();
    ~TextPlacer();
    TextPlacer(const TextPlacer &) = delete;
    TextPlacer &operator=(const TextPlacer &) = delete;

    // As painter.drawText(QPointF(0, ascent), text): one line from the box's corner.
    PlacedText placeLine(const QFont &font, double ascent, const QString &text);
    // As painter.drawText(QRectF(QPointF(), box), flags, text).
    PlacedText placeInBox(const QFont &font, const QSizeF &box, int flags, const QString &text);

private:
    class Device;
    std::unique_ptr<Device> m_device;
};

} // namespace report
