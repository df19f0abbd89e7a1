#include "ContactFileReader.h"

#include "CsvFormat.h"
#include "VCardLibrary.h"
#include "VCardMapping.h"

#include <QBuffer>
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
        if (m_firstLine) {
            line = *m_firstLine;
            m_firstLine.reset();
        } else if (!m_lines.next(line)) {
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
        feed(line);
    }
    row = m_ready.dequeue();
    return true;
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
                } else {
                    m_quoted = false;
                }
            } else {
                m_field += c;
            }
        } else if (c == QLatin1Char('"') && m_field.isEmpty()) {
            m_quoted = true;
            m_any = true;
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
}

bool ContactFileReader::next(ContactRecord &record)
{
    if (m_vcards)
        return m_vcards->next(record);
    QStringList row;
    if (!m_csv->next(row))
        return false;
    record = recordFromCsvRow(m_headers, row, m_mapping);
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
    if (m_vcards && m_vcards->skippedCards > 0)
        found << (m_vcards->skippedCards == 1
                      ? QStringLiteral("1 card longer than %1 characters was not read.").arg(kMaxRecordChars)
                      : QStringLiteral("%1 cards longer than %2 characters were not read.")
                            .arg(m_vcards->skippedCards)
                            .arg(kMaxRecordChars));
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
