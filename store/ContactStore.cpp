#include "ContactStore.h"

#include "Connection.h"
#include "ContactFields.h"
#include "Statement.h"

namespace {
QString selectAll()
{
    return QStringLiteral("SELECT ") + contactFieldNames().join(QStringLiteral(", "))
        + QStringLiteral(" FROM Contacts ");
}

Result<QVector<qint64>> keysOf(Result<QSqlQuery> query)
{
    if (!query)
        return query.error();
    QVector<qint64> keys;
    while (query->next())
        keys.append(query->value(0).toLongLong());
    return keys;
}
} // namespace

Result<qint64> ContactStore::count()
{
    Result<QSqlQuery> query = runStatement(m_connection, QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder"));
    if (!query)
        return query.error();
    return query->next() ? query->value(0).toLongLong() : 0;
}

Result<std::optional<ContactValues>> ContactStore::one(const QString &condition, const QVariantList &values)
{
    Result<QSqlQuery> query = runStatement(m_connection, selectAll() + condition, values);
    if (!query)
        return query.error();
    if (!query->next())
        return std::optional<ContactValues>();
    ContactValues row(ContactField::Count);
    for (int field = 0; field < ContactField::Count; ++field)
        row[field] = query->value(field);
    return std::optional<ContactValues>(std::move(row));
}

Result<std::optional<ContactValues>> ContactStore::first()
{
    return one(QStringLiteral("ORDER BY ContactID LIMIT 1"), {});
}

Result<std::optional<ContactValues>> ContactStore::last()
{
    return one(QStringLiteral("ORDER BY ContactID DESC LIMIT 1"), {});
}

Result<std::optional<ContactValues>> ContactStore::after(qint64 key)
{
    return one(QStringLiteral("WHERE ContactID > ? ORDER BY ContactID LIMIT 1"), {key});
}

Result<std::optional<ContactValues>> ContactStore::before(qint64 key)
{
    return one(QStringLiteral("WHERE ContactID < ? ORDER BY ContactID DESC LIMIT 1"), {key});
}

Result<std::optional<ContactValues>> ContactStore::byKey(qint64 key)
{
    return one(QStringLiteral("WHERE ContactID = ?"), {key});
}

Result<qint64> ContactStore::insert(const ContactValues &values)
{
    const QStringList &names = contactFieldNames();
    QStringList columns;
    QStringList marks;
    QVariantList bound;
    for (int field = 1; field < ContactField::Count; ++field) {
        columns << names[field];
        marks << QStringLiteral("?");
        bound << storableValue(values.value(field));
    }
    Result<QSqlQuery> query = runStatement(
        m_connection,
        QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)").arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        bound);
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

Status ContactStore::update(qint64 key, const QVector<int> &fields, const ContactValues &values, const ContactValues &read)
{
    if (fields.isEmpty())
        return {};
    const QStringList &names = contactFieldNames();
    QStringList assignments;
    QStringList unchanged;
    QVariantList bound;
    for (int field : fields)
        assignments << names[field] + QStringLiteral(" = ?");
    for (int field : fields)
        bound << storableValue(values.value(field));
    bound << key;
    for (int field : fields) {
        unchanged << names[field] + QStringLiteral(" IS ?");
        bound << read.value(field);
    }
    Result<QSqlQuery> query = runStatement(m_connection,
                                           QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ? AND %2")
                                               .arg(assignments.join(QStringLiteral(", ")), unchanged.join(QStringLiteral(" AND "))),
                                           bound);
    if (!query)
        return query.error();
    if (query->numRowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status ContactStore::remove(qint64 key)
{
    if (Status begun = m_connection.transaction(); !begun)
        return begun;
    Result<QSqlQuery> calls = runStatement(m_connection, QStringLiteral("DELETE FROM Calls WHERE ContactID = ?"), {key});
    if (!calls) {
        (void)m_connection.rollback();
        return calls.error();
    }
    // Foreign keys are not enforced on these connections: the UID goes by hand.
    Result<QSqlQuery> uid = runStatement(m_connection, QStringLiteral("DELETE FROM ContactUids WHERE ContactID = ?"), {key});
    if (!uid) {
        (void)m_connection.rollback();
        return uid.error();
    }
    Result<QSqlQuery> contact = runStatement(m_connection, QStringLiteral("DELETE FROM Contacts WHERE ContactID = ?"), {key});
    if (!contact) {
        (void)m_connection.rollback();
        return contact.error();
    }
    if (Status committed = m_connection.commit(); !committed) {
        (void)m_connection.rollback();
        return committed;
    }
    return {};
}

Result<QVector<qint64>> ContactStore::keysAfter(qint64 afterKey, int limit)
{
    return keysOf(runStatement(m_connection,
                               QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                              "WHERE ContactID > ? ORDER BY ContactID LIMIT ?"),
                               {afterKey, limit}));
}

Result<QVector<qint64>> ContactStore::keysFrom(qint64 offset, int limit)
{
    return keysOf(runStatement(m_connection,
                               QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                              "ORDER BY ContactID LIMIT ? OFFSET ?"),
                               {limit, offset}));
}

Result<qint64> ContactStore::keysBelow(qint64 key)
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder WHERE ContactID < ?"), {key});
    if (!query)
        return query.error();
    return query->next() ? query->value(0).toLongLong() : 0;
}

Result<QVector<QVariantList>> ContactStore::listColumns(qint64 firstKey, qint64 lastKey)
{
    const QString sql = listColumnsSelect() + QStringLiteral("WHERE ContactID BETWEEN ? AND ? ORDER BY ContactID");
    return rowsOf(runStatement(m_connection, sql, {firstKey, lastKey}), 7);
}

QString ContactStore::listColumnsSelect()
{
    return QStringLiteral("SELECT ContactID, FirstName, LastName, Address, City, Region, Country FROM Contacts ");
}
