#include "UidStore.h"

#include "Connection.h"

#include <QUuid>

QString UidStore::newUid()
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

Result<std::optional<QString>> UidStore::storedUidOf(qint64 contactId)
{
    const Result<std::optional<QVariant>> stored =
        m_connection.value(QStringLiteral("SELECT Uid FROM ContactUids WHERE ContactID = ?"), {contactId});
    if (!stored)
        return stored.error();
    if (!stored->has_value())
        return std::optional<QString>();
    return std::optional<QString>((*stored)->toString());
}

Result<QString> UidStore::uidOf(qint64 contactId)
{
    Result<std::optional<QString>> stored = storedUidOf(contactId);
    if (!stored)
        return stored.error();
    if (stored->has_value())
        return **stored;
    const QString uid = newUid();
    // OR IGNORE: when another connection gave the contact its UID meanwhile,
    // that one is read back below and kept.
    if (Status inserted = m_connection.execute(QStringLiteral("INSERT OR IGNORE INTO ContactUids (ContactID, Uid) "
                                                              "SELECT ContactID, ? FROM Contacts WHERE ContactID = ?"),
                                               {uid, contactId});
        !inserted)
        return inserted.error();
    Result<std::optional<QString>> now = storedUidOf(contactId);
    if (!now)
        return now.error();
    if (!now->has_value())
        return failure(QStringLiteral("There is no contact with the key %1.").arg(contactId));
    return **now;
}

Status UidStore::setUid(qint64 contactId, const QString &uid)
{
    const QString trimmed = uid.trimmed();
    if (trimmed.isEmpty())
        return failure(QStringLiteral("An empty UID cannot identify a contact."));
    Result<std::optional<qint64>> holder = contactOfUid(trimmed);
    if (!holder)
        return holder.error();
    if (holder->has_value() && **holder != contactId)
        return failure(QStringLiteral("The UID %1 already belongs to another contact.").arg(trimmed));
    return m_connection.execute(QStringLiteral("INSERT OR REPLACE INTO ContactUids (ContactID, Uid) VALUES (?, ?)"),
                                {contactId, trimmed});
}

Result<std::optional<qint64>> UidStore::contactOfUid(const QString &uid)
{
    const Result<std::optional<QVariant>> holder =
        m_connection.value(QStringLiteral("SELECT ContactID FROM ContactUids WHERE Uid = ?"), {uid.trimmed()});
    if (!holder)
        return holder.error();
    if (!holder->has_value())
        return std::optional<qint64>();
    return std::optional<qint64>((*holder)->toLongLong());
}

Status UidStore::removeUidOf(qint64 contactId)
{
    return m_connection.execute(QStringLiteral("DELETE FROM ContactUids WHERE ContactID = ?"), {contactId});
}

Status UidStore::giveUidsToAll()
{
    // A version 4 UUID from SQLite's own random source, lower case.
    return m_connection.execute(
        QStringLiteral("INSERT OR IGNORE INTO ContactUids (ContactID, Uid) "
                       "SELECT ContactID, lower(hex(randomblob(4)) || '-' || hex(randomblob(2)) || '-4' || "
                       "substr(hex(randomblob(2)), 2) || '-' || substr('89AB', 1 + (abs(random()) % 4), 1) || "
                       "substr(hex(randomblob(2)), 2) || '-' || hex(randomblob(6))) "
                       "FROM Contacts WHERE ContactID NOT IN (SELECT ContactID FROM ContactUids)"));
}
