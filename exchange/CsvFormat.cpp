#include "CsvFormat.h"

#include <QDate>
#include <QHash>
#include <QLocale>
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

// "Phone 3 - Value" and the like: the kind ("phone"), the number and the part ("value").
struct NumberedHeader {
    QString kind;
    QString number;
    QString part;
};
std::optional<NumberedHeader> numbered(const QString &header)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(.+?)\\s+(\\d+)\\s+-\\s+(\\w+)\\s*$"));
    const QRegularExpressionMatch match = pattern.match(header);
    if (!match.hasMatch())
        return std::nullopt;
    return NumberedHeader{key(match.captured(1)), match.captured(2), match.captured(3).toLower()};
}

// The type column that belongs to a "... N - Value" column.
QString typeOf(const QStringList &headers, const QStringList &row, const QString &header)
{
    const std::optional<NumberedHeader> value = numbered(header);
    if (!value)
        return QString();
    for (qsizetype c = 0; c < headers.size(); ++c) {
        const std::optional<NumberedHeader> other = numbered(headers[c]);
        if (other && other->kind == value->kind && other->number == value->number
            && (other->part == QLatin1String("type") || other->part == QLatin1String("label")))
            return row.value(c).trimmed();
    }
    return QString();
}

// Google writes several values of one kind into one cell.
QStringList cellValues(const QString &cell)
{
    QStringList values;
    for (const QString &value : cell.split(QStringLiteral(" ::: ")))
        if (!value.trimmed().isEmpty())
            values << value.trimmed();
    return values;
}

struct CsvPhone {
    QString number;
    QString type;
    int field = -1;
    int rank = 0;
};

// Google's phone types ("Mobile", "Work Fax", "* Main"): explicit types win
// over untyped numbers, the work fax over other faxes.
CsvPhone classify(const QString &number, const QString &rawType)
{
    CsvPhone phone{number, rawType, -1, 0};
    QString type = rawType.toLower();
    if (type.startsWith(QLatin1String("* ")))
        type = type.mid(2);
    type = type.trimmed();
    if (type.contains(QLatin1String("fax"))) {
        phone.field = FaxNumber;
        phone.rank = type.contains(QLatin1String("work")) ? 0 : type.contains(QLatin1String("home")) ? 2 : 1;
    } else if (type.contains(QLatin1String("mobile")) || type.contains(QLatin1String("cell")) || type.contains(QLatin1String("iphone"))) {
        phone.field = MobilePhone;
    } else if (type.contains(QLatin1String("home"))) {
        phone.field = HomePhone;
    } else if (type.contains(QLatin1String("work")) || type.contains(QLatin1String("business"))) {
        phone.field = WorkPhone;
    } else if (type.isEmpty() || type == QLatin1String("main") || type == QLatin1String("voice")) {
        phone.field = WorkPhone;
        phone.rank = 1;
    }
    return phone;
}

// Google's system groups ("* myContacts", "* starred") are not types.
QStringList categoriesOf(const QString &cell, bool ownColumn)
{
    if (ownColumn)
        return {cell};
    QStringList found;
    const QStringList parts = cell.contains(QLatin1String(":::")) ? cell.split(QStringLiteral(":::"))
                                                                  : cell.split(QRegularExpression(QStringLiteral("[;,]")));
    for (const QString &part : parts) {
        const QString name = part.trimmed();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("* ")) && !name.startsWith(QLatin1String("System Group:")))
            found << name;
    }
    return found;
}

int number(const QString &text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    return ok ? value : -1;
}

// The three numbers of 01/02/1985 (or 1-2-1985), without deciding their order.
bool dateParts(const QString &text, int &first, int &second, int &year)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*(\\d{1,2})\\s*([/.-])\\s*(\\d{1,2})\\s*\\2\\s*(\\d{4})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return false;
    first = match.captured(1).toInt();
    second = match.captured(3).toInt();
    year = match.captured(4).toInt();
    return true;
}

bool dotted(const QString &text)
{
    return text.contains(QLatin1Char('.'));
}

} // namespace

const QList<int> &specialColumns()
{
    static const QList<int> columns{UidColumn,       TypedPhoneColumn,  TypedEmailColumn, BirthYearColumn,
                                    BirthMonthColumn, BirthDayColumn,   StreetLineColumn};
    return columns;
}

QString specialColumnCaption(int column)
{
    switch (column) {
    case UidColumn: return QStringLiteral("(UID)");
    case TypedPhoneColumn: return QStringLiteral("(phone, field by its type)");
    case TypedEmailColumn: return QStringLiteral("(e-mail, by its type)");
    case BirthYearColumn: return QStringLiteral("(birth year)");
    case BirthMonthColumn: return QStringLiteral("(birth month)");
    case BirthDayColumn: return QStringLiteral("(birth day)");
    case StreetLineColumn: return QStringLiteral("(further address line)");
    default: return QString();
    }
}

QString specialColumnKey(int column)
{
    switch (column) {
    case UidColumn: return QStringLiteral("(uid)");
    case TypedPhoneColumn: return QStringLiteral("(typed phone)");
    case TypedEmailColumn: return QStringLiteral("(typed e-mail)");
    case BirthYearColumn: return QStringLiteral("(birth year)");
    case BirthMonthColumn: return QStringLiteral("(birth month)");
    case BirthDayColumn: return QStringLiteral("(birth day)");
    case StreetLineColumn: return QStringLiteral("(street line)");
    default: return QString();
    }
}

int fieldForHeader(const QString &header)
{
    static const QHash<QString, int> known = [] {
        QHash<QString, int> map;
        for (int field = FirstName; field < FieldCount; ++field)
            map.insert(key(fieldNames()[field]), field);
        map.insert(QStringLiteral("contacttype"), ContactTypeID);
        map.insert(QStringLiteral("uid"), UidColumn);
        const QList<QPair<const char *, int>> others{
            // Outlook
            {"First Name", FirstName}, {"Last Name", LastName}, {"Company", CompanyName}, {"Job Title", Title},
            {"Business Street", Address}, {"Business Street 2", StreetLineColumn}, {"Business Street 3", StreetLineColumn},
            {"Business City", City}, {"Business State", StateOrProvince},
            {"Business Postal Code", PostalCode}, {"Business Country/Region", Country}, {"Business Country", Country},
            {"E-mail Address", EmailName}, {"Business Phone", WorkPhone}, {"Home Phone", HomePhone},
            {"Mobile Phone", MobilePhone}, {"Business Fax", FaxNumber}, {"Notes", Notes}, {"Birthday", Birthdate},
            {"Spouse", SpouseName}, {"Children", ChildrenNames}, {"Referred By", ReferredBy}, {"Hobby", ContactsInterests},
            {"Categories", ContactTypeID},
            // Thunderbird
            {"Primary Email", EmailName}, {"Work Phone", WorkPhone}, {"Fax Number", FaxNumber},
            {"Mobile Number", MobilePhone}, {"Pager Number", NoteLineColumn}, {"Work Address", Address},
            {"Work Address 2", StreetLineColumn}, {"Work City", City}, {"Work State", StateOrProvince},
            {"Work ZipCode", PostalCode}, {"Work Country", Country}, {"Organization", CompanyName},
            {"Birth Year", BirthYearColumn}, {"Birth Month", BirthMonthColumn}, {"Birth Day", BirthDayColumn},
            // Google Contacts
            {"Given Name", FirstName}, {"Family Name", LastName}, {"Organization Name", CompanyName},
            {"Organization Title", Title}, {"Organization 1 - Name", CompanyName},
            {"Organization 1 - Title", Title}, {"Address 1 - Street", Address}, {"Address 1 - City", City},
            {"Address 1 - Region", StateOrProvince}, {"Address 1 - Postal Code", PostalCode},
            {"Address 1 - Country", Country}, {"Address 1 - Extended Address", StreetLineColumn},
            {"Address 1 - PO Box", NoteLineColumn}, {"Labels", ContactTypeID}, {"Group Membership", ContactTypeID},
        };
        // This program's own names win ("Title" is the job title here).
        for (const auto &[name, field] : others)
            if (!map.contains(key(QString::fromLatin1(name))))
                map.insert(key(QString::fromLatin1(name)), field);
        return map;
    }();
    // Thunderbird's "Birth Day" is not Outlook's "Birthday".
    if (header.simplified().compare(QLatin1String("Birth Day"), Qt::CaseInsensitive) == 0)
        return BirthDayColumn;
    if (const auto found = known.constFind(key(header)); found != known.cend())
        return found.value();
    if (const std::optional<NumberedHeader> parts = numbered(header); parts && parts->part == QLatin1String("value")) {
        if (parts->kind == QLatin1String("phone"))
            return TypedPhoneColumn;
        if (parts->kind == QLatin1String("email"))
            return TypedEmailColumn;
    }
    if (const std::optional<NumberedHeader> parts = numbered(header);
        parts && (parts->part == QLatin1String("type") || parts->part == QLatin1String("label"))
        && (parts->kind == QLatin1String("phone") || parts->kind == QLatin1String("email")))
        return IgnoreColumn; // read with its value column
    return NoteLineColumn;
}

QList<int> automaticMapping(const QStringList &headers)
{
    bool outlook = false;
    for (const QString &header : headers)
        outlook = outlook || key(header) == QLatin1String("jobtitle");
    QList<int> mapping;
    QList<int> taken;
    for (const QString &header : headers) {
        int field = header.trimmed().isEmpty() ? IgnoreColumn : fieldForHeader(header);
        // Outlook's Title holds "Mr." or "Dr.": the salutation.
        if (outlook && key(header) == QLatin1String("title"))
            field = Dear;
        if (field >= 0 && taken.contains(field))
            field = NoteLineColumn;
        if (field >= 0)
            taken << field;
        mapping << field;
    }
    return mapping;
}

bool mappingNamesContacts(const QList<int> &mapping)
{
    for (const int field : mapping)
        if (field == FirstName || field == LastName || field == EmailName || field == CompanyName || field == TypedEmailColumn)
            return true;
    return false;
}

DateOrder localeDateOrder()
{
    const QString format = QLocale().dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d'));
    const qsizetype month = format.indexOf(QLatin1Char('M'));
    return day >= 0 && month >= 0 && month < day ? DateOrder::MonthFirst : DateOrder::DayFirst;
}

QString dateOrderText(DateOrder order)
{
    return order == DateOrder::DayFirst ? QStringLiteral("day/month/year") : QStringLiteral("month/day/year");
}

void DateColumnEvidence::take(const QString &value)
{
    if (value.size() < 8 || value.size() > 14 || !value.back().isDigit())
        return;
    int first = 0, second = 0, year = 0;
    if (!dateParts(value, first, second, year) || dotted(value))
        return;
    if (first > 12 && second <= 12)
        dayFirst = true;
    else if (second > 12 && first <= 12)
        monthFirst = true;
    else if (first <= 12 && second <= 12 && first != second)
        ambiguous = true;
}

std::optional<DateOrder> DateColumnEvidence::order() const
{
    if (dayFirst && !monthFirst)
        return DateOrder::DayFirst;
    if (monthFirst && !dayFirst)
        return DateOrder::MonthFirst;
    return std::nullopt;
}

QString csvBirthdate(const QString &text, DateOrder order)
{
    const QString value = text.trimmed();
    if (value.isEmpty())
        return QString();
    const QString iso = isoBirthdate(value);
    if (!iso.isEmpty())
        return text == iso ? text : iso;
    int first = 0, second = 0, year = 0;
    if (!dateParts(value, first, second, year))
        return QString();
    // 31.01.1980 is always day first; otherwise a number over 12 settles it.
    const bool dayFirst = dotted(value) || first > 12 || (second <= 12 && order == DateOrder::DayFirst);
    const QDate date = dayFirst ? QDate(year, second, first) : QDate(year, first, second);
    return date.isValid() ? date.toString(Qt::ISODate) : QString();
}

ContactRecord recordFromCsvRow(const QStringList &headers, const QStringList &row, const QList<int> &mapping,
                               DateOrder dates)
{
    ContactRecord record;
    // Only this program's own files say '' with a quoted empty field.
    static const QStringList own = csvHeader();
    const bool ownFile = headers.size() >= own.size() - 1 && std::equal(own.cbegin(), own.cend() - 1, headers.cbegin());
    QList<CsvPhone> phones;
    QList<QPair<QString, QString>> emails; // value, type
    QStringList streetLines;
    int birthYear = -1, birthMonth = -1, birthDay = -1;
    for (qsizetype c = 0; c < row.size(); ++c) {
        int target = mapping.value(c, NoteLineColumn);
        const QString &header = headers.value(c);
        if (target == IgnoreColumn)
            continue;
        if (row[c].isEmpty()) {
            if (ownFile && !row[c].isNull() && target > 0 && target != ContactTypeID)
                record.markEmptyText(target);
            continue;
        }
        QString value = row[c];
        switch (target) {
        case UidColumn:
            record.uid = value.trimmed();
            continue;
        case TypedPhoneColumn:
            for (const QString &one : cellValues(value))
                phones << classify(one, typeOf(headers, row, header));
            continue;
        case TypedEmailColumn:
            for (const QString &one : cellValues(value))
                emails.append({one, typeOf(headers, row, header)});
            continue;
        case BirthYearColumn:
            birthYear = number(value);
            continue;
        case BirthMonthColumn:
            birthMonth = number(value);
            continue;
        case BirthDayColumn:
            birthDay = number(value);
            continue;
        case StreetLineColumn:
            streetLines << value;
            continue;
        default:
            break;
        }
        if (target == Birthdate && !ownFile) { // this program writes the birth date as stored
            // Outlook writes 0/0/00 for no birthday.
            if (value.trimmed() == QLatin1String("0/0/00") || value.trimmed() == QLatin1String("0/0/0000"))
                continue;
            value = csvBirthdate(row[c], dates);
            if (value.isEmpty()) {
                value = row[c];
                target = NoteLineColumn;
            }
        }
        const QString label = header.isEmpty() ? QStringLiteral("Column %1").arg(c + 1) : header;
        if (target == NoteLineColumn) {
            appendNoteLine(record, label, value);
        } else if (target == ContactTypeID) {
            const QStringList categories = categoriesOf(value, header == QLatin1String("ContactType"));
            for (const QString &category : categories) {
                if (record.typeName.isEmpty())
                    record.typeName = category;
                else
                    appendNoteLine(record, label, category);
            }
        } else if (target == Notes && !record[Notes].isEmpty()) {
            record[Notes] = value + QLatin1Char('\n') + record[Notes];
        } else if (!record[target].isEmpty()) {
            appendNoteLine(record, label, value);
        } else {
            record[target] = value;
        }
    }
    // Each phone field takes its best number; the others become Notes lines.
    QList<int> winners(FieldCount, -1);
    for (qsizetype i = 0; i < phones.size(); ++i) {
        const int field = phones[i].field;
        if (field >= 0 && record[field].isEmpty() && (winners[field] < 0 || phones[i].rank < phones[winners[field]].rank))
            winners[field] = int(i);
    }
    for (qsizetype i = 0; i < phones.size(); ++i) {
        const CsvPhone &phone = phones[i];
        if (phone.field >= 0 && winners[phone.field] == i)
            record[phone.field] = phone.number;
        else
            appendNoteLine(record, phone.type.isEmpty() ? QStringLiteral("Phone") : QStringLiteral("Phone (%1)").arg(phone.type), phone.number);
    }
    // The primary address ("* Home") or else the first one.
    qsizetype primary = -1;
    for (qsizetype i = 0; i < emails.size() && primary < 0; ++i)
        if (emails[i].second.startsWith(QLatin1String("* ")))
            primary = i;
    if (primary < 0 && !emails.isEmpty())
        primary = 0;
    for (qsizetype i = 0; i < emails.size(); ++i) {
        if (i == primary && record[EmailName].isEmpty())
            record[EmailName] = emails[i].first;
        else
            appendNoteLine(record, emails[i].second.isEmpty() ? QStringLiteral("E-mail") : QStringLiteral("E-mail (%1)").arg(emails[i].second),
                           emails[i].first);
    }
    if (!streetLines.isEmpty())
        record[Address] = (QStringList(record[Address].isEmpty() ? QStringList() : QStringList{record[Address]}) + streetLines)
                              .join(QLatin1Char('\n'));
    if (birthYear > 0 || birthMonth > 0 || birthDay > 0) {
        const QDate date(birthYear, birthMonth, birthDay);
        if (birthYear > 0 && date.isValid() && record[Birthdate].isEmpty())
            record[Birthdate] = date.toString(Qt::ISODate);
        else
            appendNoteLine(record, QStringLiteral("Birthday"),
                           QStringLiteral("%1-%2-%3")
                               .arg(birthYear > 0 ? QString::number(birthYear) : QStringLiteral("-"))
                               .arg(birthMonth, 2, 10, QLatin1Char('0'))
                               .arg(birthDay, 2, 10, QLatin1Char('0')));
    }
    return record;
}

QList<ContactRecord> recordsFromCsv(const CsvTable &table, const QList<int> &mapping)
{
    QList<ContactRecord> records;
    const QStringList headers = table.rows.value(0);
    qsizetype birthColumn = mapping.indexOf(Birthdate);
    DateColumnEvidence evidence;
    if (birthColumn >= 0)
        for (qsizetype r = 1; r < table.rows.size(); ++r)
            evidence.take(table.rows[r].value(birthColumn));
    const DateOrder order = evidence.order().value_or(localeDateOrder());
    for (qsizetype r = 1; r < table.rows.size(); ++r)
        records << recordFromCsvRow(headers, table.rows[r], mapping, order);
    return records;
}

QStringList csvHeader()
{
    QStringList header = fieldNames().mid(FirstName);
    header[ContactTypeID - FirstName] = QStringLiteral("ContactType");
    header << QStringLiteral("UID");
    return header;
}

QByteArray csvLine(const QStringList &values)
{
    QStringList quoted;
    for (const QString &value : values) {
        if ((value.isEmpty() && !value.isNull()) || value.contains(QLatin1Char(',')) || value.contains(QLatin1Char('"'))
            || value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')) || value.contains(QLatin1Char(';'))
            || value.contains(QLatin1Char('\t')) || value.startsWith(QLatin1Char(' ')) || value.endsWith(QLatin1Char(' ')))
            quoted << QLatin1Char('"') + QString(value).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
        else
            quoted << value;
    }
    return quoted.join(QLatin1Char(',')).toUtf8() + "\r\n";
}

QByteArray csvLine(const ContactRecord &record)
{
    QStringList values;
    for (int field = FirstName; field < FieldCount; ++field) {
        const QString &value = field == ContactTypeID ? record.typeName : record[field];
        values << (value.isEmpty() ? (record.holdsEmptyText(field) && field != ContactTypeID ? QString(QLatin1String("")) : QString())
                                   : value);
    }
    values << (record.uid.isEmpty() ? QString() : record.uid);
    return csvLine(values);
}

} // namespace exchange
