#include "BackupStore.h"

#include "Connection.h"

#include <QFile>

#include <sqlite3.h>

#include <cstdio>
#include <thread>

namespace {
Error sqliteError(sqlite3 *db)
{
    return failure(QString::fromUtf8(sqlite3_errmsg(db)), sqlite3_extended_errcode(db));
}
} // namespace

BackupStore::BackupStore(Connection &connection) : m_connection(connection) {}

QString BackupStore::path() const
{
    return m_connection.path();
}

QString BackupStore::quoted(const QString &identifier)
{
    QString name = identifier;
    name.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + name + QLatin1Char('"');
}

Status BackupStore::exec(const QString &sql)
{
    return m_connection.execute(sql);
}

Result<sqlite3 *> BackupStore::handle()
{
    return m_connection.sqliteHandle();
}

Result<QList<BackupStore::Column>> BackupStore::columns(const QString &table)
{
    Result<::Rows> rows = m_connection.run(QStringLiteral("PRAGMA table_info(%1)").arg(quoted(table)));
    if (!rows)
        return rows.error();
    QList<Column> result;
    while (rows->next())
        result.append({rows->value(1).toString(), rows->value(2).toString()});
    if (Status read = rows->status(); !read)
        return read.error();
    return result;
}

Result<qint64> BackupStore::rowCount(const QString &table)
{
    Result<std::optional<QVariant>> count = m_connection.value(QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoted(table)));
    if (!count)
        return count.error();
    return count->value_or(QVariant(0)).toLongLong();
}

Result<Connection::Transaction> BackupStore::beginRead()
{
    Result<Connection::Transaction> transaction = m_connection.begin();
    if (!transaction)
        return transaction.error();
    // A deferred transaction takes its moment at its first read.
    if (Status pinned = exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master")); !pinned)
        return pinned.error();
    return transaction;
}

Result<Connection::Transaction> BackupStore::beginWrite()
{
    return m_connection.begin(Connection::Lock::Immediate);
}

bool BackupStore::inTransaction()
{
    return m_connection.inTransaction();
}

void BackupStore::setBusyTimeout(int milliseconds)
{
    (void)exec(QStringLiteral("PRAGMA busy_timeout=%1").arg(milliseconds));
}

void BackupStore::tuneForBulkWrite()
{
    // Not needed for a correct result; a failure only costs time. Temporary
    // data (the sorting for the indexes) stays in files, so that a large
    // restore needs little memory.
    (void)exec(QStringLiteral("PRAGMA cache_size=-16384"));
}

Status BackupStore::deleteAll(const QString &table)
{
    if (Status deleted = exec(QStringLiteral("DELETE FROM %1").arg(quoted(table))); !deleted)
        return deleted;
    // Keys are never handed out twice, but an emptied table numbers its
    // restored rows from 1 again, as the file's references expect.
    Result<std::optional<QVariant>> sequence =
        m_connection.value(QStringLiteral("SELECT 1 FROM sqlite_master WHERE name = 'sqlite_sequence'"));
    if (!sequence)
        return sequence.error();
    if (!sequence->has_value())
        return {};
    return m_connection.execute(QStringLiteral("DELETE FROM sqlite_sequence WHERE name = ?"), {table});
}

Result<QStringList> BackupStore::dropPlainIndexes(const QStringList &tables)
{
    QStringList names;
    QStringList definitions;
    {
        Result<::Rows> rows =
            m_connection.run(QStringLiteral("SELECT name, tbl_name, sql FROM sqlite_master WHERE type = 'index' AND sql IS NOT NULL"));
        if (!rows)
            return rows.error();
        while (rows->next()) {
            const QString sql = rows->value(2).toString();
            if (!tables.contains(rows->value(1).toString(), Qt::CaseInsensitive)
                || sql.simplified().startsWith(QLatin1String("CREATE UNIQUE"), Qt::CaseInsensitive))
                continue;
            names << rows->value(0).toString();
            definitions << sql;
        }
        if (Status read = rows->status(); !read)
            return read.error();
    }
    for (const QString &name : std::as_const(names)) {
        if (Status dropped = exec(QStringLiteral("DROP INDEX %1").arg(quoted(name))); !dropped)
            return dropped.error();
    }
    return definitions;
}

Status BackupStore::recreateIndexes(const QStringList &definitions)
{
    for (const QString &definition : definitions) {
        if (Status created = exec(definition); !created)
            return created;
    }
    return {};
}

bool BackupStore::isDatabaseFailure(const Error &error)
{
    switch (error.code & 0xFF) {
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

// ---------------------------------------------------------------- rows

Result<std::unique_ptr<BackupStore::Rows>> BackupStore::readRows(const QString &table)
{
    // The statements that the backup file's format names for its sections.
    QString statement;
    if (table == QLatin1String("Contact Types"))
        statement = QStringLiteral("select * from [Contact Types] ");
    else if (table == QLatin1String("Contacts"))
        statement = QStringLiteral("select * from contacts ");
    else if (table == QLatin1String("Calls"))
        statement = QStringLiteral("select * from Calls ");
    else
        statement = QStringLiteral("select * from %1 ").arg(quoted(table));
    const Result<sqlite3 *> db = handle();
    if (!db)
        return db.error();
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(*db, statement.toUtf8().constData(), -1, &prepared, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(*db);
        sqlite3_finalize(prepared);
        return error;
    }
    return std::unique_ptr<Rows>(new Rows(*db, prepared));
}

BackupStore::Rows::~Rows()
{
    sqlite3_finalize(m_statement);
}

Result<bool> BackupStore::Rows::next()
{
    const int status = sqlite3_step(m_statement);
    if (status == SQLITE_ROW)
        return true;
    if (status == SQLITE_DONE)
        return false;
    return sqliteError(m_db);
}

int BackupStore::Rows::columnCount() const
{
    return sqlite3_column_count(m_statement);
}

BackupStore::Rows::Kind BackupStore::Rows::kind(int column) const
{
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        return Kind::Null;
    case SQLITE_INTEGER:
        return Kind::Integer;
    case SQLITE_FLOAT:
        return Kind::Real;
    case SQLITE_BLOB:
        return Kind::Blob;
    default:
        return Kind::Text;
    }
}

qint64 BackupStore::Rows::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double BackupStore::Rows::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

QByteArrayView BackupStore::Rows::text(int column) const
{
    const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
    return QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column));
}

BackupStore::Rows::Cell BackupStore::Rows::cell(int column) const
{
    Cell cell;
    switch (sqlite3_column_type(m_statement, column)) {
    case SQLITE_NULL:
        break;
    case SQLITE_INTEGER:
        cell.kind = Kind::Integer;
        cell.integer = sqlite3_column_int64(m_statement, column);
        break;
    case SQLITE_FLOAT:
        cell.kind = Kind::Real;
        break;
    case SQLITE_BLOB:
        cell.kind = Kind::Blob;
        break;
    default: {
        cell.kind = Kind::Text;
        // The text first, then its length: the length is that of the text form.
        const auto *bytes = reinterpret_cast<const char *>(sqlite3_column_text(m_statement, column));
        cell.text = QByteArrayView(bytes, sqlite3_column_bytes(m_statement, column));
        break;
    }
    }
    return cell;
}

QVariant BackupStore::Rows::value(int column) const
{
    switch (kind(column)) {
    case Kind::Null:
        return QVariant();
    case Kind::Integer:
        return qlonglong(integer(column));
    case Kind::Real:
        return real(column);
    case Kind::Blob:
        return QByteArray(static_cast<const char *>(sqlite3_column_blob(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    case Kind::Text:
        break;
    }
    const QByteArrayView bytes = text(column);
    return QString::fromUtf8(bytes.data(), bytes.size());
}

// ---------------------------------------------------------------- insert

Result<std::unique_ptr<BackupStore::Insert>> BackupStore::prepareInsert(const QString &table,
                                                                        const QStringList &columns)
{
    const Result<sqlite3 *> db = handle();
    if (!db)
        return db.error();
    QStringList names;
    QStringList marks;
    for (const QString &column : columns) {
        names << quoted(column);
        marks << QStringLiteral("?");
    }
    const QString sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                            .arg(quoted(table), names.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(*db, sql.toUtf8().constData(), -1, &prepared, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(*db);
        sqlite3_finalize(prepared);
        return error;
    }
    return std::unique_ptr<Insert>(new Insert(*db, prepared, int(columns.size())));
}

Result<std::unique_ptr<BackupStore::Insert>> BackupStore::prepareUidInsert()
{
    const Result<sqlite3 *> db = handle();
    if (!db)
        return db.error();
    static const char sql[] = "INSERT INTO ContactUids (ContactID, Uid) "
                              "SELECT ?, ? WHERE EXISTS (SELECT 1 FROM Contacts WHERE ContactID = ?)";
    sqlite3_stmt *prepared = nullptr;
    if (sqlite3_prepare_v2(*db, sql, -1, &prepared, nullptr) != SQLITE_OK) {
        const Error error = sqliteError(*db);
        sqlite3_finalize(prepared);
        return error;
    }
    return std::unique_ptr<Insert>(new Insert(*db, prepared, 3));
}

BackupStore::Insert::~Insert()
{
    sqlite3_finalize(m_statement);
}

void BackupStore::Insert::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index + 1);
}

void BackupStore::Insert::bindInteger(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index + 1, value);
}

void BackupStore::Insert::bindText(int index, QByteArrayView utf8)
{
    // A null pointer would bind Null; an empty text stays an empty text.
    sqlite3_bind_text(m_statement, index + 1, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_STATIC);
}

Result<qint64> BackupStore::Insert::run()
{
    const int status = sqlite3_step(m_statement);
    Result<qint64> outcome = status == SQLITE_DONE ? Result<qint64>(sqlite3_last_insert_rowid(m_db))
                                                   : Result<qint64>(sqliteError(m_db));
    sqlite3_reset(m_statement);
    return outcome;
}

// ---------------------------------------------------------------- copies

Status BackupStore::replaceWith(const QString &source)
{
    const Result<sqlite3 *> db = handle();
    if (!db)
        return db.error();
    sqlite3 *from = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        const Error error = from ? sqliteError(from) : failure(QStringLiteral("out of memory"));
        sqlite3_close(from);
        return error;
    }
    Status outcome;
    sqlite3_backup *backup = sqlite3_backup_init(*db, "main", from, "main");
    if (!backup) {
        outcome = sqliteError(*db);
    } else {
        const int stepped = sqlite3_backup_step(backup, -1);
        sqlite3_backup_finish(backup);
        if (stepped != SQLITE_DONE)
            outcome = failure(QString::fromUtf8(sqlite3_errstr(stepped)), stepped);
    }
    sqlite3_close(from);
    return outcome;
}

struct SnapshotCopy::State {
    sqlite3 *source = nullptr;
    QString target;
    QString part;
    std::thread thread;
    Status outcome;
    bool finished = false;
};

Result<std::unique_ptr<SnapshotCopy>> SnapshotCopy::start(const QString &database, const QString &target)
{
    std::unique_ptr<SnapshotCopy> copy(new SnapshotCopy);
    copy->m_state = std::make_unique<State>();
    State &state = *copy->m_state;
    state.target = target;
    state.part = target + QStringLiteral(".part");
    if (sqlite3_open_v2(QFile::encodeName(database).constData(), &state.source, SQLITE_OPEN_READONLY, nullptr)
        != SQLITE_OK)
        return state.source ? sqliteError(state.source) : failure(QStringLiteral("out of memory"));
    sqlite3_busy_timeout(state.source, 10000);
    // The first read fixes the moment the copy shows, before the caller
    // changes anything.
    if (sqlite3_exec(state.source, "BEGIN; SELECT COUNT(*) FROM sqlite_master;", nullptr, nullptr, nullptr)
        != SQLITE_OK)
        return sqliteError(state.source);
    QFile::remove(state.part);
    state.thread = std::thread([&state] {
        sqlite3 *into = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(state.part).constData(), &into,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr)
            != SQLITE_OK) {
            state.outcome = into ? sqliteError(into) : failure(QStringLiteral("out of memory"));
            sqlite3_close(into);
            return;
        }
        sqlite3_backup *backup = sqlite3_backup_init(into, "main", state.source, "main");
        if (!backup) {
            state.outcome = sqliteError(into);
        } else {
            const int stepped = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            if (stepped != SQLITE_DONE)
                state.outcome = failure(QString::fromUtf8(sqlite3_errstr(stepped)), stepped);
        }
        if (sqlite3_close(into) != SQLITE_OK && state.outcome)
            state.outcome = failure(QStringLiteral("Could not close %1.").arg(state.part));
    });
    return copy;
}

Status SnapshotCopy::finish()
{
    State &state = *m_state;
    if (state.thread.joinable())
        state.thread.join();
    if (!state.outcome)
        return state.outcome;
    // rename() replaces an older copy in one step.
    if (std::rename(QFile::encodeName(state.part).constData(), QFile::encodeName(state.target).constData()) != 0)
        return failure(QStringLiteral("Could not rename %1 to %2.").arg(state.part, state.target));
    state.finished = true;
    return {};
}

SnapshotCopy::~SnapshotCopy()
{
    if (!m_state)
        return;
    if (m_state->thread.joinable())
        m_state->thread.join();
    if (!m_state->finished)
        QFile::remove(m_state->part);
    if (m_state->source) {
        sqlite3_exec(m_state->source, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_close(m_state->source);
    }
}
