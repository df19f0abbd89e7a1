#include "CsvFormat.h"

#include "VCardMapping.h"

#include <QHash>

namespace exchange {

namespace {

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

QString key(const QString &header)
{
    QString simple;
    for (const QChar c : header)
        if (c.isLetterOrNumber())
            simple += c.toLower();
    return simple;
}

} // namespace

CsvTable readCsv(const QByteArray &fileBytes)
{
    const QString text = decodeText(fileBytes);
    CsvTable table;
    table.delimiter = detectDelimiter(text);
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"')) {
                if (i + 1 < size && text[i + 1] == QLatin1Char('"')) {
                    field += c;
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.isEmpty()) {
            quoted = true;
            any = true;
        } else if (c == table.delimiter) {
            row << field;
            field.clear();
            any = true;
        } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            if (c == QLatin1Char('\r') && i + 1 < size && text[i + 1] == QLatin1Char('\n'))
                ++i;
            if (any || !field.isEmpty()) {
                row << field;
                table.rows << row;
            }
            row.clear();
            field.clear();
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !field.isEmpty()) {
        row << field;
        table.rows << row;
    }
    return table;
}

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

QList<ContactRecord> recordsFromCsv(const CsvTable &table, const QList<int> &mapping)
{
    QList<ContactRecord> records;
    const QStringList headers = table.rows.value(0);
    for (qsizetype r = 1; r < table.rows.size(); ++r) {
        const QStringList &row = table.rows[r];
        ContactRecord record;
        for (qsizetype c = 0; c < row.size(); ++c) {
            const int target = mapping.value(c, NoteLineColumn);
            if (row[c].isEmpty() || target == IgnoreColumn)
                continue;
            if (target == NoteLineColumn)
                appendNoteLine(record, headers.value(c, QStringLiteral("Column %1").arg(c + 1)), row[c]);
            else if (target == ContactTypeID)
                record.typeName = row[c];
            else if (target == Notes && !record[Notes].isEmpty())
                record[Notes] = row[c] + QLatin1Char('\n') + record[Notes];
            else
                record[target] = row[c];
        }
        records << record;
    }
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
