#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace report {

// The printed texts of a report's detail rows, kept in a temporary file so
// that a report of any size needs little memory: rows are written once, in
// the order they are read, then once more in the order they print, and read
// back a block at a time.
class DetailTexts {
public:
    DetailTexts() = default;
    ~DetailTexts();
    DetailTexts(DetailTexts &&other) noexcept;
    DetailTexts &operator=(DetailTexts &&other) noexcept;
    DetailTexts(const DetailTexts &) = delete;
    DetailTexts &operator=(const DetailTexts &) = delete;

    // Starts an empty store of rows of that many texts. False (with the
    // reason) when no temporary file can be made.
    bool open(int columns, QString *why);
    void append(const QString *texts);
    bool finish(QString *why);
    // Writes the rows named by `order` (row numbers as appended) into a new
    // file in that order: row i becomes order[i]. Reading them in print order
    // then reads the file front to back. The new file is gathered that many
    // bytes at a time.
    bool reorder(const std::vector<int> &order, QString *why, qint64 bytesPerPass = qint64(96) << 20);

    int columns() const { return m_columns; }
    qsizetype rowCount() const { return qsizetype(m_offsets.empty() ? 0 : m_offsets.size() - 1); }
    // Where a reader keeps the block it read last: one per thread that reads.
    struct Buffer {
        std::vector<QString> texts;
        QByteArray block;
        qint64 blockStart = 0; // where in the file block begins
        qsizetype cached = -1;
    };
    // The texts of a row; valid until the next call with the same buffer.
    // Empty texts when the file cannot be read.
    const QString *row(qsizetype index, Buffer &buffer) const;
    const QString *row(qsizetype index) const { return row(index, m_buffer); }

private:
    bool flush();

    int m_columns = 0;
    int m_fd = -1;
    QByteArray m_pending;
    std::vector<qint64> m_offsets; // the start of every row, then the end of the last
    mutable Buffer m_buffer;
};

} // namespace report
