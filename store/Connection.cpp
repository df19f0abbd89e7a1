#include "Connection.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QUrl>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

#include <sqlite3.h>

#include <unistd.h>

namespace {
QAtomicInteger<quint64> g_connectionCounter;

Error errorFrom(const QSqlError &error)
{
    bool isNumber = false;
    const int code = error.nativeErrorCode().toInt(&isNumber);
    return failure(error.text(), isNumber ? code : 0);
}
} // namespace

Connection::Connection(QSqlDatabase db) : m_db(std::move(db)) {}

Connection::~Connection()
{
    const QString name = m_db.connectionName();
    m_db.close();
    m_db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

namespace {
// A database that this user cannot write (the file, or the folder where its
// log files live) is opened read-only, so that everything can still be read.
bool mustOpenReadOnly(const QString &path)
{
    if (path == QLatin1String(":memory:") || !QFileInfo::exists(path))
        return false;
    const QFileInfo info(path);
    return ::access(QFile::encodeName(path).constData(), W_OK) != 0
        || ::access(QFile::encodeName(info.absolutePath()).constData(), W_OK) != 0;
}

Result<QSqlDatabase> openDatabase(const QString &name, const QString &file, const QString &options)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(file);
    db.setConnectOptions(options);
    if (!db.open()) {
        const Error error = errorFrom(db.lastError());
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return error;
    }
    return db;
}
} // namespace

Result<std::unique_ptr<Connection>> Connection::open(const QString &path, Open mode)
{
    if (mode == Open::ExistingFile && path != QLatin1String(":memory:") && !QFileInfo::exists(path))
        return failure(QStringLiteral("Could not find file '%1'.").arg(path));
    const QString name = QStringLiteral("corvanta-connection-%1").arg(++g_connectionCounter);
    const QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000");
    if (mustOpenReadOnly(path)) {
        const QString readOnly = options + QStringLiteral(";QSQLITE_OPEN_READONLY");
        Result<QSqlDatabase> db = openDatabase(name, path, readOnly);
        if (db) {
            // Reading a WAL database needs its shared-memory file; where that
            // cannot be made, nobody can write the file either, and it is
            // read as it stands.
            bool readable = false;
            {
                QSqlQuery probe(*db);
                readable = probe.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master"));
            }
            if (readable)
                return std::unique_ptr<Connection>(new Connection(*db));
            db->close();
            *db = QSqlDatabase();
            QSqlDatabase::removeDatabase(name);
        }
        const QString uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded)
            + QStringLiteral("?immutable=1");
        Result<QSqlDatabase> immutable = openDatabase(name, uri, readOnly + QStringLiteral(";QSQLITE_OPEN_URI"));
        if (!immutable)
            return immutable.error();
        return std::unique_ptr<Connection>(new Connection(*immutable));
    }
    Result<QSqlDatabase> db = openDatabase(name, path, options);
    if (!db)
        return db.error();
    std::unique_ptr<Connection> connection(new Connection(*db));
    // Neither pragma is essential: a read-only file keeps its journal mode.
    (void)connection->execute(QStringLiteral("PRAGMA journal_mode=WAL"));
    (void)connection->execute(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return connection;
}

// ---------------------------------------------------------------- statements

Result<Rows> Connection::run(const QString &sql, const QVariantList &values)
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return errorOf(query);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return errorOf(query);
    return Rows(std::move(query));
}

Status Connection::execute(const QString &sql, const QVariantList &values)
{
    Result<Rows> rows = run(sql, values);
    if (!rows)
        return rows.error();
    return {};
}

Result<std::optional<QVariant>> Connection::value(const QString &sql, const QVariantList &values)
{
    Result<Rows> rows = run(sql, values);
    if (!rows)
        return rows.error();
    return rows->first();
}

bool Rows::next()
{
    return m_query.next();
}

int Rows::columnCount() const
{
    return m_query.record().count();
}

int Rows::column(const QString &name) const
{
    return m_query.record().indexOf(name);
}

Status Rows::status() const
{
    if (m_query.lastError().isValid())
        return Connection::errorOf(m_query);
    return {};
}

Result<QVector<QVariantList>> Rows::all(int columns)
{
    QVector<QVariantList> rows;
    while (next()) {
        QVariantList row;
        row.reserve(columns);
        for (int column = 0; column < columns; ++column)
            row << value(column);
        rows.append(std::move(row));
    }
    if (Status read = status(); !read)
        return read.error();
    return rows;
}

Result<std::optional<QVariant>> Rows::first()
{
    if (next())
        return std::optional<QVariant>(value(0));
    if (Status read = status(); !read)
        return read.error();
    return std::optional<QVariant>();
}

// ---------------------------------------------------------------- transactions

Result<Connection::Transaction> Connection::begin(Lock lock)
{
    if (lock == Lock::Immediate) {
        // SQLite's own form: the write lock from the first statement on.
        if (Status begun = execute(QStringLiteral("BEGIN IMMEDIATE")); !begun)
            return begun.error();
    } else if (!m_db.transaction()) {
        return errorOf(m_db);
    }
    return Transaction(this);
}

Status Connection::endTransaction(bool commit)
{
    if (commit ? m_db.commit() : m_db.rollback())
        return {};
    return errorOf(m_db);
}

Connection::Transaction::~Transaction()
{
    // Nothing to report here: a transaction the database already gave up
    // has nothing left to undo.
    if (m_connection)
        (void)m_connection->endTransaction(false);
}

Status Connection::Transaction::commit()
{
    if (!m_connection)
        return failure(QStringLiteral("The transaction has already ended."));
    if (Status committed = m_connection->endTransaction(true); !committed)
        return committed; // still open: rolled back at the end of the scope
    m_connection = nullptr;
    return {};
}

Status Connection::Transaction::rollback()
{
    if (!m_connection)
        return {};
    Connection *connection = std::exchange(m_connection, nullptr);
    return connection->endTransaction(false);
}

bool Connection::inTransaction()
{
    const Result<sqlite3 *> db = sqliteHandle();
    return db && sqlite3_get_autocommit(*db) == 0;
}

Result<sqlite3 *> Connection::sqliteHandle()
{
    if (!m_db.isValid() || !m_db.driver())
        return failure(QStringLiteral("The database connection is not open."));
    const QVariant handle = m_db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return failure(QStringLiteral("The database driver does not use SQLite."));
    sqlite3 *db = *static_cast<sqlite3 *const *>(handle.data());
    if (!db)
        return failure(QStringLiteral("The database connection is closed."));
    // The handle is only usable through our own SQLite library when the
    // driver was linked against that same library.
    if (sqlite3_libversion_number() != SQLITE_VERSION_NUMBER)
        return failure(QStringLiteral("The database driver uses another SQLite library (%1) than the program (%2).")
                           .arg(sqlite3_libversion_number())
                           .arg(SQLITE_VERSION_NUMBER));
    return db;
}

Error Connection::errorOf(const QSqlQuery &query)
{
    return errorFrom(query.lastError());
}

Error Connection::errorOf(const QSqlDatabase &db)
{
    return errorFrom(db.lastError());
}
