#include "BackupFile.h"

#include "BackupText.h"

#include "store/Database.h"
#include "frame/Failure.h"
#include "frame/Paths.h"

#include <cerrno>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlDriver>
#include <QSqlRecord>

#include <sqlite3.h>

#include <cstring>
#include <unordered_map>

namespace backup {

namespace {

// A failure that ends a backup or a restore at a stage.
struct StageError {
    Stage stage;
    QString message;
};

struct Column {
    QString name;
    FieldKind kind;
};

// The live table's fields in their order; the first is the key.
struct TableInfo {
    QString name;
    QList<Column> columns;
    QString keyName() const { return columns.first().name; }
};

constexpr qint64 kProgressEvery = 1000;

// Date/Time fields of the schema. Their values are stored as ISO text in
// columns declared TEXT, so the declared type alone does not tell.
bool isDateField(const QString &table, const QString &column)
{
    static const QStringList fields = {QStringLiteral("Contacts.Birthdate"), QStringLiteral("Calls.CallDate"),
                                       QStringLiteral("Calls.CallTime")};
    return fields.contains(table + QLatin1Char('.') + column, Qt::CaseInsensitive);
}

FieldKind kindOf(const QString &table, const QString &column, const QString &declaredType)
{
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return FieldKind::Long;
    if (type.contains(QLatin1String("BOOL")) || type == QLatin1String("BIT"))
        return FieldKind::YesNo;
    if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"))
        || isDateField(table, column))
        return FieldKind::Date;
    return FieldKind::Text;
}

QString quoted(const QString &identifier)
{
    QString name = identifier;
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

Stage stageOf(BackupTable table)
{
    switch (table) {
    case BackupTable::ContactTypes:
        return Stage::ContactTypes;
    case BackupTable::Contacts:
        return Stage::Contacts;
    case BackupTable::Calls:
        return Stage::Calls;
    }
    return Stage::None;
}

TableInfo readTable(QSqlDatabase &db, BackupTable table)
{
    TableInfo info;
    info.name = tableName(table);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(info.name))))
        throw StageError{Stage::OpenDatabase, query.lastError().text()};
    while (query.next())
        info.columns.append({query.value(1).toString(), kindOf(info.name, query.value(1).toString(),
                                                               query.value(2).toString())});
    if (info.columns.size() < 2)
        throw StageError{Stage::OpenDatabase,
                         QStringLiteral("The database has no table '%1' with fields to restore.").arg(info.name)};
    return info;
}

void execOrThrow(QSqlDatabase &db, const QString &sql, Stage stage)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        throw StageError{stage, query.lastError().text()};
}

// ---------------------------------------------------------------- writing

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
    void endLine(Stage stage)
    {
        m_buffer.append("\r\n", 2);
        if (m_buffer.size() >= kChunk)
            flush(stage);
    }
    void line(const char *text, Stage stage)
    {
        m_buffer.append(text);
        endLine(stage);
    }
    void flush(Stage stage)
    {
        if (m_buffer.isEmpty())
            return;
        errno = 0;
        if (m_device.write(m_buffer) != m_buffer.size()) {
            const int cause = errno;
            throw StageError{stage, writeFailure(cause, m_device.errorString())};
        }
        m_buffer.resize(0);
    }

private:
    static constexpr qsizetype kChunk = 1 << 20;
    QIODevice &m_device;
    QByteArray m_buffer;
};

// The one text encoder: a quote, the UTF-8 text without carriage returns,
// line feeds and apostrophes, a blank and a quote. The removed characters are
// ASCII, so removing their bytes is the same as removing the characters; runs
// between them are copied whole.
void appendCleanUtf8(QByteArray &out, QByteArrayView bytes)
{
    out.append('\'');
    const char *run = bytes.data();
    const char *end = run + bytes.size();
    for (const char *p = run; p != end; ++p) {
        if (*p == '\r' || *p == '\n' || *p == '\'') {
            out.append(run, p - run);
            run = p + 1;
        }
    }
    out.append(run, end - run);
    out.append(" '", 2);
}

void appendText(QByteArray &out, const QVariant &value)
{
    appendCleanUtf8(out, value.isNull() ? QByteArray() : value.toString().toUtf8());
}

void appendValue(QByteArray &out, const QVariant &value, FieldKind kind, DateText &dates)
{
    switch (kind) {
    case FieldKind::Long: {
        bool ok = false;
        const qlonglong number = value.isNull() ? 0 : value.toLongLong(&ok);
        if (ok)
            out.append(QByteArray::number(number));
        else
            out.append("Null", 4);
        return;
    }
    case FieldKind::YesNo: {
        if (value.isNull()) {
            out.append("Null", 4);
            return;
        }
        bool ok = false;
        const qlonglong number = value.toLongLong(&ok);
        const bool truth = ok ? number != 0 : value.toBool();
        out.append(truth ? "-1" : "0");
        return;
    }
    case FieldKind::Date: {
        const QString text = dates.format(value);
        if (text.isNull()) {
            out.append("Null", 4);
        } else {
            out.append('\'');
            out.append(text.toUtf8());
            out.append('\'');
        }
        return;
    }
    case FieldKind::Text:
        appendText(out, value);
        return;
    }
}

// The value of a column as the Qt driver would hand it over.
QVariant columnVariant(sqlite3_stmt *statement, int column)
{
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return QVariant();
    case SQLITE_INTEGER:
        return qlonglong(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sqlite3_column_double(statement, column);
    case SQLITE_BLOB:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(statement, column)),
                          sqlite3_column_bytes(statement, column));
    default:
        return QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(statement, column)),
                                 sqlite3_column_bytes(statement, column));
    }
}

// Encodes one column of a row straight from SQLite's UTF-8 text; every
// unusual value takes the general path through appendValue. Texts go through
// appendCleanUtf8 on both paths.
class ColumnEncoder {
public:
    explicit ColumnEncoder(DateText &dates) : m_dates(dates) {}

    void append(QByteArray &out, sqlite3_stmt *statement, int column, FieldKind kind)
    {
        const int type = sqlite3_column_type(statement, column);
        if (type == SQLITE_INTEGER && kind == FieldKind::Long) {
            out.append(QByteArray::number(qlonglong(sqlite3_column_int64(statement, column))));
            return;
        }
        if (type == SQLITE_NULL && kind == FieldKind::Text) {
            out.append("' '", 3);
            return;
        }
        if (type == SQLITE_TEXT && (kind == FieldKind::Text || kind == FieldKind::Date)) {
            const char *text = reinterpret_cast<const char *>(sqlite3_column_text(statement, column));
            const QByteArrayView bytes(text, sqlite3_column_bytes(statement, column));
            if (kind == FieldKind::Text && (isAscii(bytes) || isValidUtf8(bytes))) {
                appendCleanUtf8(out, bytes);
                return;
            }
            if (kind == FieldKind::Date && bytes.size() <= qsizetype(sizeof(DateKey::bytes))) {
                DateKey key;
                std::memcpy(key.bytes, bytes.data(), size_t(bytes.size()));
                auto cached = m_dateCache.find(key);
                if (cached == m_dateCache.end()) {
                    QByteArray encoded;
                    appendValue(encoded, QString::fromUtf8(bytes), kind, m_dates);
                    if (m_dateCache.size() > 100000)
                        m_dateCache.clear();
                    cached = m_dateCache.emplace(key, encoded).first;
                }
                out.append(cached->second);
                return;
            }
        }
        appendValue(out, columnVariant(statement, column), kind, m_dates);
    }

private:
    // A stored date or time text (at most 'YYYY-MM-DDTHH:MM:SS' and a few
    // more), zero-padded, as a key that costs no allocation.
    struct DateKey {
        char bytes[24] = {};
        bool operator==(const DateKey &other) const { return std::memcmp(bytes, other.bytes, sizeof bytes) == 0; }
    };
    struct DateKeyHash {
        size_t operator()(const DateKey &key) const
        {
            return size_t(qHashBits(key.bytes, sizeof key.bytes));
        }
    };

    static bool isAscii(QByteArrayView bytes)
    {
        for (const char c : bytes) {
            if (static_cast<unsigned char>(c) >= 0x80)
                return false;
        }
        return true;
    }

    DateText &m_dates;
    std::unordered_map<DateKey, QByteArray, DateKeyHash> m_dateCache;
};

sqlite3 *nativeHandle(QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0)
        return *static_cast<sqlite3 *const *>(handle.data());
    return nullptr;
}

// A whole-table statement read row by row through SQLite itself.
class NativeStatement {
public:
    NativeStatement(sqlite3 *db, const char *sql, Stage stage)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr) != SQLITE_OK)
            throw StageError{stage, QString::fromUtf8(sqlite3_errmsg(db))};
        m_db = db;
        m_stage = stage;
    }
    ~NativeStatement() { sqlite3_finalize(m_statement); }
    NativeStatement(const NativeStatement &) = delete;
    NativeStatement &operator=(const NativeStatement &) = delete;

    bool next()
    {
        const int status = sqlite3_step(m_statement);
        if (status == SQLITE_ROW)
            return true;
        if (status != SQLITE_DONE)
            throw StageError{m_stage, QString::fromUtf8(sqlite3_errmsg(m_db))};
        return false;
    }
    sqlite3_stmt *get() const { return m_statement; }
    int columns() const { return sqlite3_column_count(m_statement); }

private:
    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_statement = nullptr;
    Stage m_stage = Stage::None;
};

qint64 countRows(QSqlDatabase &db, const QString &table)
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoted(table))) && query.next())
        return query.value(0).toLongLong();
    return 0;
}

// Opens the whole-table query of a section, read forward only.
QSqlQuery openTable(QSqlDatabase &db, const QString &statement, Stage stage)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(statement))
        throw StageError{stage, query.lastError().text()};
    return query;
}

} // namespace

QString tableName(BackupTable table)
{
    switch (table) {
    case BackupTable::ContactTypes:
        return QStringLiteral("Contact Types");
    case BackupTable::Contacts:
        return QStringLiteral("Contacts");
    case BackupTable::Calls:
        return QStringLiteral("Calls");
    }
    return {};
}

QString backupFilePath(const QString &folder)
{
    const QString path = QDir::fromNativeSeparators(folder) + QLatin1Char('/') + QLatin1String(kBackupFileName);
    QString normalized = NormalizePath(path);
    // A local absolute path keeps its single leading separator; only a path
    // that was given as a network path keeps two.
    if (normalized.startsWith(QLatin1String("//")) && !QDir::fromNativeSeparators(folder).startsWith(QLatin1String("//")))
        normalized.remove(0, 1);
    return normalized;
}

BackupResult writeBackupTo(QSqlDatabase &db, QIODevice &out, const ProgressFunction &progress)
{
    BackupResult result;
    DateText dates;
    LineWriter writer(out);
    bool inTransaction = false;
    try {
        // One read transaction: the three sections show one moment of the database.
        QSqlQuery begin(db);
        inTransaction = begin.exec(QStringLiteral("BEGIN"));

        TableInfo tables[3] = {readTable(db, BackupTable::ContactTypes), readTable(db, BackupTable::Contacts),
                               readTable(db, BackupTable::Calls)};
        const qint64 total = countRows(db, tables[0].name) + countRows(db, tables[1].name)
            + countRows(db, tables[2].name);
        qint64 done = 0;
        auto tick = [&] {
            ++done;
            if (progress && done % kProgressEvery == 0)
                progress(done, total);
        };
        if (progress)
            progress(0, total);

        QList<qint64> typeKeys;
        QList<qint64> contactKeys;

        // Contact Types: one line for each non-Null value after the key.
        {
            QSqlQuery query = openTable(db, QStringLiteral("select * from [Contact Types] "), Stage::ContactTypes);
            writer.line(kMarkerContactTypes, Stage::ContactTypes);
            const int fields = query.record().count();
            while (query.next()) {
                bool written = false;
                for (int i = 1; i < fields; ++i) {
                    const QVariant value = query.value(i);
                    if (value.isNull())
                        continue;
                    appendText(writer.buffer(), value);
                    writer.buffer().append(' ');
                    writer.endLine(Stage::ContactTypes);
                    ++result.written[0];
                    written = true;
                }
                if (written)
                    typeKeys.append(query.value(0).toLongLong());
                tick();
            }
            writer.line(kMarkerEnd, Stage::ContactTypes);
            writer.line("", Stage::ContactTypes);
        }

        // Contacts and Calls: one line per row, the values after the key
        // encoded by their kind and joined by ", ".
        const struct {
            BackupTable table;
            const char *statement;
            const char *marker;
            QList<qint64> *keys;
        } sections[] = {{BackupTable::Contacts, "select * from contacts ", kMarkerContacts, &contactKeys},
                        {BackupTable::Calls, "select * from Calls ", kMarkerCalls, nullptr}};
        for (const auto &section : sections) {
            const Stage stage = stageOf(section.table);
            const TableInfo &info = tables[int(section.table)];
            sqlite3 *handle = nativeHandle(db);
            if (!handle)
                throw StageError{stage, QStringLiteral("The database connection is not an SQLite connection.")};
            NativeStatement query(handle, section.statement, stage);
            writer.line(section.marker, stage);
            const int fields = query.columns();
            QList<FieldKind> kinds;
            for (int i = 0; i < fields; ++i)
                kinds.append(i < info.columns.size() ? info.columns.at(i).kind : FieldKind::Text);
            ColumnEncoder encoder(dates);
            while (query.next()) {
                QByteArray &line = writer.buffer();
                for (int i = 1; i < fields; ++i) {
                    encoder.append(line, query.get(), i, kinds.at(i));
                    if (i + 1 < fields)
                        line.append(", ", 2);
                }
                writer.endLine(stage);
                if (section.keys)
                    section.keys->append(sqlite3_column_int64(query.get(), 0));
                ++result.written[int(section.table)];
                tick();
            }
            writer.line(kMarkerEnd, stage);
            writer.line("", stage);
        }

        // The old keys, so that a restore can keep every reference.
        writer.line(kKeysContactTypes, Stage::Finish);
        for (const qint64 key : std::as_const(typeKeys)) {
            writer.buffer().append(QByteArray::number(key));
            writer.endLine(Stage::Finish);
        }
        writer.line(kKeysContacts, Stage::Finish);
        for (const qint64 key : std::as_const(contactKeys)) {
            writer.buffer().append(QByteArray::number(key));
            writer.endLine(Stage::Finish);
        }
        writer.line(kKeysEnd, Stage::Finish);
        writer.flush(Stage::Finish);
        if (progress)
            progress(total, total);
        result.ok = true;
    } catch (const StageError &error) {
        result.failedStage = error.stage;
        result.error = error.message;
    }
    if (inTransaction) {
        QSqlQuery end(db);
        end.exec(QStringLiteral("COMMIT"));
    }
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
    QSqlDatabase db;
    try {
        db = OpenConnection();
    } catch (const Failure &failure) {
        result.failedStage = Stage::OpenDatabase;
        result.error = failure.description();
        file.cancelWriting();
        return result;
    }
    BackupResult written = writeBackupTo(db, file, progress);
    closeConnection(db);
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

// ---------------------------------------------------------------- reading

QString RestoreResult::message() const
{
    switch (status) {
    case RestoreStatus::Done:
        if (rejected == 0)
            return QStringLiteral("Done.");
        return QStringLiteral("Done.\n%1 %2 could not be restored.")
            .arg(rejected)
            .arg(rejected == 1 ? QStringLiteral("record") : QStringLiteral("records"));
    case RestoreStatus::NoData:
        return QStringLiteral("No data to restore.");
    case RestoreStatus::NoFile:
        return QStringLiteral("No file to restore.");
    case RestoreStatus::NotBackup:
        return QStringLiteral("The file is not a backup: it has no line beginning with \"TABLE\". "
                              "Nothing was restored and the database was not changed.");
    case RestoreStatus::Declined:
        return QStringLiteral("Nothing was restored: the database is as it was before.");
    case RestoreStatus::Failed:
        break;
    }
    return {};
}

namespace {

// A failure of the database itself, as opposed to a record it refuses.
bool isDatabaseFailure(int primaryCode)
{
    switch (primaryCode) {
    case SQLITE_ABORT:
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_NOMEM:
    case SQLITE_READONLY:
    case SQLITE_INTERRUPT:
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_FULL:
    case SQLITE_CANTOPEN:
    case SQLITE_PROTOCOL:
    case SQLITE_NOTADB:
        return true;
    default:
        return false;
    }
}

// Rolls the restore back unless it was committed.
class TransactionGuard {
public:
    explicit TransactionGuard(QSqlDatabase &db) : m_db(db) {}
    ~TransactionGuard()
    {
        if (m_active) {
            QSqlQuery query(m_db);
            query.exec(QStringLiteral("ROLLBACK"));
        }
    }
    void begin()
    {
        execOrThrow(m_db, QStringLiteral("BEGIN IMMEDIATE"), Stage::OpenDatabase);
        m_active = true;
    }
    void commit()
    {
        execOrThrow(m_db, QStringLiteral("COMMIT"), Stage::Finish);
        m_active = false;
    }

private:
    QSqlDatabase &m_db;
    bool m_active = false;
};

// The savepoint around each restored record, as SQLite statements prepared
// once: a rejected record is rolled back alone, the others stay.
class RecordSavepoints {
public:
    RecordSavepoints() = default;
    RecordSavepoints(const RecordSavepoints &) = delete;
    RecordSavepoints &operator=(const RecordSavepoints &) = delete;
    ~RecordSavepoints()
    {
        for (sqlite3_stmt *statement : {m_begin, m_release, m_rollBack})
            sqlite3_finalize(statement);
    }

    void prepare(sqlite3 *db)
    {
        if (!db)
            throw StageError{Stage::OpenDatabase, QStringLiteral("The database connection is not an SQLite connection.")};
        m_db = db;
        if (sqlite3_prepare_v2(db, "SAVEPOINT restore_record", -1, &m_begin, nullptr) != SQLITE_OK
            || sqlite3_prepare_v2(db, "RELEASE restore_record", -1, &m_release, nullptr) != SQLITE_OK
            || sqlite3_prepare_v2(db, "ROLLBACK TO restore_record", -1, &m_rollBack, nullptr) != SQLITE_OK)
            throw StageError{Stage::OpenDatabase, QString::fromUtf8(sqlite3_errmsg(db))};
    }
    void begin(Stage stage)
    {
        if (!run(m_begin))
            throw StageError{stage, QString::fromUtf8(sqlite3_errmsg(m_db))};
    }
    void release(Stage stage)
    {
        if (!run(m_release))
            throw StageError{stage, QString::fromUtf8(sqlite3_errmsg(m_db))};
    }
    // Undoes the record and ends its savepoint; false when the database has
    // already given up the whole transaction.
    bool rollBack() { return run(m_rollBack) && run(m_release); }

private:
    static bool run(sqlite3_stmt *statement)
    {
        const int status = sqlite3_step(statement);
        sqlite3_reset(statement);
        return status == SQLITE_DONE;
    }

    sqlite3 *m_db = nullptr;
    sqlite3_stmt *m_begin = nullptr;
    sqlite3_stmt *m_release = nullptr;
    sqlite3_stmt *m_rollBack = nullptr;
};

// The INSERT of one section as an SQLite statement prepared once. Values are
// kept until the statement has run, so SQLite reads the texts in place.
class NativeInsert {
public:
    NativeInsert(sqlite3 *db, const QString &sql, int parameters, Stage stage) : m_db(db), m_values(parameters)
    {
        if (!db)
            throw StageError{stage, QStringLiteral("The database connection is not an SQLite connection.")};
        if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &m_statement, nullptr) != SQLITE_OK)
            throw StageError{stage, QString::fromUtf8(sqlite3_errmsg(db))};
    }
    ~NativeInsert() { sqlite3_finalize(m_statement); }
    NativeInsert(const NativeInsert &) = delete;
    NativeInsert &operator=(const NativeInsert &) = delete;

    void bindValue(int index, const QVariant &value) { m_values[index] = value; }

    bool exec()
    {
        for (int i = 0; i < m_values.size(); ++i) {
            const QVariant &value = m_values.at(i);
            const int parameter = i + 1;
            if (value.isNull()) {
                sqlite3_bind_null(m_statement, parameter);
            } else if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
                sqlite3_bind_int64(m_statement, parameter, value.toLongLong());
            } else {
                if (value.typeId() != QMetaType::QString)
                    m_values[i] = value.toString();
                const QString &text = *static_cast<const QString *>(m_values.at(i).constData());
                sqlite3_bind_text16(m_statement, parameter, text.utf16(), int(text.size() * sizeof(char16_t)),
                                    SQLITE_STATIC);
            }
        }
        const int status = sqlite3_step(m_statement);
        m_errorCode = status == SQLITE_DONE ? SQLITE_OK : sqlite3_extended_errcode(m_db);
        m_errorMessage = status == SQLITE_DONE ? QString() : QString::fromUtf8(sqlite3_errmsg(m_db));
        sqlite3_reset(m_statement);
        return status == SQLITE_DONE;
    }

    qint64 lastInsertId() const { return sqlite3_last_insert_rowid(m_db); }
    // The primary result code of the last failure, and its message.
    // The primary result code: the low byte of the extended one.
    int errorCode() const { return m_errorCode & 0xFF; }
    QString errorMessage() const { return m_errorMessage; }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    QList<QVariant> m_values;
    int m_errorCode = SQLITE_OK;
    QString m_errorMessage;
};

class Restorer {
public:
    Restorer(QSqlDatabase &db, const BackupLines &lines, RestoreMode mode, const RestoreCallbacks &callbacks,
             RestoreResult &result)
        : m_db(db), m_lines(lines), m_mode(mode), m_callbacks(callbacks), m_result(result),
          m_savepoints()
    {
    }

    void run()
    {
        const BackupSections sections = findSections(m_lines);
        const BackupKeys keys = readKeySection(m_lines, sections);
        m_result.keysFromFile = keys.valid;
        m_total = sections.contactTypes.count() + sections.contacts.count() + sections.calls.count();

        TableInfo types = readTable(m_db, BackupTable::ContactTypes);
        TableInfo contacts = readTable(m_db, BackupTable::Contacts);
        TableInfo calls = readTable(m_db, BackupTable::Calls);

        TransactionGuard transaction(m_db);
        transaction.begin();
        if (m_mode == RestoreMode::DeleteFirst) {
            execOrThrow(m_db, QStringLiteral("DELETE FROM %1").arg(quoted(types.name)), Stage::DeleteContactTypes);
            execOrThrow(m_db, QStringLiteral("DELETE FROM %1").arg(quoted(contacts.name)), Stage::DeleteContacts);
            execOrThrow(m_db, QStringLiteral("DELETE FROM %1").arg(quoted(calls.name)), Stage::DeleteCalls);
            // The keys are never handed out twice, but emptied tables number
            // their restored rows from 1 again, as the file's references expect.
            QSqlQuery sequence(m_db);
            if (sequence.exec(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'")) && sequence.next()) {
                sequence.prepare(QStringLiteral("DELETE FROM sqlite_sequence WHERE name IN (?, ?, ?)"));
                sequence.addBindValue(types.name);
                sequence.addBindValue(contacts.name);
                sequence.addBindValue(calls.name);
                if (!sequence.exec())
                    throw StageError{Stage::DeleteCalls, sequence.lastError().text()};
            }
            // Into empty tables it is far quicker to build the indexes once,
            // after the rows are in, than to update them row by row. The
            // statements are part of the transaction, so a failure brings the
            // indexes back with the rows.
            m_deferredIndexes = dropPlainIndexes({types.name, contacts.name, calls.name});
        }
        m_savepoints.prepare(nativeHandle(m_db));
        if (m_callbacks.progress)
            m_callbacks.progress(0, m_total);

        // With the file's keys, a delete-first restore gives every type and
        // contact its old key back; an append maps references to the keys
        // that the restored rows received.
        const bool explicitKeys = keys.valid && m_mode == RestoreMode::DeleteFirst;
        const bool mapKeys = keys.valid && m_mode == RestoreMode::Append;
        QHash<qint64, qint64> typeMap;
        QHash<qint64, qint64> contactMap;

        restoreSection(BackupTable::ContactTypes, types, sections.contactTypes, keys.valid ? &keys.contactTypes : nullptr,
                       explicitKeys, mapKeys ? &typeMap : nullptr, QString(), nullptr);
        restoreSection(BackupTable::Contacts, contacts, sections.contacts, keys.valid ? &keys.contacts : nullptr,
                       explicitKeys, mapKeys ? &contactMap : nullptr, types.keyName(), mapKeys ? &typeMap : nullptr);
        restoreSection(BackupTable::Calls, calls, sections.calls, nullptr, false, nullptr, contacts.keyName(),
                       mapKeys ? &contactMap : nullptr);

        for (const QString &statement : std::as_const(m_deferredIndexes))
            execOrThrow(m_db, statement, Stage::Finish);
        if (m_mode == RestoreMode::DeleteFirst && m_result.rejected > 0 && m_callbacks.acceptRejects
            && !m_callbacks.acceptRejects(m_result.rejected)) {
            m_declined = true;
            return; // the guard rolls everything back
        }
        transaction.commit();
        if (m_callbacks.progress)
            m_callbacks.progress(m_total, m_total);
    }

private:
    // Drops the tables' indexes that enforce nothing (not UNIQUE) and returns
    // the statements that create them again.
    QStringList dropPlainIndexes(const QStringList &tables)
    {
        QStringList names;
        QStringList statements;
        QSqlQuery query(m_db);
        query.setForwardOnly(true);
        if (!query.exec(QStringLiteral("SELECT name, tbl_name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL")))
            throw StageError{Stage::OpenDatabase, query.lastError().text()};
        while (query.next()) {
            const QString sql = query.value(2).toString();
            if (!tables.contains(query.value(1).toString(), Qt::CaseInsensitive)
                || sql.simplified().startsWith(QLatin1String("CREATE UNIQUE"), Qt::CaseInsensitive))
                continue;
            names << query.value(0).toString();
            statements << sql;
        }
        query.finish();
        for (const QString &name : std::as_const(names))
            execOrThrow(m_db, QStringLiteral("DROP INDEX %1").arg(quoted(name)), Stage::OpenDatabase);
        return statements;
    }

    void reject(BackupTable table, qsizetype index, const QString &line, const QString &reason)
    {
        ++m_result.rejected;
        if (m_callbacks.rejected)
            m_callbacks.rejected(RejectedRecord{table, index + 1, line, reason});
    }

    // A value quoted in a rejection message: at most kQuotedLength characters,
    // so that a huge value gives a message of ordinary size.
    static QString quotedValue(const QString &text)
    {
        constexpr qsizetype kQuotedLength = 200;
        if (text.size() <= kQuotedLength)
            return text;
        return QStringLiteral("%1... (%2 characters)").arg(text.left(kQuotedLength)).arg(text.size());
    }

    // Turns one value of the line into what is stored; false when it does not
    // convert. The writer leaves out Null captions of the Contact Types
    // section, so there an empty text is an empty caption; elsewhere it is Null.
    bool convert(BackupTable table, const RecordValue &value, FieldKind kind, QVariant *stored, QString *why)
    {
        if (value.kind == RecordValue::Null) {
            *stored = QVariant();
            return true;
        }
        switch (kind) {
        case FieldKind::Long:
        case FieldKind::YesNo: {
            bool ok = false;
            const qlonglong number = value.text.trimmed().toLongLong(&ok);
            if (!ok) {
                *why = QStringLiteral("'%1' is not a whole number.").arg(quotedValue(value.text));
                return false;
            }
            *stored = number;
            return true;
        }
        case FieldKind::Date: {
            if (value.kind != RecordValue::Text) {
                *why = QStringLiteral("%1 is not a date.").arg(quotedValue(value.text));
                return false;
            }
            const QString iso = m_dates.parse(value.text);
            if (iso.isNull()) {
                *why = QStringLiteral("'%1' is not a date or time.").arg(quotedValue(value.text));
                return false;
            }
            *stored = iso;
            return true;
        }
        case FieldKind::Text: {
            QString text = value.text;
            // The writer puts one space before every closing apostrophe.
            if (value.kind == RecordValue::Text && text.endsWith(QLatin1Char(' ')))
                text.chop(1);
            *stored = text.isEmpty() && table != BackupTable::ContactTypes ? QVariant() : QVariant(text);
            return true;
        }
        }
        return false;
    }

    void restoreSection(BackupTable table, const TableInfo &info, const BackupSections::Range &range,
                        const QList<qint64> *oldKeys, bool explicitKeys, QHash<qint64, qint64> *newKeys,
                        const QString &referenceName, const QHash<qint64, qint64> *referenceMap)
    {
        const Stage stage = stageOf(table);
        const qsizetype valueCount = info.columns.size() - 1;
        QStringList names;
        QStringList marks;
        for (qsizetype i = explicitKeys ? 0 : 1; i < info.columns.size(); ++i) {
            names << quoted(info.columns.at(i).name);
            marks << QStringLiteral("?");
        }
        NativeInsert insert(nativeHandle(m_db),
                            QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                .arg(quoted(info.name), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                            int(names.size()), stage);

        qsizetype referenceIndex = -1;
        if (referenceMap) {
            for (qsizetype i = 1; i < info.columns.size(); ++i) {
                if (info.columns.at(i).name.compare(referenceName, Qt::CaseInsensitive) == 0)
                    referenceIndex = i - 1;
            }
        }
        const int offset = explicitKeys ? 1 : 0;

        QList<RecordValue> values;
        QString reason;
        for (qsizetype index = range.first; index < range.last; ++index) {
            const qsizetype record = index - range.first;
            progressTick();
            const QString line = m_lines.text(index);
            if (!parseRecordLine(line, &values, &reason)) {
                reject(table, index, line, reason);
                continue;
            }
            if (values.size() != valueCount) {
                reject(table, index, line,
                       QStringLiteral("The line holds %1 values; the table %2 takes %3.")
                           .arg(values.size())
                           .arg(info.name)
                           .arg(valueCount));
                continue;
            }
            bool converted = true;
            for (qsizetype i = 0; i < valueCount; ++i) {
                QVariant stored;
                QString why;
                if (!convert(table, values.at(i), info.columns.at(i + 1).kind, &stored, &why)) {
                    reject(table, index, line,
                           QStringLiteral("Field %1: %2").arg(info.columns.at(i + 1).name, why));
                    converted = false;
                    break;
                }
                if (i == referenceIndex && !stored.isNull()) {
                    const auto found = referenceMap->constFind(stored.toLongLong());
                    stored = found == referenceMap->constEnd() ? QVariant() : QVariant(*found);
                }
                insert.bindValue(int(i) + offset, stored);
            }
            if (!converted)
                continue;
            if (explicitKeys)
                insert.bindValue(0, oldKeys->at(record));

            m_savepoints.begin(stage);
            if (insert.exec()) {
                m_savepoints.release(stage);
                if (newKeys)
                    newKeys->insert(oldKeys->at(record), insert.lastInsertId());
                ++m_result.restored[int(table)];
                continue;
            }
            const QString error = insert.errorMessage();
            if (isDatabaseFailure(insert.errorCode()))
                throw StageError{stage, error};
            // When the database has already given up the whole transaction,
            // there is no savepoint left to return to.
            if (!m_savepoints.rollBack())
                throw StageError{stage, error};
            reject(table, index, line, error);
        }
    }

    void progressTick()
    {
        ++m_done;
        if (m_callbacks.progress && m_done % kProgressEvery == 0)
            m_callbacks.progress(m_done, m_total);
    }

    QSqlDatabase &m_db;
    const BackupLines &m_lines;
    RestoreMode m_mode;
    const RestoreCallbacks &m_callbacks;
    RestoreResult &m_result;
    RecordSavepoints m_savepoints;
    DateText m_dates;
    QStringList m_deferredIndexes;
    qint64 m_total = 0;
    qint64 m_done = 0;
    bool m_declined = false;

public:
    bool declined() const { return m_declined; }
};

} // namespace

RestoreResult restoreBackupData(QSqlDatabase &db, const QByteArray &data, RestoreMode mode,
                                const RestoreCallbacks &callbacks)
{
    RestoreResult result;
    const BackupLines lines(data);
    if (lines.isEmpty()) {
        result.status = RestoreStatus::NoData;
        return result;
    }
    // Without a single marker line every section is empty, and the
    // delete-first mode would empty the database and report success.
    bool hasMarker = false;
    for (qsizetype i = 0; i < lines.size() && !hasMarker; ++i)
        hasMarker = lines.isMarker(i);
    if (!hasMarker) {
        result.status = RestoreStatus::NotBackup;
        return result;
    }
    try {
        Restorer restorer(db, lines, mode, callbacks, result);
        restorer.run();
        result.status = restorer.declined() ? RestoreStatus::Declined : RestoreStatus::Done;
        if (restorer.declined()) {
            for (qint64 &count : result.restored)
                count = 0;
        }
    } catch (const StageError &error) {
        result.status = RestoreStatus::Failed;
        result.failedStage = error.stage;
        result.error = error.message;
        for (qint64 &count : result.restored)
            count = 0;
    }
    return result;
}

RestoreResult restoreBackup(const QString &folder, RestoreMode mode, const RestoreCallbacks &callbacks)
{
    RestoreResult result;
    const QString path = backupFilePath(folder);
    if (!FileExists(path)) {
        result.status = RestoreStatus::NoFile;
        return result;
    }
    // The whole file is read before anything in the database changes.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.status = RestoreStatus::Failed;
        result.failedStage = Stage::OpenFile;
        result.error = QStringLiteral("Could not read the file %1: %2").arg(path, file.errorString());
        return result;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.status = RestoreStatus::Failed;
        result.failedStage = Stage::OpenFile;
        result.error = QStringLiteral("Could not read the file %1: %2").arg(path, file.errorString());
        return result;
    }
    file.close();
    if (data.isEmpty()) {
        result.status = RestoreStatus::NoData;
        return result;
    }
    QSqlDatabase db;
    try {
        db = OpenConnection();
    } catch (const Failure &failure) {
        result.status = RestoreStatus::Failed;
        result.failedStage = Stage::OpenDatabase;
        result.error = failure.description();
        return result;
    }
    {
        // A large page cache, and the savepoints' journals kept in memory
        // rather than in temporary files.
        QSqlQuery pragma(db);
        pragma.exec(QStringLiteral("PRAGMA cache_size=-65536"));
        pragma.exec(QStringLiteral("PRAGMA temp_store=MEMORY"));
    }
    result = restoreBackupData(db, data, mode, callbacks);
    closeConnection(db);
    return result;
}

} // namespace backup
