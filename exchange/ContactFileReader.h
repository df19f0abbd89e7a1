#pragma once

#include "ContactExport.h"
#include "ContactRecord.h"
#include "CsvFormat.h"
#include "TextLineReader.h"
#include "VCardBatchParser.h"

#include "base/Result.h"

#include <QList>
#include <QQueue>
#include <QStringList>

#include <optional>

class QIODevice;

namespace exchange {

// Cards of a vCard file one at a time: a card longer than kMaxRecordChars is
// skipped (and counted) instead of being held. The cards are read ahead in
// batches and parsed on worker threads; new batches are read only while
// fewer than kMaxRecordChars characters of cards wait to be parsed, so at
// most about twice that are held at a time.
class VCardStream {
public:
    explicit VCardStream(QIODevice *device);
    bool next(ContactRecord &record);
    QStringList notKept;       // "PHOTO of Ann Lee"
    int skippedCards = 0;
    int repairedValues = 0;  // values the vCard library had to mend
    int truncatedLines() const { return m_lines.truncatedLines(); }

    // Cards (and characters of cards) handed to a worker at a time.
    static constexpr int kBatchCards = 256;
    static constexpr qsizetype kBatchChars = 256 * 1024;

private:
    // The next batch of whole cards; false at the end of the file.
    bool readBatch();

    TextLineReader m_lines;
    VCardBatchParser m_parser;
    QQueue<ContactRecord> m_ready;
    bool m_atEnd = false;
};

// Rows of a CSV file one at a time (RFC 4180 and what spreadsheets write):
// the delimiter (comma, semicolon or TAB) is found from the first line;
// quoted fields may hold line breaks and doubled quotes. A row longer than
// kMaxRecordChars is skipped; columns after kMaxColumns are dropped.
class CsvStream {
public:
    explicit CsvStream(QIODevice *device);
    bool next(QStringList &row);
    QChar delimiter() const { return m_delimiter; }
    int skippedRows = 0;
    int droppedColumns = 0;
    int truncatedLines() const { return m_lines.truncatedLines(); }

    // The lines that opened a quote never closed.
    QList<int> unclosedQuoteRows;

private:
    void feed(const QString &text);
    void endField();
    void endRow();
    void recoverFromOpenQuote();

    QStringList m_quoteLines; // the lines after the one that opened the quote
    QStringList m_rowAtQuote; // the fields of the row before the quote
    QString m_quoteLine;      // the line that opened the quote
    qsizetype m_quoteOffset = 0;
    bool m_badQuote = false;
    QStringList m_replay;     // lines to read again after a quote that never closed
    int m_rowNumber = 0;      // lines read
    int m_quoteRow = 0;       // the line that opened the quote

    TextLineReader m_lines;
    QChar m_delimiter;
    std::optional<QString> m_firstLine;
    QQueue<QStringList> m_ready;
    QStringList m_row;
    QString m_field;
    qsizetype m_rowChars = 0;
    bool m_quoted = false;
    bool m_any = false;
    bool m_dropping = false;
};

// Refuses what is no contact file: compressed files, archives, binary data
// (NUL bytes outside vCard), text in no supported encoding. The device is
// open and at its start; nothing is read from it.
Status checkContactFile(QIODevice *device);

// The contacts of an import file, one at a time, whatever its format.
class ContactFileReader {
public:
    // The device is open and at its start; the format comes from the content.
    explicit ContactFileReader(QIODevice *device);

    FileFormat format() const { return m_format; }
    // CSV: the header row, and how its columns become fields (by default the
    // automatic mapping of the header).
    QStringList headers() const { return m_headers; }
    void setMapping(const QList<int> &mapping) { m_mapping = mapping; }
    QList<int> mapping() const { return m_mapping; }
    // CSV: the order of day and month that the values of a column settle,
    // and whether the column holds dates that read either way without it.
    std::optional<DateOrder> decidedDateOrder(int column) const;
    bool datesReadEitherWay(int column) const;
    // The order the user chose for the birth date column.
    void setDateOrder(std::optional<DateOrder> order) { m_chosenDateOrder = order; }

    bool next(ContactRecord &record);
    qint64 position() const;

    QStringList notKept() const;
    // What could not be read at all, as sentences for the summary.
    QStringList problems() const;

private:
    FileFormat m_format;
    std::optional<VCardStream> m_vcards;
    std::optional<CsvStream> m_csv;
    QIODevice *m_device;
    QStringList m_headers;
    QList<int> m_mapping;
    QList<DateColumnEvidence> m_dateEvidence;
    std::optional<DateOrder> m_chosenDateOrder;
    DateOrder m_dateOrder = DateOrder::DayFirst;
    bool m_undecidedDates = false;
};

} // namespace exchange
