#pragma once

#include <QByteArray>
#include <QHash>
#include <QRawFont>
#include <QString>

#include <vector>

namespace report::pdf {

class File;

// A TrueType font embedded in a PDF as a CID font (Identity-H encoding, the
// glyph number as the character code): only the glyphs used go into the
// file, with their widths and a ToUnicode map so that the text can be
// searched and copied.
class EmbeddedFont {
public:
    // True for fonts with TrueType outlines whose licence allows embedding.
    static bool canEmbed(const QRawFont &font);

    EmbeddedFont(const QRawFont &font, int object);

    int object() const { return m_object; }
    // Marks the glyphs as used and learns which characters of `text` they
    // show; false when some glyph shows no single character of it (a
    // ligature, a contextual form): then the text needs an ActualText.
    bool use(const QList<quint32> &glyphs, const QString &text);
    // The advance written for the glyph, in thousandths of the font size.
    int width(quint32 glyph);

    // Writes the font's objects.
    void write(File &file) const;

private:
    QByteArray subsetFontFile() const;
    QByteArray toUnicodeMap() const;
    QByteArray widthArray() const;

    QRawFont m_font; // at the size of its em square: advances in font units
    int m_object = 0;
    int m_unitsPerEm = 1000;
    QByteArray m_name;
    QHash<quint32, int> m_widths;
    QHash<quint32, QString> m_unicode; // what each used glyph shows
    std::vector<bool> m_used;
};

} // namespace report::pdf
