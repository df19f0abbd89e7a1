#include "store/Database.h"

#include "frame/Paths.h"

QString GetConnectionString(const QString &databasePath)
{
    const QString path = databasePath.isEmpty() ? liveDatabasePath() : databasePath;
    return QStringLiteral("Driver=QSQLITE;Data Source=") + path;
}
