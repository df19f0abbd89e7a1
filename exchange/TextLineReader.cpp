#include "TextLineReader.h"

#include <QIODevice>

namespace exchange {

namespace {
constexpr qint64 kChunk = 64 * 1024;

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

QString decodeLine(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return text;
    return fromWindows1252(bytes);
}
} // namespace

TextLineReader::TextLineReader(QIODevice *device) : m_device(device)
{
    const QByteArray start = m_device->peek(3);
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF")) {
        m_utf16 = true;
        m_decoder = QStringDecoder(start.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        m_device->skip(2);
    } else if (start.startsWith("\xEF\xBB\xBF")) {
        m_device->skip(3);
    }
}

qint64 TextLineReader::position() const
{
    return m_device->pos();
}

bool TextLineReader::next(QString &line)
{
    if (m_utf16)
        return nextUtf16(line);
    if (m_device->atEnd())
        return false;
    // One buffer for every line: readLine() into a QByteArray would make
    // room for the longest line allowed each time.
    if (m_buffer.isEmpty())
        m_buffer.resize(kMaxLineBytes + 2);
    const qint64 read = m_device->readLine(m_buffer.data(), m_buffer.size());
    if (read <= 0)
        return false;
    QByteArrayView bytes(m_buffer.constData(), read);
    if (!bytes.endsWith('\n') && !m_device->atEnd()) {
        // Too long: keep the start, skip the rest of the line.
        ++m_truncated;
        while (!m_device->atEnd() && !m_device->readLine(kChunk).endsWith('\n')) {
        }
        line = decodeLine(bytes) + QLatin1Char('\n');
        return true;
    }
    line = decodeLine(bytes);
    return true;
}

bool TextLineReader::nextUtf16(QString &line)
{
    for (;;) {
        const qsizetype end = m_pending.indexOf(QLatin1Char('\n'), m_start);
        const qsizetype available = m_pending.size() - m_start;
        if (m_skipping) {
            // The rest of a line that was too long.
            if (end >= 0) {
                m_start = end + 1;
                m_skipping = false;
                continue;
            }
            m_start = m_pending.size();
        } else if (end >= 0 && end - m_start < kMaxLineBytes) {
            line = m_pending.mid(m_start, end + 1 - m_start);
            m_start = end + 1;
            return true;
        } else if (end >= 0 || available >= kMaxLineBytes) {
            ++m_truncated;
            line = m_pending.mid(m_start, kMaxLineBytes) + QLatin1Char('\n');
            m_start += kMaxLineBytes;
            m_skipping = true;
            return true;
        }
        if (m_atEnd) {
            if (available == 0 || m_skipping)
                return false;
            line = m_pending.mid(m_start);
            m_start = m_pending.size();
            return true;
        }
        const QByteArray chunk = m_device->read(kChunk);
        if (chunk.isEmpty()) {
            m_atEnd = true;
        } else {
            m_pending = m_pending.mid(m_start) + m_decoder(chunk);
            m_start = 0;
        }
    }
}

} // namespace exchange
