#include "ContactImport.h"

#include "store/Connection.h"
#include "store/ExchangeStore.h"
#include "store/UidStore.h"

#include "frame/Clock.h"

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

// The record's texts as the store takes them: Null for nothing, '' only
// where the file said so.
QStringList storableFields(const ContactRecord &record)
{
    QStringList fields;
    fields.reserve(FieldCount);
    for (int field = 0; field < FieldCount; ++field) {
        const QString &value = record[field];
        if (!value.isEmpty())
            fields << value;
        else if (record.holdsEmptyText(field) && field != ContactTypeID)
            fields << QString(QLatin1String(""));
        else
            fields << QString();
    }
    return fields;
}

template <typename Fields>
QStringList nameAndPhoneKeys(const Fields &fields)
{
    QStringList keys;
    const QString first = fields[FirstName].trimmed().toCaseFolded();
    const QString last = fields[LastName].trimmed().toCaseFolded();
    if (first.isEmpty() && last.isEmpty())
        return keys;
    for (const int phone : {WorkPhone, HomePhone, MobilePhone, FaxNumber}) {
        const QString number = digits(fields[phone]);
        if (!number.isEmpty())
            keys << first + QChar(0x1F) + last + QChar(0x1F) + number;
    }
    return keys;
}
} // namespace

void DuplicateFinder::add(qint64 contactId, const QStringList &row, const QString &uid)
{
    if (!uid.isEmpty() && !m_byUid.contains(uid))
        m_byUid.insert(uid, contactId);
    const QString email = row.value(EmailName).trimmed().toCaseFolded();
    if (!email.isEmpty() && !m_byEmail.contains(email))
        m_byEmail.insert(email, contactId);
    for (const QString &key : nameAndPhoneKeys(row))
        if (!m_byNameAndPhone.contains(key))
            m_byNameAndPhone.insert(key, contactId);
    ++m_stored;
}

Result<DuplicateFinder> DuplicateFinder::load(Connection &connection)
{
    ExchangeStore store(connection);
    DuplicateFinder finder;
    const Status read = store.forEachContact([&](const QStringList &row) {
        finder.add(row.value(ContactID).toLongLong(), row, row.value(ExchangeStore::kUidPosition));
        return true;
    });
    if (!read)
        return read.error();
    return finder;
}

qint64 DuplicateFinder::match(const ContactRecord &record) const
{
    if (!record.uid.isEmpty()) {
        if (auto found = m_byUid.constFind(record.uid.trimmed()); found != m_byUid.cend())
            return found.value();
    }
    if (m_byEmail.isEmpty() && m_byNameAndPhone.isEmpty())
        return 0;
    const QString email = record[EmailName].trimmed().toCaseFolded();
    if (!email.isEmpty()) {
        if (auto found = m_byEmail.constFind(email); found != m_byEmail.cend())
            return found.value();
    }
    if (m_byNameAndPhone.isEmpty())
        return 0;
    for (const QString &key : nameAndPhoneKeys(record))
        if (auto found = m_byNameAndPhone.constFind(key); found != m_byNameAndPhone.cend())
            return found.value();
    return 0;
}

Result<ImportOutcome> importContacts(Connection &connection, const RecordSource &next, DuplicatePolicy policy,
                                     const std::function<bool(int)> &progress, qint64 expected)
{
    ImportOutcome outcome;
    Result<DuplicateFinder> finder = DuplicateFinder::load(connection);
    if (!finder)
        return finder.error();
    ExchangeStore store(connection);
    (void)store.useImportCache(); // only speed depends on it
    // Every early return below rolls the whole import back.
    Result<Connection::Transaction> transaction = connection.begin();
    if (!transaction)
        return transaction.error();
    Result<QHash<QString, qint64>> types = store.typeKeys();
    if (!types)
        return types.error();
    QStringList indexes;
    if (expected >= kIndexRebuildRecords && expected >= finder->storedCount()) {
        Result<QStringList> dropped = store.dropContactIndexes();
        if (!dropped)
            return dropped.error();
        indexes = *dropped;
    }
    auto typeKey = [&](const QString &caption) -> Result<QString> {
        if (caption.isEmpty())
            return QString();
        if (!types->contains(caption)) {
            Result<qint64> added = store.addType(caption);
            if (!added)
                return added.error();
            types->insert(caption, *added);
            ++outcome.typesCreated;
        }
        return QString::number(types->value(caption));
    };
    UidStore uids(connection);
    const QString importedOn = QStringLiteral("Imported %1").arg(Clock::now().date().toString(Qt::ISODate));
    ContactRecord record;
    QStringList fields;
    for (int done = 0;; ++done) {
        if (progress && !progress(done)) {
            if (Status undone = transaction->rollback(); !undone)
                return undone.error();
            outcome = ImportOutcome{};
            outcome.cancelled = true;
            return outcome;
        }
        const Result<bool> more = next(record);
        if (!more)
            return more.error();
        if (!*more)
            break;
        const qint64 duplicate = policy == DuplicatePolicy::AddNew ? 0 : finder->match(record);
        if (duplicate != 0 && policy == DuplicatePolicy::Skip) {
            ++outcome.skipped;
            continue;
        }
        fields = storableFields(record);
        if (duplicate == 0) {
            Result<QString> type = typeKey(record.typeName);
            if (!type)
                return type.error();
            fields[ContactTypeID] = *type;
            if (Status stored = store.insertContact(fields); !stored)
                return stored.error();
            Result<qint64> key = store.lastInsertedKey();
            if (!key)
                return key.error();
            // A UID another contact holds already stays with that one.
            const QString uid = record.uid.trimmed();
            bool uidKept = false;
            if (!uid.isEmpty()) {
                Result<std::optional<qint64>> holder = uids.contactOfUid(uid);
                if (!holder)
                    return holder.error();
                if (!holder->has_value()) {
                    if (Status given = uids.setUid(*key, uid); !given)
                        return given.error();
                    uidKept = true;
                }
            }
            // Later records of the same file find this one as a duplicate.
            fields[ContactID] = QString::number(*key);
            finder->add(*key, fields, uidKept ? uid : QString());
            ++outcome.added;
            continue;
        }
        // Fill the empty fields of the stored contact as it is now: an
        // earlier record of the file may have filled some of them already.
        // Values that differ from stored ones are kept as dated Notes lines.
        Result<QStringList> existing = store.contact(duplicate);
        if (!existing)
            return existing.error();
        QList<QPair<int, QString>> fill;
        QStringList keptLines;
        for (int field = FirstName; field < FieldCount; ++field) {
            if (field == ContactTypeID) {
                if (record.typeName.isEmpty())
                    continue;
                Result<QString> type = typeKey(record.typeName);
                if (!type)
                    return type.error();
                if (existing->value(field).isEmpty())
                    fill.append({field, *type});
                else if (existing->value(field) != *type)
                    keptLines << importedOn + QStringLiteral(": ") + fieldCaption(field) + QStringLiteral(": ") + record.typeName;
                continue;
            }
            const QString &incoming = fields[field];
            if (incoming.isEmpty())
                continue;
            const QString stored = existing->value(field);
            if (stored.isEmpty()) {
                fill.append({field, incoming});
            } else if (stored != incoming && !(field == Notes && stored.contains(incoming))
                       && !(field == EmailName && stored.compare(incoming, Qt::CaseInsensitive) == 0)) {
                QString value = incoming;
                value.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
                keptLines << importedOn + QStringLiteral(": ") + fieldCaption(field) + QStringLiteral(": ")
                                 + value.replace(QLatin1Char('\n'), QStringLiteral(" / "));
            }
        }
        if (!keptLines.isEmpty()) {
            QString notes = existing->value(Notes);
            for (auto &pair : fill)
                if (pair.first == Notes)
                    notes = pair.second;
            fill.removeIf([](const QPair<int, QString> &pair) { return pair.first == Notes; });
            fill.append({Notes, notes.isEmpty() ? keptLines.join(QLatin1Char('\n'))
                                                : notes + QLatin1Char('\n') + keptLines.join(QLatin1Char('\n'))});
            outcome.valuesKeptInNotes += int(keptLines.size());
        }
        if (fill.isEmpty()) {
            ++outcome.skipped;
            continue;
        }
        if (Status updated = store.updateContact(duplicate, fill); !updated)
            return updated.error();
        if (!record.uid.trimmed().isEmpty()) {
            Result<std::optional<QString>> had = uids.storedUidOf(duplicate);
            if (!had)
                return had.error();
            Result<std::optional<qint64>> holder = uids.contactOfUid(record.uid);
            if (!holder)
                return holder.error();
            if (!had->has_value() && !holder->has_value())
                if (Status given = uids.setUid(duplicate, record.uid); !given)
                    return given.error();
        }
        ++outcome.filled;
    }
    if (Status built = store.createIndexes(indexes); !built)
        return built.error();
    if (Status committed = transaction->commit(); !committed)
        return committed.error();
    return outcome;
}

Result<ImportOutcome> importContacts(Connection &connection, const QList<ContactRecord> &records, DuplicatePolicy policy,
                                     const std::function<bool(int, int)> &progress)
{
    qsizetype index = 0;
    const int total = int(records.size());
    return importContacts(
        connection,
        [&](ContactRecord &record) -> Result<bool> {
            if (index >= records.size())
                return false;
            record = records[index++];
            return true;
        },
        policy, progress ? std::function<bool(int)>([&](int done) { return done >= total || progress(done, total); })
                         : std::function<bool(int)>());
}

} // namespace exchange
