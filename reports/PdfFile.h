#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

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
    // Writes the cross-reference table and the trailer; false when the file
    // could not be written.
    bool finish(int catalog, int info);

private:
    void write(const char *data, qsizetype size);
    void beginObject(int number);

    QFile m_file;
    std::vector<qint64> m_offsets{0}; // by object number; 0 unused
    qint64 m_position = 0;
    QByteArray m_buffer;
    bool m_failed = false;
};

} // namespace report::pdf
