#include "ContactFields.h"

const QStringList &contactFieldNames()
{
    static const QStringList names = {
        QStringLiteral("ContactID"),       QStringLiteral("FirstName"),     QStringLiteral("LastName"),
        QStringLiteral("Dear"),            QStringLiteral("Address"),       QStringLiteral("City"),
        QStringLiteral("StateOrProvince"), QStringLiteral("PostalCode"),    QStringLiteral("Region"),
        QStringLiteral("Country"),         QStringLiteral("CompanyName"),   QStringLiteral("Title"),
        QStringLiteral("EmailName"),       QStringLiteral("WorkPhone"),     QStringLiteral("WorkExtension"),
        QStringLiteral("HomePhone"),       QStringLiteral("MobilePhone"),   QStringLiteral("FaxNumber"),
        QStringLiteral("Notes"),           QStringLiteral("ContactTypeID"), QStringLiteral("ReferredBy"),
        QStringLiteral("MaritalStatus"),   QStringLiteral("Hometown"),      QStringLiteral("SpouseName"),
        QStringLiteral("Birthdate"),       QStringLiteral("ContactsInterests"),
        QStringLiteral("SpousesInterests"), QStringLiteral("ChildrenNames"),
    };
    return names;
}
