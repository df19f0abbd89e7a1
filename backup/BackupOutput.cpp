#include "BackupOutput.h"

#include <QDir>
#include <QFileDevice>
#include <QTemporaryFile>

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

// ---------------------------------------------------------------- SpillFile

SpillFile::SpillFile(QString folder) : m_folder(std::move(folder))
{
    if (m_folder.isEmpty())
        m_folder = QDir::tempPath();
}

SpillFile::~SpillFile() = default;

Status SpillFile::append(QByteArrayView bytes)
{
    if (!m_file) {
        m_file = std::make_unique<QTemporaryFile>(m_folder + QStringLiteral("/.BackupDB.txt.part-XXXXXX"));
        if (!m_file->open())
            return failure(QStringLiteral("Could not create a temporary file in %1: %2").arg(m_folder, m_file->errorString()));
    }
    // Flushed at once, so that the reader finds what was appended.
    errno = 0;
    if (m_file->write(bytes.data(), bytes.size()) != bytes.size() || !m_file->flush())
        return failure(writeFailure(errno, m_file->errorString()));
    m_size += bytes.size();
    return {};
}

Status SpillFile::read(qint64 count, const std::function<Status(QByteArrayView)> &write)
{
    if (count <= 0)
        return {};
    if (!m_reader) {
        m_reader = std::make_unique<QFile>(m_file->fileName());
        if (!m_reader->open(QIODevice::ReadOnly | QIODevice::Unbuffered))
            return failure(QStringLiteral("Could not read the temporary file %1: %2")
                               .arg(m_file->fileName(), m_reader->errorString()));
    }
    constexpr qint64 kPiece = 1 << 20;
    QByteArray piece(kPiece, Qt::Uninitialized);
    while (count > 0) {
        const qint64 got = m_reader->read(piece.data(), std::min(count, kPiece));
        if (got <= 0)
            return failure(QStringLiteral("Could not read the temporary file %1: %2")
                               .arg(m_file->fileName(), m_reader->errorString()));
        if (Status written = write(QByteArrayView(piece.constData(), got)); !written)
            return written;
        count -= got;
        m_read += got;
    }
    return {};
}

} // namespace backup
