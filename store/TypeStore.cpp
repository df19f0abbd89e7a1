#include "TypeStore.h"

#include "Connection.h"
#include "Statement.h"

Result<QVector<ContactTypeRow>> TypeStore::all()
{
    Result<QSqlQuery> query = runStatement(
        m_connection,
        QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactType, ContactTypeID"));
    if (!query)
        return query.error();
    QVector<ContactTypeRow> rows;
    while (query->next())
        rows.append({query->value(0).toLongLong(), query->value(1)});
    return rows;
}

Result<qint64> TypeStore::add(const QString &name)
{
    Result<QSqlQuery> query =
        runStatement(m_connection, QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {name});
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

Status TypeStore::rename(qint64 id, const QString &name)
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("UPDATE \"Contact Types\" SET ContactType = ? WHERE ContactTypeID = ?"), {name, id});
    if (!query)
        return query.error();
    if (query->numRowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status TypeStore::remove(qint64 id)
{
    Result<QSqlQuery> query =
        runStatement(m_connection, QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = ?"), {id});
    if (!query)
        return query.error();
    return {};
}

Result<qint64> TypeStore::contactCount(qint64 id)
{
    Result<QSqlQuery> query =
        runStatement(m_connection, QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE ContactTypeID = ?"), {id});
    if (!query)
        return query.error();
    if (!query->next())
        return qint64(0);
    return query->value(0).toLongLong();
}
