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

    QString &operator[](int field) { return fields[field]; }
    const QString &operator[](int field) const { return fields[field]; }
};

// Appends a labelled line ("Web page: http://...") to the contact's Notes.
void appendNoteLine(ContactRecord &record, const QString &label, const QString &value);

// A date or date and time in one of the ISO 8601 forms of vCard, as the
// database keeps it ("1980-01-31", "1980-01-31T14:30:00"), or empty.
QString isoBirthdate(const QString &text);

} // namespace exchange
