// The contact list's reads in a chosen order.

#include "ContactStore.h"

#include "Connection.h"

#include <array>

namespace {
struct OrderColumn {
    const char *name;
    const char *index; // a COLLATE NOCASE index on the column; it carries the key as well
};

// The list's columns after the key, in list order. Only these names ever
// reach a statement.
constexpr std::array<OrderColumn, 6> kTextColumns = {{
    {"FirstName", "idxContactsFirstNameNoCase"},
    {"LastName", "idxContactsLastNameNoCase"},
    {"Address", "idxContactsAddressNoCase"},
    {"City", "idxContactsCityNoCase"},
    {"Region", "idxContactsRegionNoCase"},
    {"Country", "idxContactsCountryNoCase"},
}};

const OrderColumn *textColumn(const ContactListOrder &order)
{
    if (order.column < 1 || order.column > int(kTextColumns.size()))
        return nullptr;
    return &kTextColumns[std::size_t(order.column - 1)];
}

Error unknownOrderError()
{
    return Error{QStringLiteral("The contact list cannot be sorted by that column.")};
}

Result<qint64> countOf(Result<std::optional<QVariant>> value)
{
    if (!value)
        return value.error();
    return value->has_value() ? (*value)->toLongLong() : 0;
}

// The statement that reads `limit` keys from an offset in that order; empty
// for a column the list cannot be sorted by.
QString orderedKeysStatement(const ContactListOrder &order)
{
    const QString direction = order.descending ? QStringLiteral(" DESC") : QString();
    if (order.column == 0)
        return QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder ORDER BY ContactID%1 "
                              "LIMIT ? OFFSET ?").arg(direction);
    if (const OrderColumn *column = textColumn(order))
        return QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY %1 ORDER BY %2 COLLATE NOCASE%3, ContactID%3 "
                              "LIMIT ? OFFSET ?")
            .arg(QLatin1String(column->index), QLatin1String(column->name), direction);
    return {};
}
} // namespace

Result<QVector<qint64>> ContactStore::keysInOrder(const ContactListOrder &order, qint64 offset, int limit)
{
    const QString sql = orderedKeysStatement(order);
    if (sql.isEmpty())
        return unknownOrderError();
    Result<Rows> rows = m_connection.run(sql, {limit, offset});
    if (!rows)
        return rows.error();
    QVector<qint64> keys;
    keys.reserve(limit);
    while (rows->next())
        keys.append(rows->value(0).toLongLong());
    if (Status read = rows->status(); !read)
        return read.error();
    return keys;
}

Result<std::optional<qint64>> ContactStore::positionInOrder(const ContactListOrder &order, qint64 key)
{
    if (order.column == 0) {
        const Result<std::optional<QVariant>> there =
            m_connection.value(QStringLiteral("SELECT 1 FROM Contacts WHERE ContactID = ?"), {key});
        if (!there)
            return there.error();
        if (!there->has_value())
            return std::optional<qint64>();
        const QString sql = QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder WHERE ContactID %1 ?")
                                .arg(order.descending ? QLatin1Char('>') : QLatin1Char('<'));
        const Result<qint64> before = countOf(m_connection.value(sql, {key}));
        if (!before)
            return before.error();
        return std::optional<qint64>(*before);
    }
    const OrderColumn *column = textColumn(order);
    if (!column)
        return unknownOrderError();
    const QLatin1String name(column->name);
    const QLatin1String index(column->index);

    const Result<std::optional<QVariant>> read =
        m_connection.value(QStringLiteral("SELECT %1 FROM Contacts WHERE ContactID = ?").arg(name), {key});
    if (!read)
        return read.error();
    if (!read->has_value())
        return std::optional<qint64>();
    const QVariant value = **read;

    // Counted in three index ranges: Null sorts before every value, equal
    // values (ignoring case) in key order.
    const QString from = QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY %1 WHERE ").arg(index);
    QString sql;
    QVariantList values;
    if (value.isNull()) {
        if (!order.descending) {
            sql = from + QStringLiteral("%1 IS NULL AND ContactID < ?").arg(name);
            values = {key};
        } else {
            sql = QStringLiteral("SELECT (SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder) - (%1%2 IS NULL AND ContactID <= ?)")
                      .arg(from, name);
            values = {key};
        }
    } else if (!order.descending) {
        sql = QStringLiteral("SELECT (%1%2 IS NULL) + (%1%2 COLLATE NOCASE < ?) + (%1%2 COLLATE NOCASE = ? AND ContactID < ?)")
                  .arg(from, name);
        values = {value, value, key};
    } else {
        sql = QStringLiteral("SELECT (%1%2 COLLATE NOCASE > ?) + (%1%2 COLLATE NOCASE = ? AND ContactID > ?)").arg(from, name);
        values = {value, value, key};
    }
    const Result<qint64> before = countOf(m_connection.value(sql, values));
    if (!before)
        return before.error();
    return std::optional<qint64>(*before);
}

Result<QVector<QVariantList>> ContactStore::listColumnsOf(const QVector<qint64> &keys)
{
    if (keys.isEmpty())
        return QVector<QVariantList>();
    QStringList marks;
    QVariantList values;
    for (const qint64 key : keys) {
        marks << QStringLiteral("?");
        values << key;
    }
    const QString sql = listColumnsSelect() + QStringLiteral("WHERE ContactID IN (%1)").arg(marks.join(QLatin1Char(',')));
    Result<Rows> rows = m_connection.run(sql, values);
    if (!rows)
        return rows.error();
    return rows->all(7);
}

Result<QStringList> ContactStore::orderPlan(const ContactListOrder &order)
{
    const QString sql = orderedKeysStatement(order);
    if (sql.isEmpty())
        return unknownOrderError();
    Result<Rows> rows = m_connection.run(QStringLiteral("EXPLAIN QUERY PLAN ") + sql, {100, 0});
    if (!rows)
        return rows.error();
    QStringList steps;
    while (rows->next())
        steps << rows->value(3).toString();
    if (Status read = rows->status(); !read)
        return read.error();
    return steps;
}
