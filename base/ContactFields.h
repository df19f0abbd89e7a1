#pragma once

#include <QStringList>

// The fields of the Contacts table in their stored order (position 0 is the
// key). This list is their one definition: the positions below, the names
// of contactFieldNames() and the import and export's exchange::Field all
// come from it.
#define CORVANTA_CONTACT_FIELDS(X)                                                                                    \
    X(ContactID) X(FirstName) X(LastName) X(Dear) X(Address) X(City) X(StateOrProvince) X(PostalCode) X(Region)       \
    X(Country) X(CompanyName) X(Title) X(EmailName) X(WorkPhone) X(WorkExtension) X(HomePhone) X(MobilePhone)         \
    X(FaxNumber) X(Notes) X(ContactTypeID) X(ReferredBy) X(MaritalStatus) X(Hometown) X(SpouseName) X(Birthdate)      \
    X(ContactsInterests) X(SpousesInterests) X(ChildrenNames)

namespace ContactField {
#define CORVANTA_CONTACT_FIELD_POSITION(name) name,
enum Id : int { CORVANTA_CONTACT_FIELDS(CORVANTA_CONTACT_FIELD_POSITION) Count };
#undef CORVANTA_CONTACT_FIELD_POSITION

// Files and the database's schema depend on these positions.
static_assert(Count == 28, "the Contacts table has 28 fields");
static_assert(ContactTypeID == 19, "ContactTypeID is the 20th field");
} // namespace ContactField

// Field names by position.
const QStringList &contactFieldNames();
