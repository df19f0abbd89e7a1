#pragma once

#include "base/Result.h"

#include <QString>

#include <optional>

struct SyncAccount;

// The sync password lives in the desktop's secret store (Secret Service or
// KWallet, through QtKeychain) under the account's user and server, never in
// the settings file. Without a secret store it is kept in this process only,
// for the session.
namespace PasswordStore {

enum class Kept { InSecretStore, ForThisSessionOnly };

// Stores the password for the account. Without a secret store it is kept for
// the session and the answer says so.
Result<Kept> save(const SyncAccount &account, const QString &password);

// The stored password, the session's, or nothing when there is none.
Result<std::optional<QString>> load(const SyncAccount &account);

// Removes the password from the secret store and the session.
Status forget(const SyncAccount &account);

// The first line of a password file (without its line end). The file is read
// on each call, so a changed password is picked up on the next sync.
Result<QString> readPasswordFile(const QString &path);

// The password for one sync: from the password file when one is given, else
// from the secret store or the session.
Result<QString> passwordForSync(const SyncAccount &account, const QString &passwordFile = QString());

// What the window says when the password is only kept for the session.
QString sessionOnlyNotice();

// Tests: act as if the desktop had no secret store (no D-Bus calls at all).
void setSecretStoreDisabled(bool disabled);

} // namespace PasswordStore
