#include "DetailTexts.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace report {

namespace {

// Rows are read back in blocks of this size (or one row, when it is larger).
constexpr qint64 kReadBlock = 1 << 20;

// A file without a name: it goes when the report does, also after a crash.
int openTemporaryFile()
{
    const QByteArray folder = QFile::encodeName(QDir::tempPath());
    int fd = ::open(folder.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        QTemporaryFile file(QDir::tempPath() + QStringLiteral("/corvanta-report-XXXXXX"));
        if (file.open()) {
            fd = ::open(QFile::encodeName(file.fileName()).constData(), O_RDWR | O_CLOEXEC);
            file.remove();
        }
    }
    return fd;
}

QString fileFailure()
{
    return QStringLiteral("The report's rows cannot be kept in the temporary folder %1: %2")
        .arg(QDir::tempPath(), QString::fromLocal8Bit(std::strerror(errno)));
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool readAll(int fd, char *data, qint64 size, qint64 at)
{
    while (size > 0) {
        const ssize_t got = ::pread(fd, data, size_t(size), off_t(at));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        data += got;
        size -= got;
        at += got;
    }
    return true;
}

} // namespace

DetailTexts::~DetailTexts()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

DetailTexts::DetailTexts(DetailTexts &&other) noexcept
{
    *this = std::move(other);
}

DetailTexts &DetailTexts::operator=(DetailTexts &&other) noexcept
{
    if (this == &other)
        return *this;
    if (m_fd >= 0)
        ::close(m_fd);
    m_columns = std::exchange(other.m_columns, 0);
    m_fd = std::exchange(other.m_fd, -1);
    m_pending = std::move(other.m_pending);
    m_offsets = std::move(other.m_offsets);
    m_buffer = std::move(other.m_buffer);
    other.m_buffer.cached = -1;
    return *this;
}

bool DetailTexts::open(int columns, QString *why)
{
    *this = DetailTexts();
    m_columns = columns;
    m_fd = openTemporaryFile();
    if (m_fd < 0) {
        *why = fileFailure();
        return false;
    }
    m_offsets.push_back(0);
    return true;
}

void DetailTexts::append(const QString *texts)
{
    const qsizetype before = m_pending.size();
    for (int i = 0; i < m_columns; ++i) {
        const QString &text = texts[i];
        const qint32 length = qint32(text.size());
        m_pending.append(reinterpret_cast<const char *>(&length), sizeof length);
        m_pending.append(reinterpret_cast<const char *>(text.constData()), length * qsizetype(sizeof(QChar)));
    }
    m_offsets.push_back(m_offsets.back() + (m_pending.size() - before));
    if (m_pending.size() >= (1 << 20))
        (void)flush();
}

bool DetailTexts::flush()
{
    if (!writeAll(m_fd, m_pending.constData(), m_pending.size()))
        return false;
    m_pending.clear();
    return true;
}

bool DetailTexts::finish(QString *why)
{
    if (m_fd >= 0 && flush()) {
        m_pending.squeeze();
        return true;
    }
    *why = fileFailure();
    return false;
}

// The new file is gathered a part at a time: each pass reads the old file
// front to back and copies the rows that fall in the part, so no row is
// fetched on its own (a call per row costs more than reading it all again).
bool DetailTexts::reorder(const std::vector<int> &order, QString *why, qint64 bytesPerPass)
{
    const qsizetype oldRows = rowCount();
    std::vector<qint64> offsets(order.size() + 1, 0);
    std::vector<int> destination(size_t(oldRows), -1);
    for (size_t i = 0; i < order.size(); ++i) {
        const size_t from = size_t(order[i]);
        offsets[i + 1] = offsets[i] + (m_offsets[from + 1] - m_offsets[from]);
        destination[from] = int(i);
    }
    const int fd = openTemporaryFile();
    if (fd < 0) {
        *why = fileFailure();
        return false;
    }
    const auto fail = [&] {
        *why = fileFailure();
        ::close(fd);
        return false;
    };
    QByteArray part;
    QByteArray block;
    size_t first = 0;
    while (first < order.size()) {
        size_t last = first + 1;
        while (last < order.size() && offsets[last + 1] - offsets[first] <= bytesPerPass)
            ++last;
        part.resize(offsets[last] - offsets[first]);
        qsizetype row = 0;
        while (row < oldRows) {
            const qint64 blockBegin = m_offsets[size_t(row)];
            qsizetype end = row + 1;
            while (end < oldRows && m_offsets[size_t(end) + 1] - blockBegin <= kReadBlock * 4)
                ++end;
            block.resize(m_offsets[size_t(end)] - blockBegin);
            if (!readAll(m_fd, block.data(), block.size(), blockBegin))
                return fail();
            for (; row < end; ++row) {
                const int to = destination[size_t(row)];
                if (to < int(first) || to >= int(last))
                    continue;
                std::memcpy(part.data() + (offsets[size_t(to)] - offsets[first]),
                            block.constData() + (m_offsets[size_t(row)] - blockBegin),
                            size_t(m_offsets[size_t(row) + 1] - m_offsets[size_t(row)]));
            }
        }
        if (!writeAll(fd, part.constData(), part.size()))
            return fail();
        first = last;
    }
    ::close(m_fd);
    m_fd = fd;
    m_offsets = std::move(offsets);
    m_buffer = Buffer();
    return true;
}

const QString *DetailTexts::row(qsizetype index, Buffer &buffer) const
{
    if (index == buffer.cached)
        return buffer.texts.data();
    buffer.texts.resize(size_t(m_columns));
    buffer.cached = -1;
    if (index < 0 || index >= rowCount()) {
        for (QString &text : buffer.texts)
            text.clear();
        return buffer.texts.data();
    }
    const qint64 begin = m_offsets[size_t(index)];
    const qint64 end = m_offsets[size_t(index) + 1];
    if (begin < buffer.blockStart || end > buffer.blockStart + buffer.block.size()) {
        // The rows that follow are read with it: rows are mostly read in order.
        const qint64 blockEnd = std::min(m_offsets.back(), std::max(end, begin + kReadBlock));
        buffer.block.resize(blockEnd - begin);
        buffer.blockStart = begin;
        if (!readAll(m_fd, buffer.block.data(), buffer.block.size(), begin)) {
            buffer.block.clear();
            for (QString &text : buffer.texts)
                text.clear();
            return buffer.texts.data();
        }
    }
    const char *at = buffer.block.constData() + (begin - buffer.blockStart);
    const char *rowEnd = buffer.block.constData() + (end - buffer.blockStart);
    int column = 0;
    for (; column < m_columns && at + sizeof(qint32) <= rowEnd; ++column) {
        qint32 length = 0;
        std::memcpy(&length, at, sizeof length);
        at += sizeof length;
        const qsizetype bytes = qsizetype(length) * qsizetype(sizeof(QChar));
        if (length < 0 || at + bytes > rowEnd)
            break;
        buffer.texts[size_t(column)].setUnicode(reinterpret_cast<const QChar *>(at), length);
        at += bytes;
    }
    for (; column < m_columns; ++column)
        buffer.texts[size_t(column)].clear();
    buffer.cached = index;
    return buffer.texts.data();
}

} // namespace report
