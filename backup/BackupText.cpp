#include "BackupText.h"

#include <QtGlobal>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>


namespace backup {

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
    const char *bytes = m_data.constData();
    m_wide = n >= qsizetype(std::numeric_limits<quint32>::max());
    const qsizetype count = qsizetype(std::count(bytes + start, bytes + n, '\n')) + 2;
    if (m_wide)
        m_wideStarts.reserve(count);
    else
        m_starts.reserve(count);
    auto add = [this](qsizetype at) {
        if (m_wide)
            m_wideStarts.append(at);
        else
            m_starts.append(quint32(at));
    };
    while (start < n) {
        add(start);
        const void *end = std::memchr(bytes + start, '\n', size_t(n - start));
        start = end ? static_cast<const char *>(end) - bytes + 1 : n + 1;
    }
    // The end of the last line: past its line feed, or one past the data
    // when it has none.
    add(start);
}

QByteArrayView BackupLines::bytes(qsizetype index) const
{
    const qsizetype begin = start(index);
    qsizetype end = start(index + 1) - 1; // the line feed, or the end of the data
    // A CR right before the line feed belongs to the line end.
    if (end < m_data.size() && end > begin && m_data.at(end - 1) == '\r')
        --end;
    return QByteArrayView(m_data.constData() + begin, end - begin);
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

namespace {
// What putCleanText does with a byte: copy it (0), end a run before it (CR,
// LF, apostrophe: 1), note it (TAB: 2), or check the UTF-8 sequence that it
// begins (3).
struct CleanClasses {
    unsigned char of[256] = {};
    constexpr CleanClasses()
    {
        of[static_cast<unsigned char>('\r')] = 1;
        of[static_cast<unsigned char>('\n')] = 1;
        of[static_cast<unsigned char>('\'')] = 1;
        of[static_cast<unsigned char>('\t')] = 2;
        for (int c = 0x80; c < 0x100; ++c)
            of[c] = 3;
    }
};
constexpr CleanClasses kCleanClasses;

// The length of the well-formed UTF-8 sequence at p, or 0.
int utf8SequenceLength(const unsigned char *p, const unsigned char *end)
{
    const unsigned char c = p[0];
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
        return 0;
    }
    if (end - p <= extra)
        return 0;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char d = p[k];
        if ((d & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (d & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return extra + 1;
}
} // namespace

char *putCleanText(char *at, QByteArrayView utf8, bool *exact)
{
    *at++ = '\'';
    *exact = true;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8.data());
    const auto *end = p + utf8.size();
    const auto *run = p;
    while (p != end) {
        switch (kCleanClasses.of[*p]) {
        case 0:
            ++p;
            break;
        case 1:
            *exact = false;
            if (p != run)
                std::memcpy(at, run, size_t(p - run));
            at += p - run;
            run = ++p;
            break;
        case 2:
            *exact = false;
            ++p;
            break;
        default:
            if (const int length = utf8SequenceLength(p, end))
                p += length;
            else
                return nullptr;
            break;
        }
    }
    if (end != run)
        std::memcpy(at, run, size_t(end - run));
    at += end - run;
    *at++ = ' ';
    *at++ = '\'';
    return at;
}

bool isValidUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    while (p != end) {
        // Eight ASCII bytes at a time: most of a file.
        if (end - p >= 8) {
            quint64 word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080ull) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const int length = utf8SequenceLength(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

void appendInteger(QByteArray &out, qint64 value)
{
    char digits[kIntegerRoom];
    appendBytes(out, digits, putInteger(digits, value) - digits);
}

bool parseRecordLine(QByteArrayView line, QList<RecordValue> *values, QString *reason)
{
    values->clear();
    const qsizetype n = line.size();
    qsizetype i = 0;
    auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; };
    auto skipBlanks = [&] {
        while (i < n && isBlank(line[i]))
            ++i;
    };
    // Positions in messages count characters, from 1.
    auto position = [&](qsizetype at) { return QString::fromUtf8(line.first(at)).size() + 1; };
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
        const char c = line[i];
        RecordValue value;
        if (c == '\'') {
            const qsizetype close = line.indexOf('\'', i + 1);
            if (close < 0)
                return fail(QStringLiteral("A text value at position %1 has no closing apostrophe.").arg(position(i)));
            value.kind = RecordValue::Text;
            value.text = line.sliced(i + 1, close - i - 1);
            i = close + 1;
        } else if (c == '-' || (c >= '0' && c <= '9')) {
            const qsizetype start = i;
            if (c == '-')
                ++i;
            const qsizetype digits = i;
            while (i < n && line[i] >= '0' && line[i] <= '9')
                ++i;
            if (i == digits)
                return fail(QStringLiteral("A number at position %1 has no digits.").arg(position(start)));
            value.kind = RecordValue::Number;
            value.text = line.sliced(start, i - start);
        } else if (i + 4 <= n && qstrnicmp(line.data() + i, 4, "Null", 4) == 0
                   && (i + 4 >= n
                       || !(std::isalnum(static_cast<unsigned char>(line[i + 4])) || line[i + 4] == '_'
                            || static_cast<unsigned char>(line[i + 4]) >= 0x80))) {
            value.kind = RecordValue::Null;
            i += 4;
        } else {
            return fail(QStringLiteral("Unexpected text at position %1.").arg(position(i)));
        }
        values->append(value);
        skipBlanks();
        if (i >= n)
            return true;
        if (line[i] != ',')
            return fail(QStringLiteral("Unexpected text at position %1.").arg(position(i)));
        ++i;
    }
}

QByteArrayView BackupLines::utf8(qsizetype index, QByteArray *scratch) const
{
    const QByteArrayView raw = bytes(index);
    const bool hasTab = raw.contains('\t');
    if (m_utf8 && !hasTab)
        return raw;
    *scratch = m_utf8 ? raw.toByteArray() : fromWindows1252(raw).toUtf8();
    if (hasTab)
        scratch->replace("\t", "");
    return *scratch;
}

} // namespace backup
