#include "ExchangeStore.h"

#include "Connection.h"
#include "base/ContactFields.h"

#include <sqlite3.h>

namespace {
const QStringList &contactColumns()
{
    return contactFieldNames();
}
constexpr int typeColumn = ContactField::ContactTypeID;

// Null text is stored as Null; empty text that is not Null as ''.
QVariant stored(int column, const QString &text)
{
    if (text.isNull() || (text.isEmpty() && column == typeColumn))
        return QVariant();
    if (column == typeColumn)
        return text.toLongLong();
    return text;
}
} // namespace

Result<QHash<QString, qint64>> ExchangeStore::typeKeys()
{
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactTypeID"));
    if (!rows)
        return rows.error();
    QHash<QString, qint64> keys;
    while (rows->next())
        if (!keys.contains(rows->value(1).toString()))
            keys.insert(rows->value(1).toString(), rows->value(0).toLongLong());
    if (Status read = rows->status(); !read)
        return read.error();
    return keys;
}

Result<qint64> ExchangeStore::addType(const QString &caption)
{
    Result<Rows> inserted = m_connection.run(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {caption});
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
}

Status ExchangeStore::useImportCache()
{
    return m_connection.execute(QStringLiteral("PRAGMA cache_size = -32768"));
}

Result<QStringList> ExchangeStore::dropContactIndexes()
{
    Result<Rows> rows = m_connection.run(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Contacts' AND sql IS NOT NULL"));
    if (!rows)
        return rows.error();
    QStringList names;
    QStringList statements;
    while (rows->next()) {
        names << rows->value(0).toString();
        statements << rows->value(1).toString();
    }
    if (Status read = rows->status(); !read)
        return read.error();
    rows->finish();
    for (const QString &name : names) {
        QString quoted = name;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        if (Status dropped = m_connection.execute(QStringLiteral("DROP INDEX \"%1\"").arg(quoted)); !dropped)
            return dropped.error();
    }
    return statements;
}

Status ExchangeStore::createIndexes(const QStringList &statements)
{
    for (const QString &statement : statements)
        if (Status created = m_connection.execute(statement); !created)
            return created;
    return {};
}

Result<QList<QStringList>> ExchangeStore::contacts()
{
    QList<QStringList> rows;
    if (Status read = forEachContact([&](const QStringList &row) { rows << row; return true; }); !read)
        return read.error();
    return rows;
}

Status ExchangeStore::forEachContact(const std::function<bool(const QStringList &)> &each, qint64 onlyContactId)
{
    const QString where = onlyContactId != 0 ? QStringLiteral(" WHERE ContactID = ?") : QString();
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT %1, (SELECT Uid FROM ContactUids AS u WHERE u.ContactID = Contacts.ContactID) "
                                                        "FROM Contacts%2 ORDER BY ContactID")
                                             .arg(contactColumns().join(QStringLiteral(", ")), where),
                                         onlyContactId != 0 ? QVariantList{onlyContactId} : QVariantList{});
    if (!rows)
        return rows.error();
    const int columns = int(contactColumns().size()) + 1;
    QStringList row;
    while (rows->next()) {
        row.clear();
        for (int column = 0; column < columns; ++column)
            row << rows->value(column).toString();
        if (!each(row))
            return {};
    }
    return rows->status();
}

Result<QStringList> ExchangeStore::contact(qint64 contactId)
{
    QStringList found;
    if (Status read = forEachContact([&](const QStringList &row) { found = row; return false; }, contactId); !read)
        return read.error();
    return found;
}

ExchangeStore::~ExchangeStore()
{
    if (m_bulkInsert)
        sqlite3_finalize(m_bulkInsert);
}

Status ExchangeStore::insertContact(const QStringList &fields)
{
    static const QStringList columns = contactColumns().mid(1);
    auto sql = [&] {
        QStringList marks;
        for (qsizetype i = 0; i < columns.size(); ++i)
            marks << QStringLiteral("?");
        return QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)")
            .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    };
    if (!m_bulkTried) {
        m_bulkTried = true;
        if (Result<sqlite3 *> handle = m_connection.sqliteHandle(); handle) {
            const QByteArray text = sql().toUtf8();
            if (sqlite3_prepare_v2(*handle, text.constData(), int(text.size()), &m_bulkInsert, nullptr) != SQLITE_OK) {
                sqlite3_finalize(m_bulkInsert);
                m_bulkInsert = nullptr;
            }
        }
    }
    if (m_bulkInsert) {
        static const QString none;
        for (int column = 1; column <= columns.size(); ++column) {
            // The list outlives the step: SQLite may read the text in place.
            const QString &value = column < fields.size() ? fields[column] : none;
            int bound = SQLITE_OK;
            if (value.isNull() || (value.isEmpty() && column == typeColumn))
                bound = sqlite3_bind_null(m_bulkInsert, column);
            else if (column == typeColumn)
                bound = sqlite3_bind_int64(m_bulkInsert, column, value.toLongLong());
            else
                bound = sqlite3_bind_text16(m_bulkInsert, column, value.utf16(), int(value.size() * sizeof(char16_t)),
                                            SQLITE_STATIC);
            if (bound != SQLITE_OK)
                return failure(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_bulkInsert))), bound);
        }
        const int stepped = sqlite3_step(m_bulkInsert);
        sqlite3_reset(m_bulkInsert);
        sqlite3_clear_bindings(m_bulkInsert);
        if (stepped != SQLITE_DONE)
            return failure(QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(m_bulkInsert))), stepped);
        return {};
    }
    // Without SQLite's own interface: the same statement through the driver.
    QVariantList values;
    for (int column = 1; column < contactColumns().size(); ++column)
        values << stored(column, fields.value(column));
    Result<Rows> inserted = m_connection.run(sql(), values);
    if (!inserted)
        return inserted.error();
    m_lastKey = inserted->insertedKey();
    return {};
}

Result<qint64> ExchangeStore::lastInsertedKey()
{
    if (m_bulkInsert)
        return qint64(sqlite3_last_insert_rowid(sqlite3_db_handle(m_bulkInsert)));
    if (m_lastKey)
        return *m_lastKey;
    return failure(QStringLiteral("No contact was stored yet."));
}

Status ExchangeStore::updateContact(qint64 contactId, const QList<QPair<int, QString>> &fields)
{
    if (fields.isEmpty())
        return {};
    QStringList sets;
    for (const auto &field : fields) {
        if (field.first <= 0 || field.first >= contactColumns().size())
            return failure(QStringLiteral("No such field: %1").arg(field.first));
        sets << contactColumns()[field.first] + QStringLiteral(" = ?");
    }
    QVariantList values;
    for (const auto &field : fields)
        values << stored(field.first, field.second);
    values << contactId;
    return m_connection.execute(QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ?").arg(sets.join(QStringLiteral(", "))), values);
}
