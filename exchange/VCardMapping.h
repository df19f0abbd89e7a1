#pragma once

#include "ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace exchange {

struct VCardImport {
    QList<ContactRecord> contacts;
    // Properties that cannot be kept as text ("PHOTO of Ann Lee").
    QStringList notKept;
};

// Bytes of a .vcf file to text: UTF-8 (with or without BOM), UTF-16 with a
// BOM, otherwise Windows-1252.
QString decodeText(const QByteArray &bytes);

QByteArray writeVCard(const ContactRecord &record);
VCardImport readVCards(const QByteArray &fileBytes);

} // namespace exchange
