#include "SyncAccount.h"

#include <QSettings>

namespace {

const QString kGroup = QStringLiteral("Sync");

} // namespace

Result<std::optional<SyncAccount>> loadSyncAccount()
{
    QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    if (settings.status() != QSettings::NoError)
        return failure(QStringLiteral("The settings file %1 cannot be read.").arg(settings.fileName()));
    settings.beginGroup(kGroup);
    const QString url = settings.value(QStringLiteral("ServerUrl")).toString();
    if (url.isEmpty())
        return std::optional<SyncAccount>();
    SyncAccount account;
    account.serverUrl = QUrl(url);
    account.userName = settings.value(QStringLiteral("UserName")).toString();
    account.addressBookPath = settings.value(QStringLiteral("AddressBookPath")).toString();
    account.trustedCertificateSha256 = settings.value(QStringLiteral("TrustedCertificateSha256")).toString();
    account.allowInsecureHttp = settings.value(QStringLiteral("AllowInsecureHttp"), false).toBool();
    account.intervalMinutes = qMax(0, settings.value(QStringLiteral("IntervalMinutes"), 0).toInt());
    return std::optional<SyncAccount>(account);
}

Status saveSyncAccount(const SyncAccount &account)
{
    QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    settings.beginGroup(kGroup);
    settings.setValue(QStringLiteral("ServerUrl"), account.serverUrl.toString(QUrl::RemoveUserInfo));
    settings.setValue(QStringLiteral("UserName"), account.userName);
    settings.setValue(QStringLiteral("AddressBookPath"), account.addressBookPath);
    settings.setValue(QStringLiteral("TrustedCertificateSha256"), account.trustedCertificateSha256);
    settings.setValue(QStringLiteral("AllowInsecureHttp"), account.allowInsecureHttp);
    settings.setValue(QStringLiteral("IntervalMinutes"), account.intervalMinutes);
    settings.endGroup();
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return failure(QStringLiteral("The sync account could not be saved in %1.").arg(settings.fileName()));
    return {};
}
