#include "StartUp.h"

#include "store/Schema.h"
#include "base/Paths.h"

#include <QDir>
#include <QFile>

Status makeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return failure(QStringLiteral("Path/File access error: %1").arg(path));
    return {};
}

Status copyToLive(const QString &from)
{
    if (!QFile::copy(from, liveDatabasePath()))
        return failure(QStringLiteral("Could not copy '%1' to '%2'.").arg(from, liveDatabasePath()));
    // A copy of a read-only seed must still be writable.
    QFile::setPermissions(liveDatabasePath(),
                          QFile::permissions(liveDatabasePath()) | QFile::WriteOwner | QFile::ReadOwner);
    return {};
}

Status writeBlankLiveDatabase()
{
    return writeBlankDatabaseFile(liveDatabasePath());
}
