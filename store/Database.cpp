#include "store/Database.h"

#include "frame/Failure.h"
#include "frame/Paths.h"

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
    const QString name = QStringLiteral("corvanta-%1").arg(++g_connectionCounter);
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

// The schema is a resource of the static library: make sure it is linked in.
static void initSchemaResource()
{
    Q_INIT_RESOURCE(store);
}

QStringList schemaStatements()
{
    initSchemaResource();
    QFile file(QStringLiteral(":/corvanta/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("The built-in schema is missing."));
    const QString text = QString::fromUtf8(file.readAll());
    QStringList statements;
    for (const QString &part : text.split(QStringLiteral("\n;;"))) {
        QStringList lines;
        for (const QString &line : part.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QLatin1String("--")))
                lines << line;
        }
        const QString statement = lines.join(QLatin1Char('\n')).trimmed();
        if (!statement.isEmpty())
            statements << statement;
    }
    return statements;
}

void createSchema(QSqlDatabase &db)
{
    for (const QString &statement : schemaStatements())
        exec(db, statement);
}

void writeBlankDatabase(const QString &path)
{
    QFile::remove(path);
    QSqlDatabase db = openDatabaseFile(path, true);
    try {
        createSchema(db);
        // A seed file is copied as it stands, so it carries no WAL side files.
        exec(db, QStringLiteral("PRAGMA journal_mode=DELETE"));
    } catch (...) {
        closeConnection(db);
        throw;
    }
    closeConnection(db);
}
