#include "base/Paths.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

QString GetSpecialFolder(int folderId)
{
    QString path;
    switch (folderId) {
    case kSpecialFolderCommonAppData:
        path = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        break;
    case kSpecialFolderDesktop:
        path = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        break;
    default:
        return {};
    }
    path.remove(QChar(0));
    path = path.trimmed();
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

bool FileExists(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

namespace {
QString collapseDoubled(const QString &text, QChar separator)
{
    // One left-to-right pass replacing each pair of separators by one.
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        result.append(text.at(i));
        if (text.at(i) == separator && i + 1 < text.size() && text.at(i + 1) == separator)
            ++i;
    }
    return result;
}
} // namespace

QString NormalizePath(const QString &path, QChar separator)
{
    if (!path.startsWith(separator))
        return collapseDoubled(path, separator);
    qsizetype k = 1;
    while (k < path.size() && path.at(k) == separator)
        ++k;
    return QString(2, separator) + collapseDoubled(path.mid(k), separator);
}

namespace {
QString &programFolderOverride()
{
    static QString folder;
    return folder;
}
} // namespace

void setProgramFolderOverride(const QString &folder)
{
    programFolderOverride() = folder;
}

QString programFolder()
{
    if (!programFolderOverride().isEmpty())
        return programFolderOverride();
    return QCoreApplication::applicationDirPath();
}

QString quillmarkFolder()
{
    return GetSpecialFolder(kSpecialFolderCommonAppData) + QStringLiteral("/Quillmark");
}

QString dataFolder()
{
    return GetSpecialFolder(kSpecialFolderCommonAppData) + QStringLiteral("/Quillmark/") + QStringLiteral("Corvanta");
}

QString liveDatabasePath()
{
    return dataFolder() + QLatin1Char('/') + QLatin1String(kLiveDatabaseName);
}
