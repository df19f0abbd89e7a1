#pragma once

#include "ContactRecord.h"

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>

class Connection;

namespace exchange {

enum class FileFormat { VCard, Csv };

// Every stored contact (or the one given by its key, when not 0) as records.
Result<QList<ContactRecord>> storedContacts(Connection &connection, qint64 onlyContactId = 0);
QByteArray formatContacts(const QList<ContactRecord> &records, FileFormat format);
// Writes the file whole or not at all; gives the number of contacts.
Result<int> exportContacts(Connection &connection, const QString &path, FileFormat format, qint64 onlyContactId = 0);

// The format of an import file from its content: a file that starts with
// BEGIN:VCARD (after blanks and a byte-order mark) is vCard.
FileFormat detectFormat(const QByteArray &fileBytes);

} // namespace exchange
