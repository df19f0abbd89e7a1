#include "PdfFont.h"

#include "PdfFile.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cmath>

namespace report::pdf {

namespace {

quint16 read16(const QByteArray &table, qsizetype at)
{
    return at + 2 <= table.size() ? qFromBigEndian<quint16>(table.constData() + at) : 0;
}

quint32 read32(const QByteArray &table, qsizetype at)
{
    return at + 4 <= table.size() ? qFromBigEndian<quint32>(table.constData() + at) : 0;
}

void put16(QByteArray &out, quint16 value)
{
    const char bytes[2] = {char(value >> 8), char(value)};
    out.append(bytes, 2);
}

void put32(QByteArray &out, quint32 value)
{
    const char bytes[4] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    out.append(bytes, 4);
}

quint32 tableChecksum(const QByteArray &data)
{
    quint32 sum = 0;
    for (qsizetype at = 0; at < data.size(); at += 4) {
        quint32 word = 0;
        for (int i = 0; i < 4; ++i)
            word = (word << 8) | quint8(at + i < data.size() ? data[at + i] : 0);
        sum += word;
    }
    return sum;
}

QByteArray tag(const char (&name)[5])
{
    return QByteArray(name, 4);
}

// The glyphs a composite glyph is built from.
void addComponents(const QByteArray &glyph, std::vector<quint32> &pending)
{
    if (glyph.size() < 10 || qint16(read16(glyph, 0)) >= 0)
        return;
    qsizetype at = 10;
    for (;;) {
        const quint16 flags = read16(glyph, at);
        pending.push_back(read16(glyph, at + 2));
        at += 4 + ((flags & 0x0001) ? 4 : 2);
        if (flags & 0x0008)
            at += 2;
        else if (flags & 0x0040)
            at += 4;
        else if (flags & 0x0080)
            at += 8;
        if (!(flags & 0x0020) || at >= glyph.size())
            return;
    }
}

QByteArray hex16(quint32 value)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray hex(4, '0');
    for (int i = 0; i < 4; ++i)
        hex[3 - i] = digits[(value >> (4 * i)) & 0xF];
    return hex;
}

} // namespace

bool EmbeddedFont::canEmbed(const QRawFont &font)
{
    if (!font.isValid() || font.fontTable("glyf").isEmpty() || font.fontTable("loca").isEmpty()
        || font.fontTable("head").size() < 54)
        return false;
    // Restricted-licence fonts (fsType 2) may not be embedded.
    const QByteArray os2 = font.fontTable("OS/2");
    return os2.size() < 10 || (read16(os2, 8) & 0x000F) != 0x0002;
}

EmbeddedFont::EmbeddedFont(const QRawFont &font, int object) : m_font(font), m_object(object)
{
    const QByteArray head = m_font.fontTable("head");
    m_unitsPerEm = std::max<int>(16, read16(head, 18));
    m_font.setPixelSize(m_unitsPerEm);
    const QByteArray maxp = m_font.fontTable("maxp");
    m_used.assign(std::max<quint16>(1, read16(maxp, 4)), false);
    m_used[0] = true; // the missing glyph is always there

    QByteArray name = (m_font.familyName() + m_font.styleName()).toLatin1();
    name.removeIf([](char c) { return !std::isalnum(static_cast<unsigned char>(c)) && c != '-'; });
    // A subset carries a tag of six capitals before its name.
    QByteArray prefix;
    for (int n = object, i = 0; i < 6; ++i, n /= 26)
        prefix.append(char('A' + n % 26));
    m_name = prefix + '+' + (name.isEmpty() ? QByteArray("Font") : name);
}

bool EmbeddedFont::use(const QList<quint32> &glyphs, const QString &text)
{
    for (const quint32 glyph : glyphs) {
        if (glyph < m_used.size())
            m_used[glyph] = true;
    }
    // Each character's own glyph shows it.
    const QList<uint> codes = text.toUcs4();
    for (const uint code : codes) {
        const QString character = QString::fromUcs4(reinterpret_cast<const char32_t *>(&code), 1);
        quint32 glyph = 0;
        int count = 1;
        if (!m_font.glyphIndexesForChars(character.constData(), character.size(), &glyph, &count) || count != 1)
            continue;
        if (glyph != 0 && glyphs.contains(glyph) && !m_unicode.contains(glyph))
            m_unicode.insert(glyph, character);
    }
    return std::all_of(glyphs.begin(), glyphs.end(), [this](quint32 glyph) { return m_unicode.contains(glyph); });
}

int EmbeddedFont::width(quint32 glyph)
{
    if (const auto found = m_widths.constFind(glyph); found != m_widths.constEnd())
        return *found;
    QPointF advance;
    m_font.advancesForGlyphIndexes(&glyph, &advance, 1, QRawFont::UseDesignMetrics);
    const int width = int(std::lround(advance.x() * 1000.0 / m_unitsPerEm));
    m_widths.insert(glyph, width);
    return width;
}

QByteArray EmbeddedFont::subsetFontFile() const
{
    const QByteArray loca = m_font.fontTable("loca");
    const QByteArray glyf = m_font.fontTable("glyf");
    QByteArray head = m_font.fontTable("head");
    const bool longOffsets = read16(head, 50) != 0;
    const auto offsetOf = [&](quint32 glyph) -> quint32 {
        return longOffsets ? read32(loca, qsizetype(glyph) * 4) : quint32(read16(loca, qsizetype(glyph) * 2)) * 2;
    };

    // The glyphs used and the glyphs they are built from.
    std::vector<bool> keep = m_used;
    std::vector<quint32> pending;
    for (quint32 glyph = 0; glyph < keep.size(); ++glyph) {
        if (keep[glyph])
            pending.push_back(glyph);
    }
    while (!pending.empty()) {
        const quint32 glyph = pending.back();
        pending.pop_back();
        const quint32 begin = offsetOf(glyph);
        const quint32 end = offsetOf(glyph + 1);
        std::vector<quint32> parts;
        if (end > begin && end <= quint32(glyf.size()))
            addComponents(glyf.mid(begin, end - begin), parts);
        for (const quint32 part : parts) {
            if (part < keep.size() && !keep[part]) {
                keep[part] = true;
                pending.push_back(part);
            }
        }
    }

    // Glyph numbers stay as they are: unused glyphs are left empty.
    QByteArray newGlyf;
    QByteArray newLoca;
    for (quint32 glyph = 0; glyph < keep.size(); ++glyph) {
        put32(newLoca, quint32(newGlyf.size()));
        const quint32 begin = offsetOf(glyph);
        const quint32 end = offsetOf(glyph + 1);
        if (keep[glyph] && end > begin && end <= quint32(glyf.size())) {
            newGlyf.append(glyf.constData() + begin, end - begin);
            while (newGlyf.size() % 4)
                newGlyf.append('\0');
        }
    }
    put32(newLoca, quint32(newGlyf.size()));
    head.replace(8, 4, QByteArray(4, '\0'));     // checkSumAdjustment, set below
    head.replace(50, 2, QByteArray("\0\1", 2)); // long offsets

    std::vector<std::pair<QByteArray, QByteArray>> tables;
    for (const QByteArray &name : {tag("cvt "), tag("fpgm"), tag("glyf"), tag("head"), tag("hhea"), tag("hmtx"),
                                   tag("loca"), tag("maxp"), tag("prep")}) {
        QByteArray data = name == "glyf" ? newGlyf : name == "loca" ? newLoca : name == "head" ? head : m_font.fontTable(name);
        if (!data.isEmpty())
            tables.emplace_back(name, std::move(data));
    }
    QByteArray file;
    const quint16 count = quint16(tables.size());
    quint16 power = 1;
    quint16 selector = 0;
    while (power * 2 <= count) {
        power *= 2;
        ++selector;
    }
    put32(file, 0x00010000);
    put16(file, count);
    put16(file, quint16(power * 16));
    put16(file, selector);
    put16(file, quint16(count * 16 - power * 16));
    quint32 offset = quint32(12 + 16 * tables.size());
    qsizetype headAt = -1;
    for (const auto &[name, data] : tables) {
        file.append(name);
        put32(file, tableChecksum(data));
        put32(file, offset);
        put32(file, quint32(data.size()));
        offset += quint32((data.size() + 3) & ~3);
    }
    for (const auto &[name, data] : tables) {
        if (name == "head")
            headAt = file.size();
        file.append(data);
        while (file.size() % 4)
            file.append('\0');
    }
    if (headAt >= 0) {
        const quint32 adjustment = 0xB1B0AFBA - tableChecksum(file);
        QByteArray bytes;
        put32(bytes, adjustment);
        file.replace(headAt + 8, 4, bytes);
    }
    return file;
}

QByteArray EmbeddedFont::toUnicodeMap() const
{
    std::vector<quint32> glyphs;
    for (auto it = m_unicode.cbegin(); it != m_unicode.cend(); ++it)
        glyphs.push_back(it.key());
    std::sort(glyphs.begin(), glyphs.end());
    QByteArray map("/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                   "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                   "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                   "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n");
    for (size_t start = 0; start < glyphs.size(); start += 100) {
        const size_t end = std::min(glyphs.size(), start + 100);
        appendInteger(map, qint64(end - start));
        map.append(" beginbfchar\n");
        for (size_t i = start; i < end; ++i) {
            map.append('<').append(hex16(glyphs[i])).append("> <");
            for (const QChar c : m_unicode.value(glyphs[i]))
                map.append(hex16(c.unicode()));
            map.append(">\n");
        }
        map.append("endbfchar\n");
    }
    map.append("endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n");
    return map;
}

QByteArray EmbeddedFont::widthArray() const
{
    std::vector<std::pair<quint32, int>> widths;
    for (auto it = m_widths.cbegin(); it != m_widths.cend(); ++it)
        widths.emplace_back(it.key(), it.value());
    std::sort(widths.begin(), widths.end());
    QByteArray array("[");
    for (size_t i = 0; i < widths.size();) {
        appendInteger(array, widths[i].first);
        array.append(" [");
        size_t j = i;
        do {
            if (j > i)
                array.append(' ');
            appendInteger(array, widths[j].second);
            ++j;
        } while (j < widths.size() && widths[j].first == widths[j - 1].first + 1);
        array.append("] ");
        i = j;
    }
    array.append(']');
    return array;
}

void EmbeddedFont::write(File &file) const
{
    const QByteArray head = m_font.fontTable("head");
    const QByteArray hhea = m_font.fontTable("hhea");
    const double scale = 1000.0 / m_unitsPerEm;
    const auto scaled = [scale](qint16 value) { return qint64(std::lround(value * scale)); };
    const int descendant = file.reserve();
    const int descriptor = file.reserve();
    const int fontFile = file.reserve();
    const int toUnicode = file.reserve();

    QByteArray type0("<< /Type /Font /Subtype /Type0 /BaseFont /");
    type0.append(m_name).append(" /Encoding /Identity-H /DescendantFonts [");
    appendInteger(type0, descendant);
    type0.append(" 0 R] /ToUnicode ");
    appendInteger(type0, toUnicode);
    type0.append(" 0 R >>");
    file.writeObject(m_object, type0);

    QByteArray cid("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /");
    cid.append(m_name).append(" /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>"
                              " /FontDescriptor ");
    appendInteger(cid, descriptor);
    cid.append(" 0 R /CIDToGIDMap /Identity /DW 0 /W ").append(widthArray()).append(" >>");
    file.writeObject(descendant, cid);

    const qint64 ascent = scaled(qint16(read16(hhea, 4)));
    QByteArray desc("<< /Type /FontDescriptor /FontName /");
    desc.append(m_name).append(" /Flags 4 /FontBBox [");
    for (const qsizetype at : {36, 38, 40, 42}) {
        appendInteger(desc, scaled(qint16(read16(head, at))));
        desc.append(at == 42 ? "]" : " ");
    }
    desc.append(" /ItalicAngle 0 /Ascent ");
    appendInteger(desc, ascent);
    desc.append(" /Descent ");
    appendInteger(desc, scaled(qint16(read16(hhea, 6))));
    desc.append(" /CapHeight ");
    appendInteger(desc, ascent);
    desc.append(" /StemV 80 /FontFile2 ");
    appendInteger(desc, fontFile);
    desc.append(" 0 R >>");
    file.writeObject(descriptor, desc);

    const QByteArray subset = subsetFontFile();
    QByteArray length1(" /Length1 ");
    appendInteger(length1, subset.size());
    file.writeStream(fontFile, length1, subset, true);
    file.writeStream(toUnicode, QByteArray(), toUnicodeMap(), true);
}

} // namespace report::pdf
