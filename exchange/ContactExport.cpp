#include "ContactExport.h"

#include "CsvFormat.h"
#include "VCardMapping.h"

#include "store/ExchangeStore.h"

#include <QSaveFile>

namespace exchange {

Result<QList<ContactRecord>> storedContacts(Connection &connection, qint64 onlyContactId)
{
    ExchangeStore store(connection);
    Result<QHash<QString, qint64>> types = store.typeKeys();
    if (!types)
        return types.error();
    QHash<qint64, QString> captions;
    for (auto it = types->cbegin(); it != types->cend(); ++it)
        captions.insert(it.value(), it.key());
    Result<QList<QStringList>> rows = store.contacts();
    if (!rows)
        return rows.error();
    QList<ContactRecord> records;
    for (const QStringList &row : *rows) {
        if (onlyContactId != 0 && row.value(ContactID).toLongLong() != onlyContactId)
            continue;
        ContactRecord record;
        for (int field = 0; field < FieldCount; ++field)
            record[field] = row.value(field);
        if (!record[ContactTypeID].isEmpty())
            record.typeName = captions.value(record[ContactTypeID].toLongLong());
        records << record;
    }
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
    Result<QList<ContactRecord>> records = storedContacts(connection, onlyContactId);
    if (!records)
        return records.error();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failure(file.errorString());
    file.write(formatContacts(*records, format));
    if (!file.commit())
        return failure(file.errorString());
    return int(records->size());
}

FileFormat detectFormat(const QByteArray &fileBytes)
{
    const QString start = decodeText(fileBytes.left(4096)).trimmed();
    return start.startsWith(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) ? FileFormat::VCard : FileFormat::Csv;
}

} // namespace exchange
