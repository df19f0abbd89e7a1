#include "TextPlacement.h"

#include <QGlyphRun>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPainter>
#include <QTextLayout>

namespace report {

namespace {

// One piece of text that QPainter hands to its engine: a run of one
// script on one line, with its baseline point.
struct Piece {
    QPointF origin;
    QString text;
    QFont font;
    std::optional<QRectF> clip;
};

// A paint engine that draws nothing and notes the text pieces it is given,
// with the clip in force for each.
class RecordingEngine : public QPaintEngine {
public:
    RecordingEngine() : QPaintEngine(QPaintEngine::AllFeatures) {}

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawPath(const QPainterPath &) override {}

    void updateState(const QPaintEngineState &state) override
    {
        const DirtyFlags flags = state.state();
        if ((flags & DirtyClipEnabled) && !state.isClipEnabled())
            clip.reset();
        if (flags & DirtyClipPath)
            applyClip(state.clipPath().boundingRect(), state.clipOperation());
        if (flags & DirtyClipRegion)
            applyClip(QRectF(state.clipRegion().boundingRect()), state.clipOperation());
    }

    void drawTextItem(const QPointF &origin, const QTextItem &item) override
    {
        pieces.push_back({origin, item.text(), item.font(), clip});
    }

    std::vector<Piece> pieces;
    std::optional<QRectF> clip;

private:
    void applyClip(const QRectF &rect, Qt::ClipOperation operation)
    {
        if (operation == Qt::NoClip)
            clip.reset();
        else if (operation == Qt::IntersectClip && clip)
            clip = *clip & rect;
        else
            clip = rect;
    }
};

} // namespace

// A device in twips (1440 to the inch), large enough for any page.
class TextPlacer::Device : public QPaintDevice {
public:
    Device() { painter.begin(this); }
    ~Device() override { painter.end(); }

    QPaintEngine *paintEngine() const override { return &engine; }

    std::vector<Piece> record(const QFont &font, const std::function<void(QPainter &)> &draw)
    {
        engine.pieces.clear();
        engine.clip.reset();
        painter.setFont(font);
        draw(painter);
        return std::move(engine.pieces);
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 1 << 22;
        case PdmWidthMM:
        case PdmHeightMM:
            return int((1 << 22) * 25.4 / 1440);
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 1440;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return 1 << 24;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(QPaintDevice::devicePixelRatioFScale());
        }
        return QPaintDevice::metric(metric);
    }

private:
    mutable RecordingEngine engine;
    QPainter painter;
};

namespace {

// The glyphs of one piece, shaped alone as QPainter shaped it within its line.
void appendRuns(PlacedText &placed, const Piece &piece)
{
    QTextLayout layout(piece.text, piece.font);
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1.0e6);
    layout.endLayout();
    if (!line.isValid())
        return;
    const QPointF shift = piece.origin - QPointF(0, line.ascent());
    for (const QGlyphRun &run : layout.glyphRuns()) {
        PlacedRun placedRun;
        placedRun.font = run.rawFont();
        placedRun.glyphs = run.glyphIndexes();
        placedRun.positions = run.positions();
        for (QPointF &position : placedRun.positions)
            position += shift;
        placedRun.text = piece.text;
        if (!placedRun.glyphs.isEmpty())
            placed.runs.push_back(std::move(placedRun));
    }
}

PlacedText placeAll(const std::vector<Piece> &pieces)
{
    PlacedText placed;
    for (const Piece &piece : pieces) {
        if (piece.clip)
            placed.clip = piece.clip;
        appendRuns(placed, piece);
    }
    return placed;
}

} // namespace

TextPlacer::TextPlacer() : m_device(std::make_unique<Device>()) {}

TextPlacer::~TextPlacer() = default;

PlacedText TextPlacer::placeLine(const QFont &font, double ascent, const QString &text)
{
    return placeAll(m_device->record(font, [&](QPainter &painter) { painter.drawText(QPointF(0, ascent), text); }));
}

PlacedText TextPlacer::placeInBox(const QFont &font, const QSizeF &box, int flags, const QString &text)
{
    return placeAll(m_device->record(
        font, [&](QPainter &painter) { painter.drawText(QRectF(QPointF(), box), flags, text); }));
}

} // namespace report
