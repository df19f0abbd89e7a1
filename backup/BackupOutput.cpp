#include "BackupOutput.h"

#include <QFileDevice>

#include <algorithm>
#include <cerrno>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#endif

namespace backup {

namespace {
// The disk is asked to write after every this many bytes.
constexpr qint64 kWriteBackStep = 8 << 20;
} // namespace

QString writeFailure(int cause, const QString &errorText)
{
    if (cause == ENOSPC || cause == EDQUOT)
        return QStringLiteral("The disk is full; the old backup file was kept.");
    return errorText;
}

// ---------------------------------------------------------------- ByteBuffer

ByteBuffer::ByteBuffer(qsizetype capacity)
{
    if (capacity > 0)
        grow(capacity);
}

ByteBuffer::ByteBuffer(QByteArray &&storage) : m_storage(std::move(storage))
{
    m_capacity = m_storage.capacity();
    m_storage.resize(m_capacity);
    m_data = m_storage.data();
}

ByteBuffer::ByteBuffer(ByteBuffer &&other) noexcept
    : m_storage(std::move(other.m_storage)), m_data(other.m_data), m_size(other.m_size), m_capacity(other.m_capacity)
{
    other.m_storage = QByteArray();
    other.m_data = nullptr;
    other.m_size = other.m_capacity = 0;
}

ByteBuffer &ByteBuffer::operator=(ByteBuffer &&other) noexcept
{
    if (this != &other) {
        m_storage = std::move(other.m_storage);
        m_data = other.m_data;
        m_size = other.m_size;
        m_capacity = other.m_capacity;
        other.m_storage = QByteArray();
        other.m_data = nullptr;
        other.m_size = other.m_capacity = 0;
    }
    return *this;
}

void ByteBuffer::grow(qsizetype count)
{
    const qsizetype capacity = std::max({m_capacity * 2, m_size + count, qsizetype(4096)});
    // The new bytes are left uninitialized; what is there is kept.
    m_storage.resize(capacity);
    m_data = m_storage.data();
    m_capacity = capacity;
}

QByteArray ByteBuffer::take()
{
    m_storage.resize(m_size);
    QByteArray bytes = std::move(m_storage);
    m_storage = QByteArray();
    m_data = nullptr;
    m_size = m_capacity = 0;
    return bytes;
}

// ---------------------------------------------------------------- LineWriter

LineWriter::LineWriter(QIODevice *device)
    : m_device(device), m_file(qobject_cast<QFileDevice *>(device)), m_buffer(kChunk + 64 * 1024)
{
    if (m_file)
        m_writeBackFrom = m_file->pos();
}

LineWriter::LineWriter(HandOver handOver) : m_handOver(std::move(handOver)), m_buffer(kChunk + 64 * 1024) {}

Status LineWriter::flush()
{
    if (m_buffer.isEmpty())
        return {};
    if (!m_device) {
        QByteArray spare = m_handOver(m_buffer.take());
        m_buffer = spare.isNull() ? ByteBuffer(kChunk + 64 * 1024) : ByteBuffer(std::move(spare));
        return {};
    }
    if (Status written = put(m_buffer.view()); !written)
        return written;
    m_buffer.clear();
    if (onFlush)
        onFlush();
    return {};
}

Status LineWriter::write(QByteArrayView lines)
{
    if (!m_device) {
        m_buffer.append(lines);
        return {};
    }
    if (Status flushed = flush(); !flushed)
        return flushed;
    return put(lines);
}

Status LineWriter::put(QByteArrayView bytes)
{
    errno = 0;
    if (m_device->write(bytes.data(), bytes.size()) != bytes.size()) {
        const int cause = errno;
        return failure(writeFailure(cause, m_device->errorString()));
    }
    m_sinceWriteBack += bytes.size();
    if (m_sinceWriteBack >= kWriteBackStep) {
        m_sinceWriteBack = 0;
        startWriteBack();
    }
    return {};
}

// Asks the disk to start writing what has been handed to the file so far,
// without waiting for it. The commit's own sync then finds most of the file
// written already, instead of writing all of it at the end. Only a matter of
// speed: the commit still waits until everything is on the disk.
void LineWriter::startWriteBack()
{
#ifdef Q_OS_LINUX
    if (!m_file || m_file->handle() < 0 || !m_file->flush())
        return;
    const qint64 end = m_file->pos();
    if (end > m_writeBackFrom)
        (void)::sync_file_range(m_file->handle(), m_writeBackFrom, end - m_writeBackFrom, SYNC_FILE_RANGE_WRITE);
    m_writeBackFrom = end;
#endif
}

} // namespace backup
