#include "SyncStore.h"

#include "Connection.h"
#include "base/ContactFields.h"

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
        if (Status made = m_connection.execute(sql); !made)
            return made;
    return {};
}

Result<QList<SyncCardState>> SyncStore::cards()
{
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT ContactID, Href, ETag, Uid, BaseCard, BaseFields FROM SyncCards"));
    if (!rows)
        return rows.error();
    QList<SyncCardState> states;
    while (rows->next())
        states << SyncCardState{rows->value(0).toLongLong(), rows->value(1).toString(), rows->value(2).toString(),
                                rows->value(3).toString(),   rows->value(4).toByteArray(), fieldsFrom(rows->value(5).toString())};
    if (Status read = rows->status(); !read)
        return read.error();
    return states;
}

Status SyncStore::saveCard(const SyncCardState &state)
{
    if (Status cleared = m_connection.execute(QStringLiteral("DELETE FROM SyncCards WHERE ContactID = ? OR Href = ? OR Uid = ?"),
                                              {state.contactId, state.href, state.uid});
        !cleared)
        return cleared;
    return m_connection.execute(
        QStringLiteral("INSERT INTO SyncCards (ContactID, Href, ETag, Uid, BaseCard, BaseFields) VALUES (?, ?, ?, ?, ?, ?)"),
        {state.contactId, state.href, state.etag.isEmpty() ? QStringLiteral("") : state.etag, state.uid, state.baseCard,
         fieldsText(state.baseFields)});
}

Status SyncStore::removeCard(const QString &href)
{
    return m_connection.execute(QStringLiteral("DELETE FROM SyncCards WHERE Href = ?"), {href});
}

Status SyncStore::removeAllCards()
{
    return m_connection.execute(QStringLiteral("DELETE FROM SyncCards"));
}

Result<QString> SyncStore::value(const QString &key)
{
    Result<std::optional<QVariant>> stored = m_connection.value(QStringLiteral("SELECT Value FROM SyncValues WHERE Name = ?"), {key});
    if (!stored)
        return stored.error();
    return stored->has_value() ? (*stored)->toString() : QString();
}

Status SyncStore::setValue(const QString &key, const QString &value)
{
    return m_connection.execute(QStringLiteral("INSERT OR REPLACE INTO SyncValues (Name, Value) VALUES (?, ?)"), {key, value});
}

Result<QList<QStringList>> SyncStore::contacts()
{
    Result<Rows> rows =
        m_connection.run(QStringLiteral("SELECT %1 FROM Contacts ORDER BY ContactID").arg(contactFieldNames().join(QStringLiteral(", "))));
    if (!rows)
        return rows.error();
    QList<QStringList> contacts;
    while (rows->next()) {
        QStringList row;
        row.reserve(ContactField::Count);
        for (int field = 0; field < ContactField::Count; ++field)
            row << rows->value(field).toString();
        contacts << row;
    }
    if (Status read = rows->status(); !read)
        return read.error();
    return contacts;
}

Result<QHash<qint64, QString>> SyncStore::typeCaptions()
{
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" ORDER BY ContactTypeID"));
    if (!rows)
        return rows.error();
    QHash<qint64, QString> captions;
    while (rows->next())
        captions.insert(rows->value(0).toLongLong(), rows->value(1).toString());
    if (Status read = rows->status(); !read)
        return read.error();
    return captions;
}

Result<qint64> SyncStore::addType(const QString &caption)
{
    Result<Rows> inserted = m_connection.run(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)"), {caption});
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
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
    Result<Rows> inserted = m_connection.run(
        QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)").arg(names.mid(1).join(QStringLiteral(", ")), marks.join(QStringLiteral(", "))),
        bound);
    if (!inserted)
        return inserted.error();
    return inserted->insertedKey();
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
    Result<Rows> updated = m_connection.run(
        QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ? AND %2").arg(sets.join(QStringLiteral(", ")), unchanged), bound);
    if (!updated)
        return updated.error();
    return updated->rowsAffected() > 0;
}

Result<bool> SyncStore::deleteContact(qint64 contactId, const QStringList &read)
{
    QVariantList bound{contactId};
    const QString unchanged = unchangedCondition(bound, read);
    Result<Rows> contact = m_connection.run(QStringLiteral("DELETE FROM Contacts WHERE ContactID = ? AND %1").arg(unchanged), bound);
    if (!contact)
        return contact.error();
    if (contact->rowsAffected() == 0)
        return false;
    if (Status calls = m_connection.execute(QStringLiteral("DELETE FROM Calls WHERE ContactID = ?"), {contactId}); !calls)
        return calls.error();
    return true;
}
