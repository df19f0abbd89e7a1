#include "StartUp.h"

#include "store/Schema.h"
#include "frame/Paths.h"
#include "frame/Trap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {
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
} // namespace

void prepareDataFiles(Trap &trap)
{
    if (trap.test(100, [] { return !QFileInfo(quillmarkFolder()).isDir(); }))
        trap.step(102, [] { return makeFolder(quillmarkFolder()); });
    if (trap.test(104, [] { return !QFileInfo(dataFolder()).isDir(); }))
        trap.step(106, [] { return makeFolder(dataFolder()); });
    if (!trap.test(108, [] { return !FileExists(liveDatabasePath()); }))
        return;
    const QString sample = programFolder() + QLatin1Char('/') + QLatin1String(kSampleDatabaseName);
    const QString blank = programFolder() + QLatin1Char('/') + QLatin1String(kBlankDatabaseName);
    if (trap.test(110, [&] { return FileExists(sample); })) {
        trap.step(112, [&] { return copyToLive(sample); });
    } else if (trap.test(114, [&] { return FileExists(blank); })) {
        trap.step(116, [&] { return copyToLive(blank); });
    } else {
        trap.step(116, [] { return writeBlankDatabaseFile(liveDatabasePath()); });
    }
}
