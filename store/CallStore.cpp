#include "CallStore.h"

#include "Connection.h"
#include "Statement.h"

#include <iterator>

QString CallStore::fieldName(int field)
{
    static constexpr const char *names[] = {"CallID", "ContactID", "CallDate", "CallTime", "Subject", "Notes"};
    static_assert(std::size(names) == FieldCount, "a name for every field of Calls");
    if (field < 0 || field >= FieldCount)
        return {};
    return QString::fromLatin1(names[field]);
}

Result<QVector<CallValues>> CallStore::callsOf(qint64 contactId)
{
    Result<Rows> rows = m_connection.run(
        QStringLiteral("SELECT CallID, ContactID, CallDate, CallTime, Subject, Notes FROM Calls WHERE ContactID = ?"),
        {contactId});
    if (!rows)
        return rows.error();
    return rows->all(FieldCount);
}

Result<qint64> CallStore::add(qint64 contactId, const QDateTime &when)
{
    Result<Rows> inserted = m_connection.run(
        QStringLiteral("INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) VALUES (?, ?, ?, NULL, NULL)"),
        {contactId, when.date().toString(Qt::ISODate), when.time().toString(QStringLiteral("HH:mm:ss"))});
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
}

Status CallStore::setField(qint64 callId, int field, const QVariant &value)
{
    if (field < CallDate || field >= FieldCount)
        return failure(QStringLiteral("Field '%1' cannot be updated.").arg(fieldName(field)));
    Result<Rows> updated = m_connection.run(QStringLiteral("UPDATE Calls SET %1 = ? WHERE CallID = ?").arg(fieldName(field)),
                                            {storableValue(value), callId});
    if (!updated)
        return updated.error();
    if (updated->rowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status CallStore::remove(qint64 callId)
{
    return m_connection.execute(QStringLiteral("DELETE FROM Calls WHERE CallID = ?"), {callId});
}
