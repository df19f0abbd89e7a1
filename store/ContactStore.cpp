#include "ContactStore.h"

#include "Connection.h"
#include "base/ContactFields.h"
#include "Statement.h"

namespace {
QString selectAll()
{
    return QStringLiteral("SELECT ") + contactFieldNames().join(QStringLiteral(", "))
        + QStringLiteral(" FROM Contacts ");
}

Result<QVector<qint64>> keysOf(Result<Rows> rows)
{
    if (!rows)
        return rows.error();
    QVector<qint64> keys;
    while (rows->next())
        keys.append(rows->value(0).toLongLong());
    if (Status read = rows->status(); !read)
        return read.error();
    return keys;
}

Result<qint64> countOf(Result<std::optional<QVariant>> value)
{
    if (!value)
        return value.error();
    return value->has_value() ? (*value)->toLongLong() : 0;
}
} // namespace

Result<qint64> ContactStore::count()
{
    return countOf(m_connection.value(QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder")));
}

Result<std::optional<ContactValues>> ContactStore::one(const QString &condition, const QVariantList &values)
{
    Result<Rows> rows = m_connection.run(selectAll() + condition, values);
    if (!rows)
        return rows.error();
    if (!rows->next()) {
        if (Status read = rows->status(); !read)
            return read.error();
        return std::optional<ContactValues>();
    }
    ContactValues row(ContactField::Count);
    for (int field = 0; field < ContactField::Count; ++field)
        row[field] = rows->value(field);
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
    Result<Rows> inserted = m_connection.run(
        QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)").arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        bound);
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
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
    Result<Rows> updated = m_connection.run(QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ? AND %2")
                                                .arg(assignments.join(QStringLiteral(", ")), unchanged.join(QStringLiteral(" AND "))),
                                            bound);
    if (!updated)
        return updated.error();
    if (updated->rowsAffected() == 0)
        return rowChangedError();
    return {};
}

Status ContactStore::remove(qint64 key)
{
    Result<Connection::Transaction> transaction = m_connection.begin();
    if (!transaction)
        return transaction.error();
    if (Status calls = m_connection.execute(QStringLiteral("DELETE FROM Calls WHERE ContactID = ?"), {key}); !calls)
        return calls;
    // Foreign keys are not enforced on these connections: the UID goes by hand.
    if (Status uid = m_connection.execute(QStringLiteral("DELETE FROM ContactUids WHERE ContactID = ?"), {key}); !uid)
        return uid;
    if (Status contact = m_connection.execute(QStringLiteral("DELETE FROM Contacts WHERE ContactID = ?"), {key}); !contact)
        return contact;
    return transaction->commit();
}

Result<QVector<qint64>> ContactStore::keysAfter(qint64 afterKey, int limit)
{
    return keysOf(m_connection.run(QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                                  "WHERE ContactID > ? ORDER BY ContactID LIMIT ?"),
                                   {afterKey, limit}));
}

Result<QVector<qint64>> ContactStore::keysFrom(qint64 offset, int limit)
{
    return keysOf(m_connection.run(QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                                  "ORDER BY ContactID LIMIT ? OFFSET ?"),
                                   {limit, offset}));
}

Result<qint64> ContactStore::keysBelow(qint64 key)
{
    return countOf(
        m_connection.value(QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder WHERE ContactID < ?"), {key}));
}

Result<QVector<QVariantList>> ContactStore::listColumns(qint64 firstKey, qint64 lastKey)
{
    const QString sql = listColumnsSelect() + QStringLiteral("WHERE ContactID BETWEEN ? AND ? ORDER BY ContactID");
    Result<Rows> rows = m_connection.run(sql, {firstKey, lastKey});
    if (!rows)
        return rows.error();
    return rows->all(7);
}

QString ContactStore::listColumnsSelect()
{
    return QStringLiteral("SELECT ContactID, FirstName, LastName, Address, City, Region, Country FROM Contacts ");
}
