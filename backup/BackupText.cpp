#include "BackupText.h"

#include "frame/Windows1252.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <utility>

#include <sys/mman.h>
#include <cerrno>


namespace backup {

namespace {
// Pages of a mapped file are given back after every this many bytes read.
constexpr qint64 kReleaseEvery = 32 << 20;
} // namespace

BackupLines::BackupLines(QByteArray data) : m_data(std::move(data))
{
    m_bytes = m_data.constData();
    m_size = m_data.size();
    cut(0);
}

Result<BackupLines> BackupLines::map(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("Could not read the file %1: %2").arg(path, file.errorString()));
    BackupLines lines;
    const qint64 size = file.size();
    if (size > 0) {
        void *mapping = ::mmap(nullptr, size_t(size), PROT_READ, MAP_PRIVATE, file.handle(), 0);
        if (mapping == MAP_FAILED)
            return failure(QStringLiteral("Could not read the file %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno))));
        ::madvise(mapping, size_t(size), MADV_SEQUENTIAL);
        lines.m_mapping = mapping;
        lines.m_bytes = static_cast<const char *>(mapping);
        lines.m_size = size;
    }
    lines.cut(0);
    return lines;
}

BackupLines::BackupLines(BackupLines &&other) noexcept
{
    *this = std::move(other);
}

BackupLines &BackupLines::operator=(BackupLines &&other) noexcept
{
    if (this == &other)
        return *this;
    if (m_mapping)
        ::munmap(m_mapping, size_t(m_size));
    m_data = std::move(other.m_data);
    m_mapping = std::exchange(other.m_mapping, nullptr);
    m_bytes = m_mapping ? static_cast<const char *>(m_mapping) : m_data.constData();
    m_size = std::exchange(other.m_size, 0);
    other.m_bytes = nullptr;
    m_readSinceRelease = other.m_readSinceRelease;
    m_starts = std::move(other.m_starts);
    m_wideStarts = std::move(other.m_wideStarts);
    m_wide = other.m_wide;
    m_utf8 = other.m_utf8;
    m_allWellFormed = other.m_allWellFormed;
    return *this;
}

BackupLines::~BackupLines()
{
    if (m_mapping)
        ::munmap(m_mapping, size_t(m_size));
}

// Counts bytes read from a mapped file; past the limit every page is given
// back. The mapping stays, so views handed out stay valid: their pages are
// read again from the system's cache when they are next looked at.
void BackupLines::readSome(qsizetype count) const
{
    if (!m_mapping)
        return;
    m_readSinceRelease += count;
    if (m_readSinceRelease < kReleaseEvery)
        return;
    m_readSinceRelease = 0;
    ::madvise(m_mapping, size_t(m_size), MADV_DONTNEED);
}

void BackupLines::cut(qsizetype from)
{
    const char *bytes = m_bytes;
    const qsizetype n = m_size;
    // A byte-order mark that an editor may have added is not part of the text.
    if (n - from >= 3 && std::memcmp(bytes + from, "\xEF\xBB\xBF", 3) == 0)
        from += 3;
    m_wide = n >= qsizetype(std::numeric_limits<quint32>::max());
    auto add = [this](qsizetype at) {
        if (m_wide)
            m_wideStarts.append(at);
        else
            m_starts.append(quint32(at));
    };
    qsizetype utf8Lines = 0;
    qsizetype malformedLines = 0;
    // The next LF, found once for a run of lines; in a file without any LF
    // it is the end, so lone CRs never make the search start again.
    const char *nextLf = nullptr;
    const char *const end = bytes + n;
    qsizetype start = from;
    while (start < n) {
        add(start);
        const char *at = bytes + start;
        if (!nextLf || nextLf < at) {
            nextLf = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
            if (!nextLf)
                nextLf = end;
        }
        const char *lineEnd = nextLf;
        const char *cr = static_cast<const char *>(std::memchr(at, '\r', size_t(lineEnd - at)));
        const bool crLf = cr && cr + 1 == nextLf && nextLf != end;
        if (cr && !crLf)
            lineEnd = cr; // a lone CR
        switch (classifyUtf8(QByteArrayView(at, crLf ? cr : lineEnd))) {
        case Utf8Kind::Ascii:
            break;
        case Utf8Kind::Utf8:
            ++utf8Lines;
            break;
        case Utf8Kind::Malformed:
            ++malformedLines;
            break;
        }
        start = lineEnd == end ? n + 1 : lineEnd - bytes + 1;
        readSome(start - (at - bytes));
    }
    // The end of the last line: past its line end, or one past the data
    // when it has none.
    add(start);
    m_allWellFormed = malformedLines == 0;
    m_utf8 = m_allWellFormed || utf8Lines > malformedLines;
}

QByteArrayView BackupLines::bytes(qsizetype index) const
{
    const qsizetype begin = start(index);
    qsizetype end = start(index + 1) - 1; // the line end's last byte, or the end of the data
    // A CR right before a line feed belongs to the line end.
    if (end < m_size && m_bytes[end] == '\n' && end > begin && m_bytes[end - 1] == '\r')
        --end;
    readSome(end - begin);
    return QByteArrayView(m_bytes + begin, end - begin);
}

bool BackupLines::isReadable(qsizetype index) const
{
    return m_allWellFormed || !m_utf8 || classifyUtf8(bytes(index)) != Utf8Kind::Malformed;
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

Utf8Kind classifyUtf8(QByteArrayView bytes)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    const auto *end = p + bytes.size();
    Utf8Kind kind = Utf8Kind::Ascii;
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
            return Utf8Kind::Malformed;
        kind = Utf8Kind::Utf8;
        p += length;
    }
    return kind;
}

bool isValidUtf8(QByteArrayView bytes)
{
    return classifyUtf8(bytes) != Utf8Kind::Malformed;
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
