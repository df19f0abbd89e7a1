#pragma once

// The backup writer's output: a byte buffer that the encoders write into
// through a pointer, and the line writer that hands the file to its device
// in large pieces. For a file the disk starts writing each piece at once, so
// that little is left to wait for when the file is committed.

#include "base/Result.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>
#include <functional>
#include <memory>

class QFile;
class QFileDevice;
class QIODevice;
class QTemporaryFile;

namespace backup {

// The text of a failed write; a full disk is named as such, since the file
// system's own text for it is often only "Unknown error".
QString writeFailure(int cause, const QString &errorText);

// A growing buffer of bytes. room(n) makes sure that n more bytes fit and
// gives back where they go; whoever writes them there then hands the end of
// what it wrote to advance(). Pointers stay valid until the next room().
class ByteBuffer {
public:
    explicit ByteBuffer(qsizetype capacity = 0);
    // Empty, filling the storage of an array that is no longer needed.
    explicit ByteBuffer(QByteArray &&storage);
    ByteBuffer(ByteBuffer &&other) noexcept;
    ByteBuffer &operator=(ByteBuffer &&other) noexcept;
    ByteBuffer(const ByteBuffer &) = delete;
    ByteBuffer &operator=(const ByteBuffer &) = delete;

    char *room(qsizetype count)
    {
        if (m_capacity - m_size < count)
            grow(count);
        return m_data + m_size;
    }
    void advance(const char *end) { m_size = end - m_data; }
    void append(const char *bytes, qsizetype count)
    {
        char *at = room(count);
        if (count > 0)
            std::memcpy(at, bytes, size_t(count));
        m_size += count;
    }
    void append(QByteArrayView bytes) { append(bytes.data(), bytes.size()); }
    void appendLineEnd() { append("\r\n", 2); }

    qsizetype size() const { return m_size; }
    bool isEmpty() const { return m_size == 0; }
    QByteArrayView view(qsizetype from = 0) const { return QByteArrayView(m_data + from, m_size - from); }
    void clear() { m_size = 0; }
    // The bytes as a QByteArray; the buffer is empty afterwards.
    QByteArray take();

private:
    void grow(qsizetype count);

    QByteArray m_storage; // its size is the capacity
    char *m_data = nullptr;
    qsizetype m_size = 0;
    qsizetype m_capacity = 0;
};

// Collects the file's lines in a buffer and hands them to the device in large
// pieces, or to a function that takes each piece and may give back the
// storage of an earlier one to fill again.
class LineWriter {
public:
    using HandOver = std::function<QByteArray(QByteArray &&piece)>;
    explicit LineWriter(QIODevice *device);
    explicit LineWriter(HandOver handOver);

    ByteBuffer &buffer() { return m_buffer; }
    // Ends the line in the buffer.
    Status endLine()
    {
        m_buffer.appendLineEnd();
        if (m_buffer.size() >= kChunk)
            return flush();
        return {};
    }
    Status line(QByteArrayView text)
    {
        m_buffer.append(text);
        return endLine();
    }
    // Hands what is buffered to the device.
    Status flush();
    // Hands whole lines to the device at once, after what is buffered.
    Status write(QByteArrayView lines);

    // Called after every piece handed to the device.
    std::function<void()> onFlush;

private:
    static constexpr qsizetype kChunk = 1 << 20;
    Status put(QByteArrayView bytes);
    void startWriteBack();

    QIODevice *m_device = nullptr;
    HandOver m_handOver;
    QFileDevice *m_file = nullptr; // the device, when it is a file
    qint64 m_writeBackFrom = 0;    // where the disk has not been asked to write yet
    qint64 m_sinceWriteBack = 0;   // bytes handed to the device since then
    ByteBuffer m_buffer;
};

// Bytes set aside in a temporary file until they are written, so that what
// the writer holds in memory does not grow with the database. Appended by
// one thread; read back once, in order, by read() (possibly by another
// thread, while appending goes on).
class SpillFile {
public:
    // The temporary file goes into this folder (beside the backup file, on
    // the disk that is to hold it anyway).
    explicit SpillFile(QString folder = QString());
    ~SpillFile();
    SpillFile(const SpillFile &) = delete;
    SpillFile &operator=(const SpillFile &) = delete;

    Status append(QByteArrayView bytes);
    qint64 size() const { return m_size; }
    // Hands the next `count` bytes to `write`, in pieces.
    Status read(qint64 count, const std::function<Status(QByteArrayView)> &write);
    // Hands every byte not read yet to `write`.
    Status readAll(const std::function<Status(QByteArrayView)> &write) { return read(m_size - m_read, write); }

private:
    QString m_folder;
    std::unique_ptr<QTemporaryFile> m_file;
    std::unique_ptr<QFile> m_reader;
    qint64 m_size = 0;
    qint64 m_read = 0;
};

} // namespace backup
