#include "TypeStore.h"

#include "Connection.h"
#include "Statement.h"

Result<QVector<ContactTypeRow>> TypeStore::all()
{
    Result<Rows> read =
        m_connection.run(QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactType, ContactTypeID"));
    if (!read)
        return read.error();
    QVector<ContactTypeRow> rows;
    while (read->next())
        rows.append({read->value(0).toLongLong(), read->value(1)});
    if (Status status = read->status(); !status)
        return status.error();
    return rows;
}

Result<qint64> TypeStore::add(const QString &name)
{
    Result<Rows> inserted = m_connection.run(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {name});
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
}

Status TypeStore::rename(qint64 id, const QString &name)
{
    Result<Rows> updated =
        m_connection.run(QStringLiteral("UPDATE \"Contact Types\" SET ContactType = ? WHERE ContactTypeID = ?"), {name, id});
    if (!updated)
        return updated.error();
    if (updated->rowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status TypeStore::remove(qint64 id)
{
    return m_connection.execute(QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = ?"), {id});
}

Result<qint64> TypeStore::contactCount(qint64 id)
{
    Result<std::optional<QVariant>> count =
        m_connection.value(QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE ContactTypeID = ?"), {id});
    if (!count)
        return count.error();
    return count->value_or(QVariant(0)).toLongLong();
}
