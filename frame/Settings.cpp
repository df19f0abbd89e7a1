#include "Settings.h"

#include <QSettings>

namespace {
const QString kGroup = QStringLiteral("Corvanta");
} // namespace

QString GetSetting(const QString &key, const QString &defaultValue)
{
    QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    settings.beginGroup(kGroup);
    if (!settings.contains(key))
        return defaultValue;
    return settings.value(key).toString();
}

bool SaveSetting(const QString &key, const QString &value)
{
    QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    settings.beginGroup(kGroup);
    settings.setValue(key, value);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

QString settingsFilePath()
{
    return QSettings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta")).fileName();
}

QString labelSettingKey(int index)
{
    return QStringLiteral("Label ") + QString::number(index);
}

bool settingAsBool(const QString &value)
{
    const QString text = value.trimmed();
    if (text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool isNumber = false;
    const double number = text.toDouble(&isNumber);
    return isNumber && number != 0.0;
}
