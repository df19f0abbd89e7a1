#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace report::pdf {

// Appends a number as PDF writes it: at most two decimals, no exponent.
void appendNumber(QByteArray &out, double value);
void appendInteger(QByteArray &out, qint64 value);
// A text string in UTF-16 hex: <FEFF...>.
QByteArray hexText(const QString &text);

// A PDF file written object by object, front to back, with its
// cross-reference table at the end. Object numbers can be reserved before
// their objects are written.
class File {
public:
    bool open(const QString &path);
    QString errorString() const { return m_file.errorString(); }

    int reserve();
    // Writes object `number` with the given body (a dictionary or array).
    void writeObject(int number, const QByteArray &body);
    // Writes a stream object; compressed with Flate when asked.
    void writeStream(int number, const QByteArray &dictionaryEntries, const QByteArray &data, bool compress);
    // Writes a stream object whose data deflated() already compressed.
    void writeDeflatedStream(int number, const QByteArray &dictionaryEntries, const QByteArray &deflated);
    // The data as a Flate stream's contents (zlib, fastest level).
    static QByteArray deflated(const QByteArray &data);
    // Writes the cross-reference table and the trailer; false when the file
    // could not be written.
    bool finish(int catalog, int info);

private:
    // The stream object with its /Length, the bytes as given.
    void writeStreamObject(int number, const QByteArray &dictionaryEntries, const QByteArray &bytes);
    void write(const char *data, qsizetype size);
    void beginObject(int number);

    QFile m_file;
    std::vector<qint64> m_offsets{0}; // by object number; 0 unused
    qint64 m_position = 0;
    QByteArray m_buffer;
    bool m_failed = false;
};

// Deflates data on a thread of its own, in the order it was handed in, so
// that the next page is laid out while the last one is compressed.
class Deflater {
public:
    Deflater();
    ~Deflater();
    Deflater(const Deflater &) = delete;
    Deflater &operator=(const Deflater &) = delete;

    void push(QByteArray data);
    // The oldest data pushed and not taken yet, deflated; waits for it.
    QByteArray take();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_waiting;
    std::deque<QByteArray> m_done;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace report::pdf
