#include "CsvFormat.h"


#include <QDate>
#include <QHash>
#include <QRegularExpression>

namespace exchange {

QChar detectDelimiter(const QString &text)
{
    int counts[3] = {0, 0, 0};
    const QChar candidates[3] = {QLatin1Char(','), QLatin1Char(';'), QLatin1Char('\t')};
    bool quoted = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && (c == QLatin1Char('\n') || c == QLatin1Char('\r')))
            break;
        else if (!quoted)
            for (int i = 0; i < 3; ++i)
                counts[i] += c == candidates[i];
    }
    int best = 0;
    for (int i = 1; i < 3; ++i)
        if (counts[i] > counts[best])
            best = i;
    return candidates[best];
}

namespace {

QString key(const QString &header)
{
    QString simple;
    for (const QChar c : header)
        if (c.isLetterOrNumber())
            simple += c.toLower();
    return simple;
}

} // namespace

int fieldForHeader(const QString &header)
{
    static const QHash<QString, int> known = [] {
        QHash<QString, int> map;
        for (int field = FirstName; field < FieldCount; ++field)
            map.insert(key(fieldNames()[field]), field);
        map.insert(QStringLiteral("contacttype"), ContactTypeID);
        const QList<QPair<const char *, int>> others{
            // Outlook
            {"First Name", FirstName}, {"Last Name", LastName}, {"Company", CompanyName}, {"Job Title", Title},
            {"Business Street", Address}, {"Business City", City}, {"Business State", StateOrProvince},
            {"Business Postal Code", PostalCode}, {"Business Country/Region", Country},
            {"E-mail Address", EmailName}, {"Business Phone", WorkPhone}, {"Home Phone", HomePhone},
            {"Mobile Phone", MobilePhone}, {"Business Fax", FaxNumber}, {"Notes", Notes}, {"Birthday", Birthdate},
            {"Spouse", SpouseName}, {"Children", ChildrenNames}, {"Referred By", ReferredBy}, {"Hobby", ContactsInterests},
            {"Categories", ContactTypeID},
            // Thunderbird
            {"Primary Email", EmailName}, {"Work Phone", WorkPhone}, {"Fax Number", FaxNumber},
            {"Mobile Number", MobilePhone}, {"Pager Number", NoteLineColumn}, {"Work Address", Address},
            {"Work City", City}, {"Work State", StateOrProvince}, {"Work ZipCode", PostalCode},
            {"Work Country", Country}, {"Organization", CompanyName},
            // Google Contacts
            {"Given Name", FirstName}, {"Family Name", LastName}, {"Organization Name", CompanyName},
            {"Organization Title", Title}, {"Organization 1 - Name", CompanyName},
            {"Organization 1 - Title", Title}, {"E-mail 1 - Value", EmailName}, {"Phone 1 - Value", WorkPhone},
            {"Address 1 - Street", Address}, {"Address 1 - City", City}, {"Address 1 - Region", StateOrProvince},
            {"Address 1 - Postal Code", PostalCode}, {"Address 1 - Country", Country}, {"Labels", ContactTypeID},
            {"Group Membership", ContactTypeID},
        };
        // This program's own names win ("Title" is the job title, not Outlook's "Mr.").
        for (const auto &[name, field] : others)
            if (!map.contains(key(QString::fromLatin1(name))))
                map.insert(key(QString::fromLatin1(name)), field);
        return map;
    }();
    return known.value(key(header), NoteLineColumn);
}

QList<int> automaticMapping(const QStringList &headers)
{
    QList<int> mapping;
    QList<int> taken;
    for (const QString &header : headers) {
        int field = header.trimmed().isEmpty() ? IgnoreColumn : fieldForHeader(header);
        if (field >= 0 && taken.contains(field))
            field = NoteLineColumn;
        if (field >= 0)
            taken << field;
        mapping << field;
    }
    return mapping;
}

QString csvBirthdate(const QString &text)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return QString();
    const QString iso = isoBirthdate(value);
    if (!iso.isEmpty())
        return text == iso ? text : iso;
    // Spreadsheets write the dates of their locale: 31.01.1980, 1/31/1980 or 31/01/1980.
    const QStringList parts = value.split(QRegularExpression(QStringLiteral("[./-]")));
    if (parts.size() != 3)
        return QString();
    bool okA = false, okB = false, okC = false;
    const int a = parts[0].toInt(&okA), b = parts[1].toInt(&okB), c = parts[2].toInt(&okC);
    if (!okA || !okB || !okC || parts[2].size() != 4)
        return QString();
    const bool dayFirst = value.contains(QLatin1Char('.')) || a > 12;
    const QDate date = dayFirst ? QDate(c, b, a) : QDate(c, a, b);
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

ContactRecord recordFromCsvRow(const QStringList &headers, const QStringList &row, const QList<int> &mapping)
{
    ContactRecord record;
    for (qsizetype c = 0; c < row.size(); ++c) {
        int target = mapping.value(c, NoteLineColumn);
        if (row[c].isEmpty() || target == IgnoreColumn)
            continue;
        QString value = row[c];
        if (target == Birthdate) {
            value = csvBirthdate(row[c]);
            if (value.isEmpty()) {
                value = row[c];
                target = NoteLineColumn;
            }
        }
        if (target == NoteLineColumn)
            appendNoteLine(record, headers.value(c).isEmpty() ? QStringLiteral("Column %1").arg(c + 1) : headers.value(c), value);
        else if (target == ContactTypeID)
            record.typeName = value;
        else if (target == Notes && !record[Notes].isEmpty())
            record[Notes] = value + QLatin1Char('\n') + record[Notes];
        else if (!record[target].isEmpty())
            appendNoteLine(record, headers.value(c), value);
        else
            record[target] = value;
    }
    return record;
}

QList<ContactRecord> recordsFromCsv(const CsvTable &table, const QList<int> &mapping)
{
    QList<ContactRecord> records;
    const QStringList headers = table.rows.value(0);
    for (qsizetype r = 1; r < table.rows.size(); ++r)
        records << recordFromCsvRow(headers, table.rows[r], mapping);
    return records;
}

QStringList csvHeader()
{
    QStringList header = fieldNames().mid(FirstName);
    header[ContactTypeID - FirstName] = QStringLiteral("ContactType");
    return header;
}

QByteArray csvLine(const QStringList &values)
{
    QStringList quoted;
    for (const QString &value : values) {
        if (value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"')) || value.contains(QLatin1Char('\n'))
            || value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('\t'))
            || value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' ')))
            quoted << QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        else
            quoted << value;
    }
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray csvLine(const ContactRecord &record)
{
    QStringList values;
    for (int field = FirstName; field < FieldCount; ++field)
        values << (field == ContactTypeID ? record.typeName : record[field]);
    return csvLine(values);
}

} // namespace exchange
