#pragma once

#include "base/Result.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <memory>
#include <optional>

struct sqlite3;

class Connection;

// The rows a statement gives, read forward one at a time.
//
//   Result<Rows> rows = connection.run("SELECT ContactID FROM Contacts WHERE City = ?", {city});
//   if (!rows) return rows.error();
//   while (rows->next()) keys << rows->value(0).toLongLong();
//   if (Status read = rows->status(); !read) return read.error();
class Rows {
public:
    // Moves to the next row; false at the end and when reading failed (see status()).
    bool next();
    QVariant value(int column) const { return m_query.value(column); }
    bool isNull(int column) const { return m_query.isNull(column); }
    int columnCount() const;
    // The position of a named column, or -1.
    int column(const QString &name) const;
    // Fails when the last next() stopped because reading failed.
    Status status() const;

    // Every remaining row as the values of its first `columns` columns.
    Result<QVector<QVariantList>> all(int columns);
    // The first column of the next row, or nothing when there is none.
    Result<std::optional<QVariant>> first();

    // Rows an INSERT, UPDATE or DELETE changed, and the key an INSERT gave.
    int rowsAffected() const { return m_query.numRowsAffected(); }
    qint64 insertedKey() const { return m_query.lastInsertId().toLongLong(); }

    // Ends the statement before the rows are read to their end (a table may
    // not be dropped while a statement reads it).
    void finish() { m_query.finish(); }

private:
    friend class Connection;
    explicit Rows(QSqlQuery query) : m_query(std::move(query)) {}

    QSqlQuery m_query;
};

// One connection to the database. It sets the pragmas every connection of
// the program uses (WAL, a busy timeout so that a second running copy waits
// for a lock instead of failing at once) and closes itself when destroyed.
// Every statement of the program runs through run() with its values bound,
// and every write of several statements inside one Transaction.
//
// Connections are opened by the store alone: store/Database.h gives the
// rest of the program the ones it needs.
class Connection {
public:
    enum class Open { ExistingFile, CreateIfMissing };

    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    static Result<std::unique_ptr<Connection>> open(const QString &path, Open mode = Open::ExistingFile);

    QString path() const { return m_db.databaseName(); }

    // Prepares the statement, binds the values to its ? marks in order and
    // runs it. The Error carries the database's own message and code.
    Result<Rows> run(const QString &sql, const QVariantList &values = {});
    // The same for a statement whose rows (if any) are not wanted.
    Status execute(const QString &sql, const QVariantList &values = {});
    // The first column of the first row, or nothing when there is no row
    // (counts, a single field, "does it exist").
    Result<std::optional<QVariant>> value(const QString &sql, const QVariantList &values = {});

    // Several writes that land together or not at all. Begun by begin();
    // rolled back when it goes out of scope without a successful commit(),
    // so every early return of a failure undoes what was written.
    //
    //   Result<Connection::Transaction> transaction = connection.begin();
    //   if (!transaction) return transaction.error();
    //   if (Status deleted = connection.execute(...); !deleted) return deleted;
    //   return transaction->commit();
    class Transaction {
    public:
        Transaction(Transaction &&other) noexcept : m_connection(std::exchange(other.m_connection, nullptr)) {}
        Transaction &operator=(Transaction &&) = delete;
        Transaction(const Transaction &) = delete;
        Transaction &operator=(const Transaction &) = delete;
        ~Transaction();

        // Makes every write since begin() permanent. When it fails the
        // transaction is still rolled back at the end of the scope.
        Status commit();
        // Undoes every write now instead of at the end of the scope.
        Status rollback();
        bool isOpen() const { return m_connection != nullptr; }

    private:
        friend class Connection;
        explicit Transaction(Connection *connection) : m_connection(connection) {}
        Connection *m_connection;
    };
    // Deferred takes the write lock at the first write; Immediate at once,
    // for a long write that must not find the database locked half way.
    enum class Lock { Deferred, Immediate };
    Result<Transaction> begin(Lock lock = Lock::Deferred);

    // True while a transaction is open; false once the database has given
    // up a transaction by itself (a failing disk, a trigger's ROLLBACK).
    bool inTransaction();

    // The SQLite handle under the Qt driver, for the bulk paths that bind
    // through the C API (see SQLITE.md). Refused when the driver was built
    // against another SQLite library than the one the program links.
    Result<sqlite3 *> sqliteHandle();


private:
    friend class Rows;
    static Error errorOf(const QSqlQuery &query);
    static Error errorOf(const QSqlDatabase &db);

    explicit Connection(QSqlDatabase db);
    Status endTransaction(bool commit);

    QSqlDatabase m_db;
};
