#include "ContactFileReader.h"

#include "CsvFormat.h"
#include "VCardLibrary.h"
#include "VCardMapping.h"

#include <QBuffer>
#include <QStringDecoder>
#include <QIODevice>
#include <QThread>

namespace exchange {

namespace {
bool isLine(const QString &line, QLatin1String word)
{
    return QStringView(line).trimmed().compare(word, Qt::CaseInsensitive) == 0;
}

void chopLineEnd(QString &line)
{
    if (line.endsWith(QLatin1Char('\n')))
        line.chop(1);
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
}
} // namespace

VCardStream::VCardStream(QIODevice *device) : m_lines(device) {}

bool VCardStream::readBatch()
{
    QList<QStringList> batch;
    qsizetype batchChars = 0;
    QString line;
    QStringList card;
    qsizetype cardChars = 0;
    int depth = 0;
    bool tooLarge = false;
    while (batch.size() < kBatchCards && batchChars < kBatchChars) {
        if (!m_lines.next(line)) {
            m_atEnd = true;
            // The last card was cut short: what it holds is read all the same.
            if (depth > 0 && !tooLarge && !card.isEmpty()) {
                batch << std::move(card);
                card = QStringList();
                batchChars += cardChars;
            }
            break;
        }
        if (isLine(line, QLatin1String("BEGIN:VCARD"))) {
            if (depth++ == 0) {
                card.clear();
                card.reserve(32);
                cardChars = 0;
                tooLarge = false;
            }
        }
        if (depth == 0)
            continue;
        cardChars += line.size();
        if (cardChars > kMaxRecordChars) {
            tooLarge = true;
            card.clear();
        }
        const bool end = isLine(line, QLatin1String("END:VCARD"));
        if (!tooLarge) {
            chopLineEnd(line);
            card << std::move(line);
        }
        if (end && --depth == 0) {
            if (tooLarge) {
                ++skippedCards;
                continue;
            }
            batch << std::move(card);
            card = QStringList();
            batchChars += cardChars;
        }
    }
    if (batch.isEmpty())
        return false;
    m_parser.submit(std::move(batch), batchChars);
    return true;
}

bool VCardStream::next(ContactRecord &record)
{
    // Keep the workers busy: hand them the next cards while they parse.
    while (!m_atEnd && m_parser.pendingCharacters() < kMaxRecordChars
           && m_parser.pendingBatches() < 2 * QThread::idealThreadCount() + 1 && readBatch()) {
    }
    while (m_ready.isEmpty()) {
        if (m_parser.pendingBatches() == 0 && (m_atEnd || !readBatch()))
            return false;
        ParsedCards parsed = m_parser.take();
        notKept += parsed.notKept;
        repairedValues += parsed.repairs;
        for (ContactRecord &parsedRecord : parsed.records)
            m_ready.enqueue(std::move(parsedRecord));
    }
    record = m_ready.dequeue();
    return true;
}

CsvStream::CsvStream(QIODevice *device) : m_lines(device)
{
    QString first;
    if (m_lines.next(first))
        m_firstLine = first;
    m_delimiter = detectDelimiter(first);
}

bool CsvStream::next(QStringList &row)
{
    while (m_ready.isEmpty()) {
        QString line;
        if (!m_replay.isEmpty()) {
            line = m_replay.takeFirst();
        } else if (m_firstLine) {
            line = *m_firstLine;
            m_firstLine.reset();
        } else if (!m_lines.next(line)) {
            if (m_quoted && !m_dropping) {
                recoverFromOpenQuote();
                continue;
            }
            if (m_dropping)
                ++skippedRows;
            else if (m_any || !m_field.isEmpty())
                endRow();
            m_dropping = false;
            m_any = false;
            if (m_ready.isEmpty())
                return false;
            break;
        }
        ++m_rowNumber;
        const bool wasQuoted = m_quoted;
        feed(line);
        if (m_badQuote) {
            // A quote of an earlier line "closed" in the middle of a value:
            // that quote was never meant to be closed.
            m_badQuote = false;
            m_quoteLines << line;
            recoverFromOpenQuote();
            continue;
        }
        // The lines read while a quote is open are held, in case it never closes.
        if (!m_quoted || m_dropping) {
            m_quoteLines.clear();
        } else if (wasQuoted && m_quoteRow != m_rowNumber) {
            m_quoteLines << line;
        } else {
            m_quoteLines.clear();
        }
    }
    row = m_ready.dequeue();
    return true;
}

// A quote that was opened and never closed: the row that opened it ends
// with its own line, and the lines after it are read again as rows.
void CsvStream::recoverFromOpenQuote()
{
    unclosedQuoteRows << m_quoteRow;
    m_row = m_rowAtQuote;
    QString rest = m_quoteLine.mid(m_quoteOffset + 1);
    while (rest.endsWith(QLatin1Char('\n')) || rest.endsWith(QLatin1Char('\r')))
        rest.chop(1);
    m_field = rest;
    m_quoted = false;
    m_any = true;
    endRow();
    m_rowNumber = m_quoteRow;
    m_replay = m_quoteLines + m_replay;
    m_quoteLines.clear();
}

void CsvStream::endField()
{
    if (m_row.size() < kMaxColumns)
        m_row << m_field;
    else
        ++droppedColumns;
    m_field.clear();
}

void CsvStream::endRow()
{
    endField();
    m_ready.enqueue(m_row);
    m_row.clear();
    m_rowChars = 0;
    m_any = false;
}

void CsvStream::feed(const QString &text)
{
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        const bool lineEnd = c == QLatin1Char('\r') || c == QLatin1Char('\n');
        if (m_dropping) {
            // A row that was too long: skip to the next line end, quotes or not.
            if (lineEnd) {
                m_dropping = false;
                ++skippedRows;
                if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                    ++i;
            }
            continue;
        }
        if (++m_rowChars > kMaxRecordChars) {
            m_dropping = true;
            m_quoted = false;
            m_row.clear();
            m_field.clear();
            m_rowChars = 0;
            m_any = false;
            continue;
        }
        if (m_quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text[i + 1] == QLatin1Char('"')) {
                    m_field += c;
                    ++i;
                } else if (m_quoteRow != m_rowNumber && i + 1 < size && text[i + 1] != m_delimiter
                           && text[i + 1] != QLatin1Char('\r') && text[i + 1] != QLatin1Char('\n')) {
                    m_badQuote = true;
                    return;
                } else {
                    m_quoted = false;
                }
            } else {
                m_field += c;
            }
        } else if (c == QLatin1Char('"') && m_field.isEmpty()) {
            m_quoted = true;
            m_any = true;
            m_field = QString(QLatin1String("")); // a quoted empty field is empty text, not nothing
            m_quoteRow = m_rowNumber;
            m_rowAtQuote = m_row;
            m_quoteLine = text;
            m_quoteOffset = i;
        } else if (c == m_delimiter) {
            endField();
            m_any = true;
        } else if (lineEnd) {
            if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                ++i;
            if (m_any || !m_field.isEmpty())
                endRow();
            else
                m_rowChars = 0;
        } else {
            m_field += c;
            m_any = true;
        }
    }
}

ContactFileReader::ContactFileReader(QIODevice *device)
    : m_format(detectFormat(device->peek(4096))), m_device(device)
{
    if (m_format == FileFormat::VCard) {
        m_vcards.emplace(device);
        return;
    }
    m_csv.emplace(device);
    m_csv->next(m_headers);
    m_mapping = automaticMapping(m_headers);
    if (device->isSequential())
        return;
    // The order of day and month in a date column is decided from all its
    // values, so the file is read once before its contacts are.
    m_dateEvidence.resize(m_headers.size());
    QStringList row;
    while (m_csv->next(row))
        for (qsizetype c = 0; c < row.size() && c < m_dateEvidence.size(); ++c)
            m_dateEvidence[c].take(row[c]);
    m_csv.reset();
    device->seek(0);
    m_csv.emplace(device);
    m_csv->next(row);
}

std::optional<DateOrder> ContactFileReader::decidedDateOrder(int column) const
{
    return m_dateEvidence.value(column).order();
}

bool ContactFileReader::datesReadEitherWay(int column) const
{
    const DateColumnEvidence evidence = m_dateEvidence.value(column);
    return evidence.ambiguous && !evidence.order();
}

bool ContactFileReader::next(ContactRecord &record)
{
    if (m_vcards)
        return m_vcards->next(record);
    QStringList row;
    if (!m_csv->next(row))
        return false;
    const int dates = int(m_mapping.indexOf(Birthdate));
    const std::optional<DateOrder> decided = decidedDateOrder(dates);
    m_dateOrder = m_chosenDateOrder ? *m_chosenDateOrder : decided.value_or(localeDateOrder());
    m_undecidedDates = !m_chosenDateOrder && dates >= 0 && datesReadEitherWay(dates);
    record = recordFromCsvRow(m_headers, row, m_mapping, m_dateOrder);
    return true;
}

qint64 ContactFileReader::position() const
{
    return m_device->pos();
}

QStringList ContactFileReader::notKept() const
{
    return m_vcards ? m_vcards->notKept : QStringList();
}

QStringList ContactFileReader::problems() const
{
    QStringList found;
    const int cut = m_vcards ? m_vcards->truncatedLines() : m_csv->truncatedLines();
    if (cut > 0)
        found << (cut == 1 ? QStringLiteral("1 line longer than %1 bytes was cut.").arg(kMaxLineBytes)
                           : QStringLiteral("%1 lines longer than %2 bytes were cut.").arg(cut).arg(kMaxLineBytes));
    if (m_vcards && m_vcards->repairedValues > 0)
        found << (m_vcards->repairedValues == 1 ? QStringLiteral("1 value was read with repairs.")
                                                : QStringLiteral("%1 values were read with repairs.").arg(m_vcards->repairedValues));
    if (m_vcards && m_vcards->skippedCards > 0)
        found << (m_vcards->skippedCards == 1
                      ? QStringLiteral("1 card longer than %1 characters was not read.").arg(kMaxRecordChars)
                      : QStringLiteral("%1 cards longer than %2 characters were not read.")
                            .arg(m_vcards->skippedCards)
                            .arg(kMaxRecordChars));
    if (m_csv)
        for (const int row : m_csv->unclosedQuoteRows)
            found << QStringLiteral("Line %1 opens a quote that is never closed: that row ends with its line, "
                                    "the rows after it were read as rows.").arg(row);
    if (m_csv && m_undecidedDates)
        found << QStringLiteral("The dates in column \"%1\" read either way; they were read as %2, as your locale writes them.")
                     .arg(m_headers.value(m_mapping.indexOf(Birthdate)), dateOrderText(m_dateOrder));
    if (m_csv && m_csv->skippedRows > 0)
        found << (m_csv->skippedRows == 1
                      ? QStringLiteral("1 row longer than %1 characters was not read.").arg(kMaxRecordChars)
                      : QStringLiteral("%1 rows longer than %2 characters were not read.").arg(m_csv->skippedRows).arg(kMaxRecordChars));
    if (m_csv && m_csv->droppedColumns > 0)
        found << (m_csv->droppedColumns == 1
                      ? QStringLiteral("1 value after column %1 was not read.").arg(kMaxColumns)
                      : QStringLiteral("%1 values after column %2 were not read.").arg(m_csv->droppedColumns).arg(kMaxColumns));
    return found;
}

Status checkContactFile(QIODevice *device)
{
    const QByteArray start = device->peek(64 * 1024);
    if (start.startsWith("\x1F\x8B"))
        return failure(QStringLiteral("The file is compressed (gzip); unpack it first."));
    if (start.startsWith("PK\x03\x04") || start.startsWith("PK\x05\x06"))
        return failure(QStringLiteral("The file is a ZIP archive; unpack it first."));
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF"))
        return {};
    if (detectFormat(start) == FileFormat::VCard)
        return {}; // NUL bytes inside a card are reported with the card
    if (start.contains('\0'))
        return failure(QStringLiteral("The file holds binary data (NUL bytes), not contacts."));
    // Text in UTF-8 or Windows-1252 has no control characters but line ends,
    // TAB and form feed; Windows-1252 leaves five byte values undefined.
    // The sample may end inside a character.
    const QByteArray whole = start.size() == 64 * 1024 ? start.chopped(4) : start;
    QStringDecoder utf8(QStringDecoder::Utf8);
    (void)utf8(whole);
    const bool isUtf8 = !utf8.hasError();
    int strange = 0;
    for (const char byte : start) {
        const auto c = static_cast<unsigned char>(byte);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7F)
            ++strange;
        else if (!isUtf8 && (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D))
            ++strange;
    }
    if (strange > 0)
        return failure(QStringLiteral("The file is not text in a supported encoding (UTF-8, UTF-16 or Windows-1252)."));
    return {};
}

VCardImport readVCards(const QByteArray &fileBytes)
{
    QBuffer buffer;
    buffer.setData(fileBytes);
    buffer.open(QIODevice::ReadOnly);
    VCardStream stream(&buffer);
    VCardImport result;
    ContactRecord record;
    while (stream.next(record))
        result.contacts << record;
    result.notKept = stream.notKept;
    return result;
}

CsvTable readCsv(const QByteArray &fileBytes)
{
    QBuffer buffer;
    buffer.setData(fileBytes);
    buffer.open(QIODevice::ReadOnly);
    CsvStream stream(&buffer);
    CsvTable table;
    table.delimiter = stream.delimiter();
    QStringList row;
    while (stream.next(row))
        table.rows << row;
    return table;
}

} // namespace exchange
