#include "ContactImport.h"

#include "store/Connection.h"
#include "store/ExchangeStore.h"

namespace exchange {

namespace {
QString digits(const QString &phone)
{
    QString only;
    for (const QChar c : phone)
        if (c.isDigit())
            only += c;
    return only;
}

QStringList nameAndPhoneKeys(const QString &first, const QString &last, const QStringList &phones)
{
    QStringList keys;
    if (first.trimmed().isEmpty() && last.trimmed().isEmpty())
        return keys;
    for (const QString &phone : phones) {
        const QString number = digits(phone);
        if (!number.isEmpty())
            keys << first.trimmed().toCaseFolded() + QChar(0x1F) + last.trimmed().toCaseFolded() + QChar(0x1F) + number;
    }
    return keys;
}

QStringList phonesOf(const QStringList &row)
{
    return {row.value(WorkPhone), row.value(HomePhone), row.value(MobilePhone), row.value(FaxNumber)};
}
} // namespace

Result<DuplicateFinder> DuplicateFinder::load(Connection &connection)
{
    ExchangeStore store(connection);
    Result<QList<QStringList>> rows = store.contacts();
    if (!rows)
        return rows.error();
    DuplicateFinder finder;
    for (const QStringList &row : *rows) {
        const qint64 id = row.value(ContactID).toLongLong();
        finder.m_rows.insert(id, row);
        const QString email = row.value(EmailName).trimmed().toCaseFolded();
        if (!email.isEmpty() && !finder.m_byEmail.contains(email))
            finder.m_byEmail.insert(email, id);
        for (const QString &key : nameAndPhoneKeys(row.value(FirstName), row.value(LastName), phonesOf(row)))
            if (!finder.m_byNameAndPhone.contains(key))
                finder.m_byNameAndPhone.insert(key, id);
    }
    return finder;
}

qint64 DuplicateFinder::match(const ContactRecord &record) const
{
    const QString email = record[EmailName].trimmed().toCaseFolded();
    if (!email.isEmpty() && m_byEmail.contains(email))
        return m_byEmail.value(email);
    const QStringList phones{record[WorkPhone], record[HomePhone], record[MobilePhone], record[FaxNumber]};
    for (const QString &key : nameAndPhoneKeys(record[FirstName], record[LastName], phones))
        if (m_byNameAndPhone.contains(key))
            return m_byNameAndPhone.value(key);
    return 0;
}

const QStringList *DuplicateFinder::stored(qint64 contactId) const
{
    auto found = m_rows.constFind(contactId);
    return found == m_rows.constEnd() ? nullptr : &found.value();
}

Result<ImportOutcome> importContacts(Connection &connection, const QList<ContactRecord> &records, DuplicatePolicy policy,
                                     const std::function<bool(int, int)> &progress)
{
    ImportOutcome outcome;
    Result<DuplicateFinder> finder = DuplicateFinder::load(connection);
    if (!finder)
        return finder.error();
    ExchangeStore store(connection);
    if (Status began = connection.transaction(); !began)
        return began.error();
    auto abandon = [&](const Error &error) -> Result<ImportOutcome> {
        (void)connection.rollback();
        return error;
    };
    Result<QHash<QString, qint64>> types = store.typeKeys();
    if (!types)
        return abandon(types.error());
    const int total = int(records.size());
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            if (Status undone = connection.rollback(); !undone)
                return undone.error();
            outcome = ImportOutcome{};
            outcome.cancelled = true;
            return outcome;
        }
        const ContactRecord &record = records[i];
        QString typeKey;
        if (!record.typeName.isEmpty()) {
            if (!types->contains(record.typeName)) {
                Result<qint64> added = store.addType(record.typeName);
                if (!added)
                    return abandon(added.error());
                types->insert(record.typeName, *added);
                ++outcome.typesCreated;
            }
            typeKey = QString::number(types->value(record.typeName));
        }
        QStringList fields(record.fields.begin(), record.fields.end());
        fields[ContactTypeID] = typeKey;
        const qint64 duplicate = policy == DuplicatePolicy::AddNew ? 0 : finder->match(record);
        if (duplicate == 0) {
            if (Status stored = store.insertContact(fields); !stored)
                return abandon(stored.error());
            ++outcome.added;
        } else if (policy == DuplicatePolicy::Skip) {
            ++outcome.skipped;
        } else {
            const QStringList *existing = finder->stored(duplicate);
            QList<QPair<int, QString>> fill;
            for (int field = FirstName; field < FieldCount; ++field)
                if (existing && existing->value(field).isEmpty() && !fields[field].isEmpty())
                    fill.append({field, fields[field]});
            if (Status updated = store.updateContact(duplicate, fill); !updated)
                return abandon(updated.error());
            ++outcome.filled;
        }
    }
    if (Status committed = connection.commit(); !committed)
        return abandon(committed.error());
    return outcome;
}

} // namespace exchange
