#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>

#include "frame/Windows1252.h" // the decoder of files that are not UTF-8

class QIODevice;

namespace exchange {

// Limits that keep a hostile or broken file from making the readers hold
// more than a few megabytes at a time.
inline constexpr qsizetype kMaxLineBytes = 1 << 20;       // one physical line
inline constexpr qsizetype kMaxRecordChars = 4 << 20;     // one card or one CSV row
inline constexpr int kMaxColumns = 1000;                  // columns of a CSV file

// Reads a text file line by line without holding more than one line: UTF-8
// (with or without BOM) and UTF-16 with a BOM; a line that is not valid
// UTF-8 is read as Windows-1252. Each line comes with its line end ("\n" or
// "\r\n", nothing on the last line); a longer line than kMaxLineBytes is cut
// there and the rest of it skipped.
class TextLineReader {
public:
    explicit TextLineReader(QIODevice *device);

    // False at the end of the file.
    bool next(QString &line);
    // Lines that were cut because they were too long.
    int truncatedLines() const { return m_truncated; }
    qint64 position() const;

private:
    bool nextUtf16(QString &line);

    QIODevice *m_device;
    QByteArray m_buffer;
    bool m_utf16 = false;
    QStringDecoder m_decoder;
    QString m_pending;   // decoded UTF-16 text, handed out from m_start on
    qsizetype m_start = 0;
    bool m_atEnd = false;
    bool m_skipping = false; // inside a line that was cut
    int m_truncated = 0;
};

} // namespace exchange
