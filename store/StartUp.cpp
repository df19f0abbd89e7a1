#include "StartUp.h"

#include "store/Database.h"
#include "frame/Failure.h"
#include "frame/Paths.h"
#include "frame/Trap.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

void prepareDataFiles(Trap &trap)
{
    if (trap.test(100, [] { return !QFileInfo(quillmarkFolder()).isDir(); }))
        trap.step(102, [] {
            if (!QDir().mkpath(quillmarkFolder()))
                throw Failure(QStringLiteral("Path/File access error: %1").arg(quillmarkFolder()));
        });
    if (trap.test(104, [] { return !QFileInfo(dataFolder()).isDir(); }))
        trap.step(106, [] {
            if (!QDir().mkpath(dataFolder()))
                throw Failure(QStringLiteral("Path/File access error: %1").arg(dataFolder()));
        });
    if (!trap.test(108, [] { return !FileExists(liveDatabasePath()); }))
        return;
    const QString sample = programFolder() + QLatin1Char('/') + QLatin1String(kSampleDatabaseName);
    const QString blank = programFolder() + QLatin1Char('/') + QLatin1String(kBlankDatabaseName);
    auto copyTo = [](const QString &from) {
        if (!QFile::copy(from, liveDatabasePath()))
            throw Failure(QStringLiteral("Could not copy '%1' to '%2'.").arg(from, liveDatabasePath()));
        // A copy of a read-only seed must still be writable.
        QFile::setPermissions(liveDatabasePath(), QFile::permissions(liveDatabasePath())
                                                      | QFile::WriteOwner | QFile::ReadOwner);
    };
    if (trap.test(110, [&] { return FileExists(sample); })) {
        trap.step(112, [&] { copyTo(sample); });
    } else if (trap.test(114, [&] { return FileExists(blank); })) {
        trap.step(116, [&] { copyTo(blank); });
    } else {
        trap.step(116, [] { writeBlankDatabase(liveDatabasePath()); });
    }
}
