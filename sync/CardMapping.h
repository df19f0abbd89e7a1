#pragma once

#include "exchange/ContactRecord.h"
#include "exchange/VCardLibrary.h"

#include "frame/Result.h"

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>

// How a contact and a card on the server correspond. The program owns a
// fixed set of properties of a card (the ones the vCard export writes: the
// name, the first e-mail, one telephone of each kind, the first address,
// and so on); everything else on the card belongs to other clients and is
// carried along untouched.
namespace carddav {

// A contact's fields as sync compares them: the text of every Contacts
// field by position, with the contact type's caption at ContactTypeID and
// nothing at the key's position.
using FieldTexts = QStringList;

Result<exchange::VCard> parseCard(const QByteArray &bytes);
QString uidOf(const exchange::VCard &card);

// The contact the card's owned properties make.
FieldTexts fieldsFromCard(const exchange::VCard &card);
// The card to send: `base` (the server's card as last synced, or an empty
// card for a new one) with the owned properties set from `fields`, and the
// UID set. Written as vCard 3.0.
QByteArray cardToSend(const exchange::VCard &base, const FieldTexts &fields, const QString &uid);

struct MergeResult {
    FieldTexts fields;
    int conflicts = 0;
};
// Three-way merge per field: what changed on one side only is taken; when
// both sides changed a field to different values, the local value stays and
// the server's value is kept in a dated line of Notes ("Sync 2026-12-08,
// server had Job Title: Director"). Without a base (a first match), a field
// empty on one side takes the other's value.
MergeResult mergeFields(const FieldTexts &local, const FieldTexts &server, const FieldTexts *base, const QDate &today);

// Contact field caption as the dated Notes line names it ("Job Title").
QString fieldCaption(int field);

} // namespace carddav
