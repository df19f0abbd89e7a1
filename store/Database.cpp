#include "store/Database.h"

#include "frame/Failure.h"
#include "frame/Paths.h"
#include "store/Schema.h"

#include <QAtomicInteger>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

namespace {
QAtomicInteger<quint64> g_connectionCounter;

QString pathFromConnectionString(const QString &connectionString)
{
    const QString key = QStringLiteral("Data Source=");
    const qsizetype start = connectionString.indexOf(key);
    if (start < 0)
        return {};
    const qsizetype from = start + key.size();
    const qsizetype end = connectionString.indexOf(QLatin1Char(';'), from);
    return connectionString.mid(from, end < 0 ? -1 : end - from);
}

void exec(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    throwIfFailed(query.exec(sql), query);
}
} // namespace

QString GetConnectionString(const QString &databasePath)
{
    const QString path = databasePath.isEmpty() ? liveDatabasePath() : databasePath;
    return QStringLiteral("Driver=QSQLITE;Data Source=") + path;
}

QSqlDatabase openDatabaseFile(const QString &path, bool createIfMissing)
{
    if (!createIfMissing && !QFileInfo::exists(path))
        throw Failure(QStringLiteral("Could not find file '%1'.").arg(path));
    const QString name = QStringLiteral("corvanta-legacy-%1").arg(++g_connectionCounter);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    db.setDatabaseName(path);
    // A second running copy waits for a lock instead of failing at once.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    if (!db.open()) {
        const QString message = db.lastError().text();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        throw Failure(message);
    }
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    return db;
}

QSqlDatabase OpenConnection()
{
    return openDatabaseFile(pathFromConnectionString(GetConnectionString()));
}

void closeConnection(QSqlDatabase &db)
{
    const QString name = db.connectionName();
    db.close();
    db = QSqlDatabase();
    if (!name.isEmpty())
        QSqlDatabase::removeDatabase(name);
}

QStringList schemaStatements()
{
    Result<QStringList> statements = builtInSchema();
    if (!statements)
        throw Failure(statements.error().description);
    return *statements;
}

void createSchema(QSqlDatabase &db)
{
    for (const QString &statement : schemaStatements())
        exec(db, statement);
}

void writeBlankDatabase(const QString &path)
{
    if (Status written = writeBlankDatabaseFile(path); !written)
        throw Failure(written.error().description);
}
