#include "StartUpSteps.h"

#include "frame/Trap.h"
#include "base/Paths.h"
#include "store/StartUp.h"

#include <QFileInfo>

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
        trap.step(116, [] { return writeBlankLiveDatabase(); });
    }
}
