#pragma once

#include "base/Result.h"

#include <QString>
#include <QUrl>

#include <optional>

// The one CardDAV account the program syncs with. The password is never part
// of it: it lives in the desktop's secret store (sync/PasswordStore).
struct SyncAccount {
    QUrl serverUrl;                       // as the user gave it (may be just a host)
    QString userName;
    QString addressBookPath;              // the collection's path once chosen/discovered
    QString trustedCertificateSha256;     // "AB:CD:..." upper case with colons, or empty
    bool allowInsecureHttp = false;
    int intervalMinutes = 0;              // 0 = no periodic sync
};

// The stored account (settings keys under "Sync/"), or nothing when none was
// set up.
Result<std::optional<SyncAccount>> loadSyncAccount();
Status saveSyncAccount(const SyncAccount &account);
