#pragma once

#include "base/Result.h"

#include <QString>

#include <optional>

class Connection;

// Every statement on the ContactUids table: the identity a contact keeps for
// as long as it exists, written by every export and matched by imports and
// synchronisation. The table is separate from Contacts so that the contact's
// columns and the backup's record lines stay as they are.
class UidStore {
public:
    explicit UidStore(Connection &connection) : m_connection(connection) {}

    // The contact's UID; a contact that has none yet is given a random UUID
    // (urn-less, lower case), which it keeps from then on.
    Result<QString> uidOf(qint64 contactId);
    // The stored UID, or nothing when the contact has none yet.
    Result<std::optional<QString>> storedUidOf(qint64 contactId);
    // Gives the contact this UID (an imported card's). Refused when another
    // contact already holds it.
    Status setUid(qint64 contactId, const QString &uid);
    // The contact holding the UID, or nothing.
    Result<std::optional<qint64>> contactOfUid(const QString &uid);
    // Removes the contact's UID (the contact's delete does this too).
    Status removeUidOf(qint64 contactId);

    // Gives every contact that has no UID yet a random UUID, in one statement.
    Status giveUidsToAll();

    // A new random UID.
    static QString newUid();

private:
    Connection &m_connection;
};
