#include "BackupText.h"


namespace backup {

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int extra;
        unsigned int min;
        unsigned int code;
        if ((c & 0xE0) == 0xC0) {
            extra = 1;
            min = 0x80;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            extra = 2;
            min = 0x800;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            extra = 3;
            min = 0x10000;
            code = c & 0x07;
        } else {
            return false;
        }
        if (i + extra >= n)
            return false;
        for (int k = 1; k <= extra; ++k) {
            const unsigned char d = p[i + k];
            if ((d & 0xC0) != 0x80)
                return false;
            code = (code << 6) | (d & 0x3F);
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += extra + 1;
    }
    return true;
}

QString fromWindows1252(QByteArrayView bytes)
{
    // 0x80 to 0x9F differ from Latin-1; the five unassigned codes pass through.
    static const char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
        0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString result(bytes.size(), Qt::Uninitialized);
    QChar *out = result.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        out[i] = (c >= 0x80 && c < 0xA0) ? QChar(high[c - 0x80]) : QChar(c);
    }
    return result;
}

BackupLines::BackupLines(QByteArray data) : m_data(std::move(data))
{
    m_utf8 = isValidUtf8(m_data);
    qsizetype start = 0;
    // A byte-order mark that an editor may have added is not part of the text.
    if (m_utf8 && m_data.startsWith("\xEF\xBB\xBF"))
        start = 3;
    const qsizetype n = m_data.size();
    while (start < n) {
        qsizetype end = m_data.indexOf('\n', start);
        const qsizetype next = end < 0 ? n : end + 1;
        if (end < 0)
            end = n;
        qsizetype length = end - start;
        if (end < n && length > 0 && m_data.at(end - 1) == '\r')
            --length;
        m_spans.append({start, length});
        start = next;
    }
}

QByteArrayView BackupLines::bytes(qsizetype index) const
{
    const Span &span = m_spans.at(index);
    return QByteArrayView(m_data.constData() + span.start, span.length);
}

QString BackupLines::text(qsizetype index) const
{
    const QByteArrayView raw = bytes(index);
    QString line = m_utf8 ? QString::fromUtf8(raw) : fromWindows1252(raw);
    if (raw.contains('\t'))
        line.remove(QLatin1Char('\t'));
    return line;
}

bool BackupLines::isMarker(qsizetype index) const
{
    static const char marker[] = "TABLE";
    const QByteArrayView raw = bytes(index);
    int matched = 0;
    for (const char c : raw) {
        if (c == '\t')
            continue;
        if (c != marker[matched])
            return false;
        if (++matched == 5)
            return true;
    }
    return false;
}

BackupSections findSections(const BackupLines &lines)
{
    BackupSections sections;
    const qsizetype n = lines.size();
    qsizetype i = 0;
    auto skipPastMarker = [&] {
        while (i < n && !lines.isMarker(i))
            ++i;
        if (i < n)
            ++i;
    };
    auto readSection = [&](BackupSections::Range &range) {
        range.first = i;
        while (i < n && !lines.isMarker(i))
            ++i;
        range.last = i;
        if (i < n) {
            ++i;
            return true;
        }
        return false;
    };
    skipPastMarker();
    readSection(sections.contactTypes);
    skipPastMarker();
    readSection(sections.contacts);
    skipPastMarker();
    if (readSection(sections.calls))
        sections.keysFrom = i;
    return sections;
}

bool appendCleanText(QByteArray &out, QByteArrayView utf8)
{
    // The removed characters are ASCII, so removing their bytes removes the
    // characters; the runs between them are copied whole.
    appendBytes(out, "'", 1);
    bool exact = true;
    const char *run = utf8.data();
    const char *end = run + utf8.size();
    for (const char *p = run; p != end; ++p) {
        const char c = *p;
        if (c > '\'' || (c != '\r' && c != '\n' && c != '\'' && c != '\t'))
            continue;
        exact = false;
        if (c == '\t')
            continue;
        appendBytes(out, run, p - run);
        run = p + 1;
    }
    appendBytes(out, run, end - run);
    appendBytes(out, " '", 2);
    return exact;
}

void appendInteger(QByteArray &out, qint64 value)
{
    char digits[24];
    int n = 0;
    quint64 magnitude = value < 0 ? 0 - quint64(value) : quint64(value);
    do {
        digits[sizeof digits - 1 - n++] = char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    if (value < 0)
        digits[sizeof digits - 1 - n++] = '-';
    appendBytes(out, digits + sizeof digits - n, n);
}

bool parseRecordLine(QStringView line, QList<RecordValue> *values, QString *reason)
{
    values->clear();
    const qsizetype n = line.size();
    qsizetype i = 0;
    auto skipBlanks = [&] {
        while (i < n && line.at(i).isSpace())
            ++i;
    };
    auto fail = [&](const QString &why) {
        if (reason)
            *reason = why;
        values->clear();
        return false;
    };
    skipBlanks();
    if (i >= n)
        return fail(QStringLiteral("The line holds no values."));
    for (;;) {
        skipBlanks();
        if (i >= n)
            return fail(QStringLiteral("A value is missing after the last comma."));
        const QChar c = line.at(i);
        RecordValue value;
        if (c == QLatin1Char('\'')) {
            const qsizetype close = line.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return fail(QStringLiteral("A text value at position %1 has no closing apostrophe.").arg(i + 1));
            value.kind = RecordValue::Text;
            value.text = line.mid(i + 1, close - i - 1).toString();
            i = close + 1;
        } else if (c == QLatin1Char('-') || c.isDigit()) {
            const qsizetype start = i;
            if (c == QLatin1Char('-'))
                ++i;
            const qsizetype digits = i;
            while (i < n && line.at(i) >= QLatin1Char('0') && line.at(i) <= QLatin1Char('9'))
                ++i;
            if (i == digits)
                return fail(QStringLiteral("A number at position %1 has no digits.").arg(start + 1));
            value.kind = RecordValue::Number;
            value.text = line.mid(start, i - start).toString();
        } else if (line.mid(i, 4).compare(QLatin1String("Null"), Qt::CaseInsensitive) == 0
                   && (i + 4 >= n || !(line.at(i + 4).isLetterOrNumber() || line.at(i + 4) == QLatin1Char('_')))) {
            value.kind = RecordValue::Null;
            i += 4;
        } else {
            return fail(QStringLiteral("Unexpected text at position %1.").arg(i + 1));
        }
        values->append(value);
        skipBlanks();
        if (i >= n)
            return true;
        if (line.at(i) != QLatin1Char(','))
            return fail(QStringLiteral("Unexpected text at position %1.").arg(i + 1));
        ++i;
    }
}

} // namespace backup
