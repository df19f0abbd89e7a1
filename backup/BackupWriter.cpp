// The backup file's writer: the three sections of record lines, then the
// trailing section after the last "TABLE END" (BackupTrailer.h describes
// it): the old keys, the fixed date form, a fingerprint of every record line
// and, escaped as described there, the exact text of every value that its
// record line does not give back exactly (apostrophes, line breaks, TABs,
// empty texts, dates not in their stored form).

#include "BackupFile.h"

#include "BackupTables.h"
#include "BackupDates.h"
#include "BackupText.h"
#include "BackupTrailer.h"

#include "store/BackupStore.h"
#include "store/Connection.h"

#include <cerrno>
#include <optional>
#include <QSaveFile>

namespace backup {

namespace {

using Kind = BackupStore::Rows::Kind;

// The text of a failed write; a full disk is named as such, since the file
// system's own text for it is often only "Unknown error".
QString writeFailure(int cause, const QString &errorText)
{
    if (cause == ENOSPC || cause == EDQUOT)
        return QStringLiteral("The disk is full; the old backup file was kept.");
    return errorText;
}

// Collects the file in a buffer and hands it to the device in large pieces.
class LineWriter {
public:
    explicit LineWriter(QIODevice &device) : m_device(device) { m_buffer.reserve(kChunk + 4096); }

    QByteArray &buffer() { return m_buffer; }
    Status endLine()
    {
        m_buffer.append("\r\n", 2);
        if (m_buffer.size() >= kChunk)
            return flush();
        return {};
    }
    Status line(QByteArrayView text)
    {
        m_buffer.append(text);
        return endLine();
    }
    Status flush()
    {
        if (m_buffer.isEmpty())
            return {};
        errno = 0;
        if (m_device.write(m_buffer) != m_buffer.size()) {
            const int cause = errno;
            return failure(writeFailure(cause, m_device.errorString()));
        }
        m_buffer.resize(0);
        return {};
    }

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QIODevice &m_device;
    QByteArray m_buffer;
};

bool isAscii(QByteArrayView bytes)
{
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// True when a text reads back from a record line exactly: the line drops
// CR, LF and apostrophes, the reader drops TABs, and an empty text comes back
// Null (an empty caption of the Contact Types section comes back empty).
bool cleanTextIsExact(QByteArrayView utf8, bool emptyComesBack)
{
    if (utf8.isEmpty())
        return emptyComesBack;
    for (const char c : utf8) {
        if (c == '\r' || c == '\n' || c == '\'' || c == '\t')
            return false;
    }
    return true;
}

// Appends one column of the current row, encoded by the field's kind. When
// the record line cannot give the stored value back exactly, *exact is set
// to the stored text.
void appendValue(QByteArray &out, const BackupStore::Rows &rows, int column, FieldKind kind, bool typesSection,
                 std::optional<QString> *exact)
{
    const Kind stored = rows.kind(column);
    switch (kind) {
    case FieldKind::Long: {
        if (stored == Kind::Integer) {
            out.append(QByteArray::number(rows.integer(column)));
            return;
        }
        if (stored == Kind::Null) {
            out.append("Null", 4);
            return;
        }
        const QVariant value = rows.value(column);
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        if (ok)
            out.append(QByteArray::number(number));
        else
            out.append("Null", 4);
        *exact = value.toString();
        return;
    }
    case FieldKind::YesNo: {
        if (stored == Kind::Null) {
            out.append("Null", 4);
            return;
        }
        const QVariant value = rows.value(column);
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        out.append((ok ? number != 0 : value.toBool()) ? "-1" : "0");
        return;
    }
    case FieldKind::Date: {
        if (stored == Kind::Null) {
            out.append("Null", 4);
            return;
        }
        const QByteArray converted = stored == Kind::Text ? QByteArray() : rows.value(column).toString().toUtf8();
        const QByteArrayView text = stored == Kind::Text ? rows.text(column) : QByteArrayView(converted);
        out.append('\'');
        if (appendUsDate(out, text)) {
            out.append('\'');
        } else {
            out.chop(1);
            out.append("Null", 4);
        }
        if (canonicalStoredDate(text).toUtf8() != text)
            *exact = QString::fromUtf8(text);
        return;
    }
    case FieldKind::Text:
        if (stored == Kind::Null) {
            out.append("' '", 3);
        } else if (stored == Kind::Text && (isAscii(rows.text(column)) || isValidUtf8(rows.text(column)))) {
            appendCleanText(out, rows.text(column));
            if (!cleanTextIsExact(rows.text(column), typesSection))
                *exact = QString::fromUtf8(rows.text(column));
        } else {
            const QString text = rows.value(column).toString();
            const QByteArray utf8 = text.toUtf8();
            appendCleanText(out, utf8);
            if (!cleanTextIsExact(utf8, typesSection))
                *exact = text;
        }
        return;
    }
}

class Writer {
public:
    Writer(BackupStore &store, QIODevice &out, const ProgressFunction &progress, BackupResult &result)
        : m_store(store), m_out(out), m_progress(progress), m_result(result)
    {
    }

    // Writes the whole file; a failure names the stage it ended.
    Status run(Stage *stage)
    {
        TableInfo tables[3];
        *stage = Stage::OpenDatabase;
        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts, BackupTable::Calls}) {
            Result<TableInfo> info = readTable(m_store, table);
            if (!info)
                return info.error();
            tables[int(table)] = std::move(info).value();
            m_total += m_store.rowCount(tables[int(table)].name).valueOr(0);
        }
        if (m_progress)
            m_progress(0, m_total);

        *stage = Stage::ContactTypes;
        if (Status written = writeContactTypes(); !written)
            return written;
        *stage = Stage::Contacts;
        if (Status written = writeSection(BackupTable::Contacts, tables[1], &m_contactKeys); !written)
            return written;
        *stage = Stage::Calls;
        if (Status written = writeSection(BackupTable::Calls, tables[2], nullptr); !written)
            return written;
        *stage = Stage::Finish;
        if (Status written = writeTrailer(); !written)
            return written;
        if (Status written = m_lines.flush(); !written)
            return written;
        if (m_progress)
            m_progress(m_total, m_total);
        return {};
    }

private:
    void tick()
    {
        ++m_done;
        if (m_progress && m_done % kProgressEvery == 0)
            m_progress(m_done, m_total);
    }

    // Contact Types: one line for each non-Null value after the key.
    Status writeContactTypes()
    {
        Result<std::unique_ptr<BackupStore::Rows>> rows = m_store.readRows(tableName(BackupTable::ContactTypes));
        if (!rows)
            return rows.error();
        if (Status written = m_lines.line(kMarkerContactTypes); !written)
            return written;
        BackupStore::Rows &row = **rows;
        const int fields = row.columnCount();
        for (;;) {
            const Result<bool> more = row.next();
            if (!more)
                return more.error();
            if (!*more)
                break;
            bool written = false;
            for (int i = 1; i < fields; ++i) {
                if (row.kind(i) == Kind::Null)
                    continue;
                const qsizetype start = m_lines.buffer().size();
                std::optional<QString> exact;
                appendValue(m_lines.buffer(), row, i, FieldKind::Text, true, &exact);
                m_lines.buffer().append(' ');
                if (exact) {
                    appendExactText(m_texts[0], 0, m_fingerprints[0].size(), i, *exact);
                    m_texts[0].append("\r\n", 2);
                }
                m_fingerprints[0].append(lineFingerprint(QByteArrayView(m_lines.buffer()).sliced(start)));
                if (Status ended = m_lines.endLine(); !ended)
                    return ended;
                ++m_result.written[0];
                written = true;
            }
            if (written)
                m_typeKeys.append(row.integer(0));
            tick();
        }
        return endSection();
    }

    // Contacts and Calls: one line per row, the values after the key encoded
    // by their kind and joined by ", ".
    Status writeSection(BackupTable table, const TableInfo &info, QList<qint64> *keys)
    {
        const bool contacts = table == BackupTable::Contacts;
        Result<std::unique_ptr<BackupStore::Rows>> rows = m_store.readRows(info.name);
        if (!rows)
            return rows.error();
        if (Status written = m_lines.line(contacts ? kMarkerContacts : kMarkerCalls); !written)
            return written;
        BackupStore::Rows &row = **rows;
        const int fields = row.columnCount();
        QList<FieldKind> kinds;
        for (int i = 0; i < fields; ++i)
            kinds.append(i < info.columns.size() ? info.columns.at(i).kind : FieldKind::Text);
        for (;;) {
            const Result<bool> more = row.next();
            if (!more)
                return more.error();
            if (!*more)
                break;
            QByteArray &line = m_lines.buffer();
            const qsizetype start = line.size();
            QList<quint32> &fingerprints = m_fingerprints[int(table)];
            for (int i = 1; i < fields; ++i) {
                std::optional<QString> exact;
                appendValue(line, row, i, kinds.at(i), false, &exact);
                if (exact) {
                    appendExactText(m_texts[int(table)], int(table), fingerprints.size(), i, *exact);
                    m_texts[int(table)].append("\r\n", 2);
                }
                if (i + 1 < fields)
                    line.append(", ", 2);
            }
            fingerprints.append(lineFingerprint(QByteArrayView(line).sliced(start)));
            if (Status ended = m_lines.endLine(); !ended)
                return ended;
            if (keys)
                keys->append(row.integer(0));
            ++m_result.written[int(table)];
            tick();
        }
        return endSection();
    }

    Status endSection()
    {
        if (Status written = m_lines.line(kMarkerEnd); !written)
            return written;
        return m_lines.line("");
    }

    // The trailing section: keys, date form, fingerprints, exact texts.
    Status writeTrailer()
    {
        if (Status written = m_lines.line(kKeysContactTypes); !written)
            return written;
        for (const qint64 key : std::as_const(m_typeKeys)) {
            if (Status written = m_lines.line(QByteArray::number(key)); !written)
                return written;
        }
        if (Status written = m_lines.line(kKeysContacts); !written)
            return written;
        for (const qint64 key : std::as_const(m_contactKeys)) {
            if (Status written = m_lines.line(QByteArray::number(key)); !written)
                return written;
        }
        if (Status written = m_lines.line(kKeysEnd); !written)
            return written;
        if (Status written = m_lines.line(kDateFormLine); !written)
            return written;
        const char *const headers[3] = {kLinesContactTypes, kLinesContacts, kLinesCalls};
        for (int section = 0; section < 3; ++section) {
            if (Status written = m_lines.line(headers[section]); !written)
                return written;
            for (const quint32 fingerprint : std::as_const(m_fingerprints[section])) {
                appendFingerprint(m_lines.buffer(), fingerprint);
                if (Status written = m_lines.endLine(); !written)
                    return written;
            }
        }
        if (Status written = m_lines.line(kTexts); !written)
            return written;
        for (QByteArray &texts : m_texts) {
            m_lines.buffer().append(texts);
            texts.clear();
            if (Status written = m_lines.flush(); !written)
                return written;
        }
        return m_lines.line(kTextsEnd);
    }

    BackupStore &m_store;
    QIODevice &m_out;
    const ProgressFunction &m_progress;
    BackupResult &m_result;
    LineWriter m_lines{m_out};
    QList<quint32> m_fingerprints[3];
    QByteArray m_texts[3]; // the TEXTS lines of each section, each ending with CR LF
    QList<qint64> m_typeKeys;
    QList<qint64> m_contactKeys;
    qint64 m_total = 0;
    qint64 m_done = 0;
};

} // namespace

BackupResult writeBackupTo(QSqlDatabase &db, QIODevice &out, const ProgressFunction &progress)
{
    BackupResult result;
    BackupStore store(db);
    // One read transaction: the three sections show one moment of the database.
    const bool inTransaction = bool(store.beginRead());
    Stage stage = Stage::None;
    const Status written = Writer(store, out, progress, result).run(&stage);
    if (inTransaction)
        (void)store.commit();
    if (!written) {
        result.failedStage = stage;
        result.error = written.error().description;
        return result;
    }
    result.ok = true;
    return result;
}

BackupResult writeBackup(const QString &folder, const ProgressFunction &progress)
{
    BackupResult result;
    result.filePath = backupFilePath(folder);
    QSaveFile file(result.filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        result.failedStage = Stage::OpenFile;
        result.error = QStringLiteral("Could not create the file %1: %2").arg(result.filePath, file.errorString());
        return result;
    }
    Result<std::unique_ptr<Connection>> connection = Connection::openLive();
    if (!connection) {
        result.failedStage = Stage::OpenDatabase;
        result.error = connection.error().description;
        file.cancelWriting();
        return result;
    }
    BackupResult written = writeBackupTo((*connection)->database(), file, progress);
    connection->reset();
    written.filePath = result.filePath;
    if (!written.ok) {
        file.cancelWriting();
        return written;
    }
    errno = 0;
    if (!file.commit()) {
        const int cause = errno;
        written.ok = false;
        written.failedStage = Stage::Finish;
        written.error = writeFailure(cause, file.errorString());
    }
    return written;
}

} // namespace backup
