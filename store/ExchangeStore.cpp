#include "ExchangeStore.h"

#include "Connection.h"
#include "base/ContactFields.h"

#include <QSqlError>

#include <sqlite3.h>
#include <QSqlRecord>

namespace {
const QStringList &contactColumns()
{
    return contactFieldNames();
}
constexpr int typeColumn = ContactField::ContactTypeID;

QVariant stored(int column, const QString &text)
{
    if (text.isEmpty())
        return QVariant();
    if (column == typeColumn)
        return text.toLongLong();
    return text;
}
} // namespace

Result<QHash<QString, qint64>> ExchangeStore::typeKeys()
{
    Result<QSqlQuery> query = m_connection.prepare(
        QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactTypeID"));
    if (!query)
        return query.error();
    if (Status ran = Connection::run(*query); !ran)
        return ran.error();
    QHash<QString, qint64> keys;
    while (query->next())
        if (!keys.contains(query->value(1).toString()))
            keys.insert(query->value(1).toString(), query->value(0).toLongLong());
    return keys;
}

Result<qint64> ExchangeStore::addType(const QString &caption)
{
    Result<QSqlQuery> query = m_connection.prepare(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"));
    if (!query)
        return query.error();
    query->addBindValue(caption);
    if (Status ran = Connection::run(*query); !ran)
        return ran.error();
    return query->lastInsertId().toLongLong();
}

Status ExchangeStore::useImportCache()
{
    return m_connection.exec(QStringLiteral("PRAGMA cache_size = -32768"));
}

Result<QStringList> ExchangeStore::dropContactIndexes()
{
    Result<QSqlQuery> query = m_connection.prepare(QStringLiteral(
        "SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = 'Contacts' AND sql IS NOT NULL"));
    if (!query)
        return query.error();
    if (Status ran = Connection::run(*query); !ran)
        return ran.error();
    QStringList names;
    QStringList statements;
    while (query->next()) {
        names << query->value(0).toString();
        statements << query->value(1).toString();
    }
    query->finish();
    for (const QString &name : names) {
        QString quoted = name;
        quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
        if (Status dropped = m_connection.exec(QStringLiteral("DROP INDEX \"%1\"").arg(quoted)); !dropped)
            return dropped.error();
    }
    return statements;
}

Status ExchangeStore::createIndexes(const QStringList &statements)
{
    for (const QString &statement : statements)
        if (Status created = m_connection.exec(statement); !created)
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
    Result<QSqlQuery> query = m_connection.prepare(
        QStringLiteral("SELECT %1 FROM Contacts%2 ORDER BY ContactID").arg(contactColumns().join(QStringLiteral(", ")), where));
    if (!query)
        return query.error();
    query->setForwardOnly(true);
    if (onlyContactId != 0)
        query->addBindValue(onlyContactId);
    if (Status ran = Connection::run(*query); !ran)
        return ran.error();
    const int columns = int(contactColumns().size());
    QStringList row;
    while (query->next()) {
        row.clear();
        for (int column = 0; column < columns; ++column)
            row << query->value(column).toString();
        if (!each(row))
            break;
    }
    if (query->lastError().isValid())
        return Connection::errorOf(*query);
    return {};
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
            if (value.isEmpty())
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
    if (!m_insert) {
        Result<QSqlQuery> query = m_connection.prepare(sql());
        if (!query)
            return query.error();
        m_insert = std::move(*query);
    }
    for (int column = 1; column < contactColumns().size(); ++column)
        m_insert->bindValue(column - 1, stored(column, fields.value(column)));
    return Connection::run(*m_insert);
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
    Result<QSqlQuery> query =
        m_connection.prepare(QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ?").arg(sets.join(QStringLiteral(", "))));
    if (!query)
        return query.error();
    for (const auto &field : fields)
        query->addBindValue(stored(field.first, field.second));
    query->addBindValue(contactId);
    return Connection::run(*query);
}
