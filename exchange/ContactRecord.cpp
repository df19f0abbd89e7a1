#include "ContactRecord.h"

namespace exchange {

const QStringList &fieldNames()
{
    static const QStringList names{
        QStringLiteral("ContactID"),     QStringLiteral("FirstName"),         QStringLiteral("LastName"),
        QStringLiteral("Dear"),          QStringLiteral("Address"),           QStringLiteral("City"),
        QStringLiteral("StateOrProvince"), QStringLiteral("PostalCode"),      QStringLiteral("Region"),
        QStringLiteral("Country"),       QStringLiteral("CompanyName"),       QStringLiteral("Title"),
        QStringLiteral("EmailName"),     QStringLiteral("WorkPhone"),         QStringLiteral("WorkExtension"),
        QStringLiteral("HomePhone"),     QStringLiteral("MobilePhone"),       QStringLiteral("FaxNumber"),
        QStringLiteral("Notes"),         QStringLiteral("ContactTypeID"),     QStringLiteral("ReferredBy"),
        QStringLiteral("MaritalStatus"), QStringLiteral("Hometown"),          QStringLiteral("SpouseName"),
        QStringLiteral("Birthdate"),     QStringLiteral("ContactsInterests"), QStringLiteral("SpousesInterests"),
        QStringLiteral("ChildrenNames")};
    return names;
}

void appendNoteLine(ContactRecord &record, const QString &label, const QString &value)
{
    QString &notes = record[Notes];
    if (!notes.isEmpty())
        notes += QLatin1Char('\n');
    notes += label + QStringLiteral(": ") + value;
}

} // namespace exchange
