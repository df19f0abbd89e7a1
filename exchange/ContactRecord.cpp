#include "ContactRecord.h"

#include "store/ContactFields.h"

namespace exchange {

const QStringList &fieldNames()
{
    return contactFieldNames();
}

void appendNoteLine(ContactRecord &record, const QString &label, const QString &value)
{
    QString &notes = record[Notes];
    if (!notes.isEmpty())
        notes += QLatin1Char('\n');
    notes += label + QStringLiteral(": ") + value;
}

} // namespace exchange
