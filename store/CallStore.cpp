#include "CallStore.h"

#include "Connection.h"
#include "Statement.h"

QString CallStore::fieldName(int field)
{
    static const QStringList names = {
        QStringLiteral("CallID"),   QStringLiteral("ContactID"), QStringLiteral("CallDate"),
        QStringLiteral("CallTime"), QStringLiteral("Subject"),   QStringLiteral("Notes"),
    };
    return names.value(field);
}

Result<QVector<CallValues>> CallStore::callsOf(qint64 contactId)
{
    Result<QSqlQuery> query = runStatement(
        m_connection,
        QStringLiteral("SELECT CallID, ContactID, CallDate, CallTime, Subject, Notes FROM Calls WHERE ContactID = ?"),
        {contactId});
    if (!query)
        return query.error();
    QVector<CallValues> calls;
    while (query->next()) {
        CallValues call(FieldCount);
        for (int field = 0; field < FieldCount; ++field)
            call[field] = query->value(field);
        calls.append(call);
    }
    return calls;
}

Result<qint64> CallStore::add(qint64 contactId, const QDateTime &when)
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) VALUES (?, ?, ?, NULL, NULL)"),
        {contactId, when.date().toString(Qt::ISODate), when.time().toString(QStringLiteral("HH:mm:ss"))});
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

Status CallStore::setField(qint64 callId, int field, const QVariant &value)
{
    if (field < CallDate || field >= FieldCount)
        return failure(QStringLiteral("Field '%1' cannot be updated.").arg(fieldName(field)));
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("UPDATE Calls SET %1 = ? WHERE CallID = ?").arg(fieldName(field)),
        {storableValue(value), callId});
    if (!query)
        return query.error();
    if (query->numRowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status CallStore::remove(qint64 callId)
{
    Result<QSqlQuery> query = runStatement(m_connection, QStringLiteral("DELETE FROM Calls WHERE CallID = ?"), {callId});
    if (!query)
        return query.error();
    return {};
}
