#pragma once

#include "base/ContactFields.h"

#include <QString>
#include <QStringList>

#include <array>

namespace exchange {

// Field positions of the Contacts table (position 0 is the key): the
// store's own definition.
using Field = ContactField::Id;
using enum ContactField::Id;
inline constexpr int FieldCount = ContactField::Count;

const QStringList &fieldNames();

// One contact as it travels in and out of files: the text of every field,
// with the contact type by its caption instead of its key. Empty text stands
// for a missing value.
struct ContactRecord {
    std::array<QString, FieldCount> fields;
    QString typeName;
    // The card's lasting identity (vCard UID), empty when it has none.
    QString uid;
    // Fields that hold empty text rather than nothing (one bit per field);
    // the files of this program say so, so that '' and Null come back apart.
    quint32 emptyTexts = 0;
    // Why the contact was read only in part (a card cut short), or empty.
    QString damage;

    bool holdsEmptyText(int field) const { return (emptyTexts >> field) & 1U; }
    void markEmptyText(int field) { emptyTexts |= 1U << field; }

    QString &operator[](int field) { return fields[field]; }
    const QString &operator[](int field) const { return fields[field]; }
};

// Appends a labelled line ("Web page: http://...") to the contact's Notes.
void appendNoteLine(ContactRecord &record, const QString &label, const QString &value);

// What names the contact for a reader: first and last name, else the
// company, else the e-mail address.
QString displayName(const ContactRecord &record);

// The caption the main window shows for a field ("Business Phone"), without
// the colon; the contact type is "Contact Type".
QString fieldCaption(int field);
// The field of a caption or of a field name, case and blanks aside; -1 when
// neither.
int fieldOfCaption(const QString &text);

// A date or date and time in one of the ISO 8601 forms of vCard, as the
// database keeps it ("1980-01-31", "1980-01-31T14:30:00"), or empty.
QString isoBirthdate(const QString &text);

} // namespace exchange
