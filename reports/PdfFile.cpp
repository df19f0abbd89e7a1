#include "PdfFile.h"

#include <cmath>

namespace report::pdf {

void appendInteger(QByteArray &out, qint64 value)
{
    char digits[24];
    int n = 0;
    const bool negative = value < 0;
    quint64 magnitude = negative ? quint64(-value) : quint64(value);
    do {
        digits[n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    if (negative)
        out.append('-');
    while (n > 0)
        out.append(digits[--n]);
}

void appendNumber(QByteArray &out, double value)
{
    qint64 hundredths = std::llround(value * 100.0);
    if (hundredths < 0) {
        out.append('-');
        hundredths = -hundredths;
    }
    appendInteger(out, hundredths / 100);
    const int fraction = int(hundredths % 100);
    if (fraction == 0)
        return;
    out.append('.');
    out.append(char('0' + fraction / 10));
    if (fraction % 10)
        out.append(char('0' + fraction % 10));
}

QByteArray hexText(const QString &text)
{
    QByteArray hex("<FEFF");
    hex.reserve(6 + text.size() * 4);
    static const char digits[] = "0123456789ABCDEF";
    for (const QChar c : text) {
        const ushort u = c.unicode();
        for (int shift = 12; shift >= 0; shift -= 4)
            hex.append(digits[(u >> shift) & 0xF]);
    }
    hex.append('>');
    return hex;
}

bool File::open(const QString &path)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    // Binary bytes in the comment tell readers the file is not plain text.
    static const char header[] = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    write(header, qsizetype(sizeof header - 1));
    return true;
}

int File::reserve()
{
    m_offsets.push_back(-1);
    return int(m_offsets.size() - 1);
}

void File::write(const char *data, qsizetype size)
{
    m_buffer.append(data, size);
    m_position += size;
    if (m_buffer.size() >= (1 << 20)) {
        if (m_file.write(m_buffer) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
    }
}

void File::beginObject(int number)
{
    m_offsets[size_t(number)] = m_position;
    QByteArray start;
    appendInteger(start, number);
    start.append(" 0 obj\n");
    write(start.constData(), start.size());
}

void File::writeObject(int number, const QByteArray &body)
{
    beginObject(number);
    write(body.constData(), body.size());
    write("\nendobj\n", 8);
}

QByteArray File::deflated(const QByteArray &data)
{
    // qCompress gives a zlib stream after a four-byte length.
    QByteArray packed = qCompress(data, 1);
    packed.remove(0, 4);
    return packed;
}

void File::writeStream(int number, const QByteArray &dictionaryEntries, const QByteArray &data, bool compress)
{
    if (compress)
        writeDeflatedStream(number, dictionaryEntries, deflated(data));
    else
        writeStreamObject(number, dictionaryEntries, data);
}

void File::writeDeflatedStream(int number, const QByteArray &dictionaryEntries, const QByteArray &deflated)
{
    writeStreamObject(number, dictionaryEntries + " /Filter /FlateDecode", deflated);
}

void File::writeStreamObject(int number, const QByteArray &dictionaryEntries, const QByteArray &bytes)
{
    QByteArray head("<<");
    head.append(dictionaryEntries);
    head.append(" /Length ");
    appendInteger(head, bytes.size());
    head.append(" >>\nstream\n");
    beginObject(number);
    write(head.constData(), head.size());
    write(bytes.constData(), bytes.size());
    write("\nendstream\nendobj\n", 18);
}

bool File::finish(int catalog, int info)
{
    const qint64 xref = m_position;
    QByteArray table("xref\n0 ");
    appendInteger(table, qint64(m_offsets.size()));
    table.append("\n0000000000 65535 f \n");
    for (size_t i = 1; i < m_offsets.size(); ++i) {
        const QByteArray offset = QByteArray::number(std::max<qint64>(0, m_offsets[i]));
        table.append(QByteArray(10 - offset.size(), '0')).append(offset).append(" 00000 n \n");
    }
    table.append("trailer\n<< /Size ");
    appendInteger(table, qint64(m_offsets.size()));
    table.append(" /Root ");
    appendInteger(table, catalog);
    table.append(" 0 R /Info ");
    appendInteger(table, info);
    table.append(" 0 R >>\nstartxref\n");
    appendInteger(table, xref);
    table.append("\n%%EOF\n");
    write(table.constData(), table.size());
    if (!m_buffer.isEmpty() && m_file.write(m_buffer) != m_buffer.size())
        m_failed = true;
    m_buffer.clear();
    m_file.close();
    return !m_failed && m_file.error() == QFileDevice::NoError;
}

Deflater::Deflater() : m_thread([this] { run(); }) {}

Deflater::~Deflater()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void Deflater::push(QByteArray data)
{
    {
        const std::lock_guard lock(m_mutex);
        m_waiting.push_back(std::move(data));
    }
    m_changed.notify_all();
}

QByteArray Deflater::take()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return !m_done.empty(); });
    QByteArray packed = std::move(m_done.front());
    m_done.pop_front();
    return packed;
}

void Deflater::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stopping || !m_waiting.empty(); });
        if (m_waiting.empty())
            return;
        const QByteArray data = std::move(m_waiting.front());
        m_waiting.pop_front();
        lock.unlock();
        QByteArray packed = File::deflated(data);
        lock.lock();
        m_done.push_back(std::move(packed));
        m_changed.notify_all();
    }
}

} // namespace report::pdf
