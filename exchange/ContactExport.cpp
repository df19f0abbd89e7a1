#include "ContactExport.h"

#include "CsvFormat.h"
#include "VCardMapping.h"

#include "store/ExchangeStore.h"
#include "store/UidStore.h"

#include <QSaveFile>
#include <QUuid>

namespace exchange {

namespace {
Result<QHash<qint64, QString>> typeCaptions(ExchangeStore &store)
{
    Result<QHash<QString, qint64>> types = store.typeKeys();
    if (!types)
        return types.error();
    QHash<qint64, QString> captions;
    for (auto it = types->cbegin(); it != types->cend(); ++it)
        captions.insert(it.value(), it.key());
    return captions;
}

void toRecord(const QStringList &row, const QHash<qint64, QString> &captions, ContactRecord &record)
{
    record.emptyTexts = 0;
    for (int field = 0; field < FieldCount; ++field) {
        record[field] = row.value(field);
        if (record[field].isEmpty() && !record[field].isNull() && field != ContactTypeID)
            record.markEmptyText(field);
    }
    record.uid = row.value(ExchangeStore::kUidPosition);
    if (record.uid.isEmpty()) {
        // A database that cannot be written (opened read-only) cannot keep a
        // new UID: the card gets one derived from the contact's key, the same
        // at every such export, so that other programs can still tell the
        // cards apart.
        static const QUuid unstoredUids(QStringLiteral("{6f6c1a52-8a3f-4c55-9a7e-2b1c0d4e5f60}"));
        record.uid = QUuid::createUuidV5(unstoredUids, row.value(ContactID)).toString(QUuid::WithoutBraces);
    }
    record.typeName = record[ContactTypeID].isEmpty() ? QString() : captions.value(record[ContactTypeID].toLongLong());
}

// Every contact written out carries its UID: those without one get it now.
// A database that cannot be written keeps none; its cards get derived ones
// (see toRecord).
Status giveUids(Connection &connection, qint64 onlyContactId)
{
    UidStore uids(connection);
    Status given = onlyContactId == 0 ? uids.giveUidsToAll() : Status();
    if (onlyContactId != 0) {
        if (Result<QString> uid = uids.uidOf(onlyContactId); !uid)
            given = uid.error();
    }
    const bool readOnly = !given && (given.error().code == 8 /* SQLITE_READONLY */
                                     || given.error().description.contains(QLatin1String("readonly")));
    return readOnly ? Status() : given;
}
} // namespace

Result<QList<ContactRecord>> storedContacts(Connection &connection, qint64 onlyContactId)
{
    if (Status given = giveUids(connection, onlyContactId); !given)
        return given.error();
    ExchangeStore store(connection);
    Result<QHash<qint64, QString>> captions = typeCaptions(store);
    if (!captions)
        return captions.error();
    QList<ContactRecord> records;
    ContactRecord record;
    const Status read = store.forEachContact(
        [&](const QStringList &row) {
            toRecord(row, *captions, record);
            records << record;
            return true;
        },
        onlyContactId);
    if (!read)
        return read.error();
    return records;
}

QByteArray formatContacts(const QList<ContactRecord> &records, FileFormat format)
{
    QByteArray out;
    if (format == FileFormat::Csv)
        out += csvLine(csvHeader());
    for (const ContactRecord &record : records)
        out += format == FileFormat::Csv ? csvLine(record) : writeVCard(record);
    return out;
}

Result<int> exportContacts(Connection &connection, const QString &path, FileFormat format, qint64 onlyContactId)
{
    // A single contact that is gone is reported below as such.
    if (Status given = giveUids(connection, onlyContactId); !given && onlyContactId == 0)
        return given.error();
    ExchangeStore store(connection);
    Result<QHash<qint64, QString>> captions = typeCaptions(store);
    if (!captions)
        return captions.error();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    if (format == FileFormat::Csv)
        file.write(csvLine(csvHeader()));
    int count = 0;
    ContactRecord record;
    const Status read = store.forEachContact(
        [&](const QStringList &row) {
            toRecord(row, *captions, record);
            file.write(format == FileFormat::Csv ? csvLine(record) : writeVCard(record));
            ++count;
            return file.error() == QFileDevice::NoError;
        },
        onlyContactId);
    if (!read) {
        file.cancelWriting();
        return read.error();
    }
    if (onlyContactId != 0 && count == 0) {
        file.cancelWriting();
        return failure(QStringLiteral("The contact is not there any more."));
    }
    if (!file.commit())
        return failure(file.errorString());
    return count;
}

FileFormat detectFormat(const QByteArray &fileBytes)
{
    // The start may cut a character in two; that does not change the first word.
    const QString start = decodeText(fileBytes.left(4096)).trimmed();
    return start.startsWith(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) ? FileFormat::VCard : FileFormat::Csv;
}

} // namespace exchange
