#include "ContactRecord.h"

#include "base/ContactFields.h"

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

QString displayName(const ContactRecord &record)
{
    const QString name = (record[FirstName].trimmed() + QLatin1Char(' ') + record[LastName].trimmed()).trimmed();
    if (!name.isEmpty())
        return name;
    if (!record[CompanyName].trimmed().isEmpty())
        return record[CompanyName].trimmed();
    return record[EmailName].trimmed();
}

namespace {
const char *const kCaptions[FieldCount] = {
    "Contact ID", "First Name", "Last Name", "Salutation", "Address", "City", "State", "Post Code", "Region",
    "Country", "Company", "Job Title", "E-mail Address", "Business Phone", "Work Extension", "Home Phone",
    "Mobile Phone", "Fax Number", "Notes", "Contact Type", "Referred By", "Marital Status", "Hometown",
    "Spouse Name", "Birthdate", "Contact's Interests", "Spouse's Interests", "Children Names",
};

QString simplified(const QString &text)
{
    QString key;
    for (const QChar c : text)
        if (c.isLetterOrNumber())
            key += c.toCaseFolded();
    return key;
}
} // namespace

QString fieldCaption(int field)
{
    return field >= 0 && field < FieldCount ? QString::fromLatin1(kCaptions[field]) : QString();
}

int fieldOfCaption(const QString &text)
{
    const QString wanted = simplified(text);
    if (wanted.isEmpty())
        return -1;
    for (int field = FirstName; field < FieldCount; ++field)
        if (simplified(QString::fromLatin1(kCaptions[field])) == wanted || simplified(fieldNames()[field]) == wanted)
            return field;
    if (wanted == QLatin1String("contacttype") || wanted == QLatin1String("type"))
        return ContactTypeID;
    return -1;
}

QString isoBirthdate(const QString &text)
{
    const QString value = text.trimmed();
    // The usual form, read without the general date parser.
    if (value.size() == 10 && value[4] == QLatin1Char('-') && value[7] == QLatin1Char('-')) {
        bool digits = true;
        for (const qsizetype i : {0, 1, 2, 3, 5, 6, 8, 9})
            digits = digits && value[i] >= QLatin1Char('0') && value[i] <= QLatin1Char('9');
        if (digits) {
            const QDate date(QStringView(value).left(4).toInt(), QStringView(value).mid(5, 2).toInt(),
                             QStringView(value).right(2).toInt());
            if (date.isValid())
                return date.toString(Qt::ISODate);
        }
    }
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
