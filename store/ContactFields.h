#pragma once

#include <QStringList>

// Field names of the Contacts table, in their stored order (position 0 is the key).
namespace ContactField {
enum : int {
    ContactID, FirstName, LastName, Dear, Address, City, StateOrProvince, PostalCode, Region,
    Country, CompanyName, Title, EmailName, WorkPhone, WorkExtension, HomePhone, MobilePhone,
    FaxNumber, Notes, ContactTypeID, ReferredBy, MaritalStatus, Hometown, SpouseName, Birthdate,
    ContactsInterests, SpousesInterests, ChildrenNames,
    Count
};
}

const QStringList &contactFieldNames();
