#include "DataFolder.h"

#include "base/Paths.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>

namespace {
QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
}

// True when the process may write the path (the permissions as the system
// applies them to this user, not the mode bits alone).
bool writable(const QString &path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}
} // namespace

QStringList tidyDataFolder()
{
    QStringList notices;
    const QString live = liveDatabasePath();
    const QFileInfo liveInfo(live);
    const QString logs[2] = {live + QStringLiteral("-wal"), live + QStringLiteral("-shm")};
    const QFileInfo wal(logs[0]);

    // An empty file with an empty or no log holds nothing: a new database
    // takes its place. (With a log, SQLite finds the data in the log.)
    if (liveInfo.isFile() && liveInfo.size() == 0 && (!wal.exists() || wal.size() == 0)) {
        if (QFile::remove(live))
            notices << QStringLiteral("The database file %1 was empty (0 bytes), as a failed copy leaves it; "
                                      "a new database was made in its place.")
                           .arg(QDir::toNativeSeparators(live));
        else
            notices << QStringLiteral("The database file %1 is empty (0 bytes) and cannot be replaced: "
                                      "no contact can be read or stored.")
                           .arg(QDir::toNativeSeparators(live));
    }

    if (QFileInfo::exists(live))
        return notices;
    QStringList moved;
    const QString suffix = QStringLiteral(".moved-") + stamp();
    for (const QString &log : logs) {
        if (!QFileInfo::exists(log))
            continue;
        const QString aside = log + suffix;
        if (QFile::rename(log, aside))
            moved << QStringLiteral("%1 to %2").arg(QFileInfo(log).fileName(), QFileInfo(aside).fileName());
        else
            notices << QStringLiteral("The log file %1 of a deleted database could not be moved aside; "
                                      "the new database may be damaged by it.")
                           .arg(QDir::toNativeSeparators(log));
    }
    if (!moved.isEmpty())
        notices << QStringLiteral("Log files of a deleted database were left in %1; they were renamed (%2) so that "
                                  "they cannot damage the new database.")
                       .arg(QDir::toNativeSeparators(dataFolder()), moved.join(QStringLiteral(", ")));
    return notices;
}

QString liveDatabaseReadOnlyReason()
{
    const QString live = liveDatabasePath();
    if (!QFileInfo::exists(live))
        return {};
    if (!writable(live))
        return QStringLiteral("you have no permission to write the file %1").arg(QDir::toNativeSeparators(live));
    if (!writable(dataFolder()))
        return QStringLiteral("you have no permission to write in its folder %1")
            .arg(QDir::toNativeSeparators(dataFolder()));
    return {};
}

QString readOnlyRefusal(const QString &reason)
{
    return QStringLiteral("The database is read-only: %1. Nothing was changed.").arg(reason);
}
