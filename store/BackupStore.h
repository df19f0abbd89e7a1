#pragma once

#include "base/Result.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

#include "Connection.h"

struct sqlite3;
struct sqlite3_stmt;

// The data access of the backup file's writer and reader. Whole tables are
// read and written through SQLite's own C interface (the Qt driver's handle,
// checked by Connection::sqliteHandle), which is several times quicker than
// a statement of the driver per row for a database of a million rows.
class BackupStore {
public:
    // Works on an open connection; the caller keeps it open meanwhile.
    explicit BackupStore(Connection &connection);

    struct Column {
        QString name;
        QString declaredType;
    };
    // The table's fields in their order (the key first).
    Result<QList<Column>> columns(const QString &table);
    Result<qint64> rowCount(const QString &table);

    // A read transaction, so that several reads see one moment of the file;
    // the moment is fixed when it begins.
    Result<Connection::Transaction> beginRead();
    // A write transaction that holds the write lock from its start.
    Result<Connection::Transaction> beginWrite();
    // True while a transaction is open; false once the database has given
    // up a transaction by itself (a failing disk, a trigger's ROLLBACK).
    bool inTransaction();

    // The database file.
    QString path() const;
    // Replaces the whole database with the database file at `source`
    // (SQLite's online backup, in one transaction), so that every connection
    // sees the new content at once.
    Status replaceWith(const QString &source);

    // How long a lock held by another connection is waited for.
    void setBusyTimeout(int milliseconds);
    // A larger page cache for a restore.
    void tuneForBulkWrite();
    Status deleteAll(const QString &table);
    // Drops the tables' indexes that enforce nothing (not UNIQUE) and gives
    // back their definitions, for recreateIndexes() once the rows are in.
    Result<QStringList> dropPlainIndexes(const QStringList &tables);
    Status recreateIndexes(const QStringList &definitions);

    // True for a failure of the database itself (disk, lock, memory ...),
    // as opposed to a row the database refused (a constraint, a mismatch).
    static bool isDatabaseFailure(const Error &error);

    // Every row of "select * from <table>", read forward.
    class Rows {
    public:
        ~Rows();
        Rows(const Rows &) = delete;
        Rows &operator=(const Rows &) = delete;

        enum class Kind { Null, Integer, Real, Text, Blob };
        // Moves to the next row; false at the end.
        Result<bool> next();
        int columnCount() const;
        Kind kind(int column) const;
        qint64 integer(int column) const;
        double real(int column) const;
        // The UTF-8 bytes of a text value as SQLite holds them.
        QByteArrayView text(int column) const;
        // Any value as the Qt driver would hand it over.
        QVariant value(int column) const;

        // A value at one look: its kind and, for an integer or a text, the
        // number or the UTF-8 bytes (valid until the next row). Quicker than
        // kind() followed by integer() or text().
        struct Cell {
            Kind kind = Kind::Null;
            qint64 integer = 0;
            QByteArrayView text;
        };
        Cell cell(int column) const;

    private:
        friend class BackupStore;
        Rows(sqlite3 *db, sqlite3_stmt *statement) : m_db(db), m_statement(statement) {}
        sqlite3 *m_db;
        sqlite3_stmt *m_statement;
    };
    // Every row of one of the three tables "Contact Types", "Contacts" and
    // "Calls", in the database's order.
    Result<std::unique_ptr<Rows>> readRows(const QString &table);

    // One INSERT into a table, prepared once and run for every row.
    class Insert {
    public:
        ~Insert();
        Insert(const Insert &) = delete;
        Insert &operator=(const Insert &) = delete;

        int parameterCount() const { return m_parameters; }
        void bindNull(int index);
        void bindInteger(int index, qint64 value);
        // The bytes are read in place: they must stay valid until run().
        void bindText(int index, QByteArrayView utf8);
        // Inserts the row; gives back its key, or the database's answer.
        Result<qint64> run();

    private:
        friend class BackupStore;
        Insert(sqlite3 *db, sqlite3_stmt *statement, int parameters)
            : m_db(db), m_statement(statement), m_parameters(parameters)
        {
        }
        sqlite3 *m_db;
        sqlite3_stmt *m_statement;
        int m_parameters;
    };
    // INSERT INTO table (columns...) VALUES (?, ...).
    Result<std::unique_ptr<Insert>> prepareInsert(const QString &table, const QStringList &columns);
    // Gives a contact its UID (parameters: the contact's key, the UID, the
    // key again); nothing happens when there is no such contact.
    Result<std::unique_ptr<Insert>> prepareUidInsert();

private:
    Status exec(const QString &sql);
    Result<sqlite3 *> handle();
    static QString quoted(const QString &identifier);

    Connection &m_connection;
};

// A copy of a database file as it is at start(), written by SQLite's online
// backup on a thread of its own while the caller goes on writing to the
// database: the copy reads the moment it started at. It goes into a file
// beside the target and takes the target's place only when it is complete.
class SnapshotCopy {
public:
    static Result<std::unique_ptr<SnapshotCopy>> start(const QString &database, const QString &target);
    // Waits for the copy; when it succeeds the target holds it.
    Status finish();
    // Without finish(), the unfinished copy is thrown away.
    ~SnapshotCopy();
    SnapshotCopy(const SnapshotCopy &) = delete;
    SnapshotCopy &operator=(const SnapshotCopy &) = delete;

private:
    SnapshotCopy() = default;
    struct State;
    std::unique_ptr<State> m_state;
};
