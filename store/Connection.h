#pragma once

#include "frame/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

#include <memory>

struct sqlite3;

// One connection to a database file. It owns its Qt connection name, sets the
// pragmas every connection of the program uses (WAL, a busy timeout so that a
// second running copy waits for a lock instead of failing at once) and closes
// itself when destroyed. Only the store's classes use it.
class Connection {
public:
    enum class Open { ExistingFile, CreateIfMissing };

    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    // The live database in the data folder.
    static Result<std::unique_ptr<Connection>> openLive();
    static Result<std::unique_ptr<Connection>> open(const QString &path, Open mode = Open::ExistingFile);

    QSqlDatabase &database() { return m_db; }
    QString path() const { return m_db.databaseName(); }

    // A statement without bound values (schema, pragmas).
    Status exec(const QString &sql);
    // A prepared statement; bind values, then run it with run().
    Result<QSqlQuery> prepare(const QString &sql);
    // Runs a prepared query; the Error carries the database's message.
    static Status run(QSqlQuery &query);

    Status transaction();
    Status commit();
    Status rollback();

    // The SQLite handle under the Qt driver, for the bulk paths that bind
    // through the C API. Refused when the driver was built against another
    // SQLite library than the one the program links.
    Result<sqlite3 *> sqliteHandle();
    static Result<sqlite3 *> sqliteHandleOf(const QSqlDatabase &db);

    static Error errorOf(const QSqlQuery &query);
    static Error errorOf(const QSqlDatabase &db);

private:
    explicit Connection(QSqlDatabase db);

    QSqlDatabase m_db;
};
