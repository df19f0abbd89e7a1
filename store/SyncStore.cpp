#include "SyncStore.h"

#include "Connection.h"
#include "ContactFields.h"
#include "Statement.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

const QStringList kTables = {
    QStringLiteral("CREATE TABLE IF NOT EXISTS SyncCards ("
                   " ContactID INTEGER NOT NULL UNIQUE,"
                   " Href TEXT NOT NULL UNIQUE,"
                   " ETag TEXT NOT NULL DEFAULT '',"
                   " Uid TEXT NOT NULL UNIQUE,"
                   " BaseCard BLOB,"
                   " BaseFields TEXT)"),
    QStringLiteral("CREATE TABLE IF NOT EXISTS SyncValues (Name TEXT PRIMARY KEY, Value TEXT)"),
};

QString fieldsText(const QStringList &fields)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(fields)).toJson(QJsonDocument::Compact));
}

QStringList fieldsFrom(const QString &text)
{
    QStringList fields;
    for (const QJsonValue &value : QJsonDocument::fromJson(text.toUtf8()).array())
        fields << value.toString();
    return fields;
}

// "FirstName IS ? AND ..." with the stored texts compared as the program
// reads them (Null as empty text, the type key as its digits).
QString unchangedCondition(QVariantList &bound, const QStringList &read)
{
    const QStringList &names = contactFieldNames();
    QStringList terms;
    for (int field = 1; field < ContactField::Count; ++field) {
        terms << QStringLiteral("COALESCE(CAST(%1 AS TEXT), '') = ?").arg(names[field]);
        const QString text = read.value(field);
        bound << (text.isEmpty() ? QStringLiteral("") : text); // a null QString would bind as Null
    }
    return terms.join(QStringLiteral(" AND "));
}

QVariant storedField(int field, const QString &text)
{
    if (text.isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    if (field == ContactField::ContactTypeID)
        return text.toLongLong();
    return text;
}

} // namespace

Status SyncStore::prepare()
{
    for (const QString &sql : kTables)
        if (Status made = m_connection.exec(sql); !made)
            return made;
    return {};
}

Result<QList<SyncCardState>> SyncStore::cards()
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("SELECT ContactID, Href, ETag, Uid, BaseCard, BaseFields FROM SyncCards"));
    if (!query)
        return query.error();
    QList<SyncCardState> states;
    while (query->next())
        states << SyncCardState{query->value(0).toLongLong(), query->value(1).toString(), query->value(2).toString(),
                                query->value(3).toString(),   query->value(4).toByteArray(), fieldsFrom(query->value(5).toString())};
    return states;
}

Status SyncStore::saveCard(const SyncCardState &state)
{
    Result<QSqlQuery> cleared = runStatement(
        m_connection, QStringLiteral("DELETE FROM SyncCards WHERE ContactID = ? OR Href = ? OR Uid = ?"),
        {state.contactId, state.href, state.uid});
    if (!cleared)
        return cleared.error();
    Result<QSqlQuery> saved = runStatement(
        m_connection,
        QStringLiteral("INSERT INTO SyncCards (ContactID, Href, ETag, Uid, BaseCard, BaseFields) VALUES (?, ?, ?, ?, ?, ?)"),
        {state.contactId, state.href, state.etag.isEmpty() ? QStringLiteral("") : state.etag, state.uid, state.baseCard,
         fieldsText(state.baseFields)});
    if (!saved)
        return saved.error();
    return {};
}

Status SyncStore::removeCard(const QString &href)
{
    Result<QSqlQuery> removed = runStatement(m_connection, QStringLiteral("DELETE FROM SyncCards WHERE Href = ?"), {href});
    if (!removed)
        return removed.error();
    return {};
}

Status SyncStore::removeAllCards()
{
    return m_connection.exec(QStringLiteral("DELETE FROM SyncCards"));
}

Result<QString> SyncStore::value(const QString &key)
{
    Result<QSqlQuery> query = runStatement(m_connection, QStringLiteral("SELECT Value FROM SyncValues WHERE Name = ?"), {key});
    if (!query)
        return query.error();
    return query->next() ? query->value(0).toString() : QString();
}

Status SyncStore::setValue(const QString &key, const QString &value)
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("INSERT OR REPLACE INTO SyncValues (Name, Value) VALUES (?, ?)"), {key, value});
    if (!query)
        return query.error();
    return {};
}

Result<QList<QStringList>> SyncStore::contacts()
{
    Result<QSqlQuery> query = runStatement(
        m_connection, QStringLiteral("SELECT %1 FROM Contacts ORDER BY ContactID").arg(contactFieldNames().join(QStringLiteral(", "))));
    if (!query)
        return query.error();
    QList<QStringList> rows;
    while (query->next()) {
        QStringList row;
        row.reserve(ContactField::Count);
        for (int field = 0; field < ContactField::Count; ++field)
            row << query->value(field).toString();
        rows << row;
    }
    return rows;
}

Result<QHash<qint64, QString>> SyncStore::typeCaptions()
{
    Result<QSqlQuery> query =
        runStatement(m_connection, QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactTypeID"));
    if (!query)
        return query.error();
    QHash<qint64, QString> captions;
    while (query->next())
        captions.insert(query->value(0).toLongLong(), query->value(1).toString());
    return captions;
}

Result<qint64> SyncStore::addType(const QString &caption)
{
    Result<QSqlQuery> query = runStatement(m_connection, QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {caption});
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

Result<qint64> SyncStore::insertContact(const QStringList &fields)
{
    const QStringList &names = contactFieldNames();
    QStringList marks;
    QVariantList bound;
    for (int field = 1; field < ContactField::Count; ++field) {
        marks << QStringLiteral("?");
        bound << storedField(field, fields.value(field));
    }
    Result<QSqlQuery> query = runStatement(m_connection,
                                           QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)")
                                               .arg(names.mid(1).join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
                                           bound);
    if (!query)
        return query.error();
    return query->lastInsertId().toLongLong();
}

Result<bool> SyncStore::updateContact(qint64 contactId, const QStringList &fields, const QStringList &read)
{
    const QStringList &names = contactFieldNames();
    QStringList sets;
    QVariantList bound;
    for (int field = 1; field < ContactField::Count; ++field) {
        sets << names[field] + QStringLiteral(" = ?");
        bound << storedField(field, fields.value(field));
    }
    bound << contactId;
    const QString unchanged = unchangedCondition(bound, read);
    Result<QSqlQuery> query = runStatement(
        m_connection,
        QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ? AND %2").arg(sets.join(QStringLiteral(", ")), unchanged), bound);
    if (!query)
        return query.error();
    return query->numRowsAffected() > 0;
}

Result<bool> SyncStore::deleteContact(qint64 contactId, const QStringList &read)
{
    QVariantList bound{contactId};
    const QString unchanged = unchangedCondition(bound, read);
    Result<QSqlQuery> contact =
        runStatement(m_connection, QStringLiteral("DELETE FROM Contacts WHERE ContactID = ? AND %1").arg(unchanged), bound);
    if (!contact)
        return contact.error();
    if (contact->numRowsAffected() == 0)
        return false;
    Result<QSqlQuery> calls = runStatement(m_connection, QStringLiteral("DELETE FROM Calls WHERE ContactID = ?"), {contactId});
    if (!calls)
        return calls.error();
    return true;
}

Status SyncStore::begin()
{
    return m_connection.transaction();
}

Status SyncStore::commit()
{
    return m_connection.commit();
}

void SyncStore::rollback()
{
    (void)m_connection.rollback();
}
