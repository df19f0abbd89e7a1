#pragma once

#include "exchange/ContactRecord.h"
#include "exchange/VCardLibrary.h"

#include "base/Result.h"

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

// A card as its content lines (unfolded, without BEGIN and END), each with
// the property the vCard library reads from it. Lines of properties the
// program does not own travel back exactly as they came.
struct ParsedCard {
    QString version;                             // "3.0", "4.0" ...
    QStringList lines;
    QList<exchange::VCardProperty> properties;   // one per line; an empty name when unreadable
};

Result<ParsedCard> parseCard(const QByteArray &bytes);
QString uidOf(const ParsedCard &card);

// The contact the card's owned properties make.
FieldTexts fieldsFromCard(const ParsedCard &card);
// The card to send: `base` (the server's card as last synced, or an empty
// card for a new one) with the owned properties set from `fields`, and the
// UID set. New cards and vCard 3.0 cards are written as 3.0; a card another
// client wrote as 4.0 keeps its version, so that its other properties stay
// valid as they are.
QByteArray cardToSend(const ParsedCard &base, const FieldTexts &fields, const QString &uid);

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
