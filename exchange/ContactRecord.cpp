#include "ContactRecord.h"

#include "store/ContactFields.h"

#include <QDate>
#include <QDateTime>

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

QString isoBirthdate(const QString &text)
{
    const QString value = text.trimmed();
    for (const char *format : {"yyyy-MM-dd", "yyyyMMdd"}) {
        const QDate date = QDate::fromString(value, QLatin1String(format));
        if (date.isValid())
            return date.toString(Qt::ISODate);
    }
    QString stamp = value;
    if (stamp.endsWith(QLatin1Char('Z')))
        stamp.chop(1);
    for (const char *format : {"yyyy-MM-ddTHH:mm:ss", "yyyyMMddTHHmmss"}) {
        const QDateTime moment = QDateTime::fromString(stamp, QLatin1String(format));
        if (moment.isValid())
            return moment.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    }
    return QString();
}

} // namespace exchange
