#include "store/Database.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "base/Paths.h"

Result<std::unique_ptr<Connection>> openLiveDatabase()
{
    return Connection::open(liveDatabasePath());
}

Result<std::unique_ptr<Connection>> openPreparedLiveDatabase()
{
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return connection.error();
    if (Status prepared = prepareSchema(**connection); !prepared)
        return prepared.error();
    return connection;
}

Result<std::unique_ptr<Connection>> openDatabaseFile(const QString &path)
{
    return Connection::open(path, Connection::Open::ExistingFile);
}

Result<std::unique_ptr<Connection>> createDatabaseFile(const QString &path)
{
    return Connection::open(path, Connection::Open::CreateIfMissing);
}

QString GetConnectionString(const QString &databasePath)
{
    const QString path = databasePath.isEmpty() ? liveDatabasePath() : databasePath;
    return QStringLiteral("Driver=QSQLITE;Data Source=") + path;
}
