#pragma once

#include "ContactRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace exchange {

struct VCard;

struct VCardImport {
    QList<ContactRecord> contacts;
    // Properties that cannot be kept as text ("PHOTO of Ann Lee").
    QStringList notKept;
};

// Bytes of a whole file to text: UTF-8 (with or without BOM), UTF-16 with a
// BOM, otherwise Windows-1252.
QString decodeText(const QByteArray &bytes);

QByteArray writeVCard(const ContactRecord &record);
// One card as a contact; what cannot be kept as text is added to notKept.
ContactRecord recordFromVCard(const VCard &card, QStringList &notKept);
// Every card of a file held in memory (see ContactFileReader for files).
VCardImport readVCards(const QByteArray &fileBytes);

} // namespace exchange
