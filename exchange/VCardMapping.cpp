#include "VCardMapping.h"

#include "TextLineReader.h"
#include "VCardLibrary.h"

#include <QDate>
#include <QDateTime>
#include <QStringDecoder>

namespace exchange {

namespace {

// The fields vCard has no property for.
struct ExtraField {
    int field;
    const char *property;
};
constexpr ExtraField extraFields[] = {
    {Dear, "X-CORVANTA-DEAR"},
    {Region, "X-CORVANTA-REGION"},
    {WorkExtension, "X-CORVANTA-WORKEXTENSION"},
    {ReferredBy, "X-CORVANTA-REFERREDBY"},
    {MaritalStatus, "X-CORVANTA-MARITALSTATUS"},
    {Hometown, "X-CORVANTA-HOMETOWN"},
    {SpouseName, "X-CORVANTA-SPOUSENAME"},
    {ContactsInterests, "X-CORVANTA-CONTACTSINTERESTS"},
    {SpousesInterests, "X-CORVANTA-SPOUSESINTERESTS"},
    {ChildrenNames, "X-CORVANTA-CHILDRENNAMES"},
    // A stored birth date that is no ISO date travels unchanged beside BDAY.
    {Birthdate, "X-CORVANTA-BIRTHDATE"},
};

const QString lineBreakParameter = QStringLiteral("X-CORVANTA-LINEBREAK");

// vCard knows only LF line breaks in values. A value with CR LF breaks says
// so in a parameter ("CRLF"); values that mix CR LF, CR and LF list each
// break in order (B for CR LF, R for CR, N for LF).
VCardProperty textProperty(const QString &name, QStringList values)
{
    VCardProperty property;
    property.name = name;
    QString codes;
    bool onlyCrLf = true;
    bool anyCr = false;
    for (QString &value : values) {
        if (!value.contains(QLatin1Char('\r'))) {
            codes += QString(value.count(QLatin1Char('\n')), QLatin1Char('N'));
            onlyCrLf = onlyCrLf && !value.contains(QLatin1Char('\n'));
            continue;
        }
        anyCr = true;
        QString plain;
        plain.reserve(value.size());
        for (qsizetype i = 0; i < value.size(); ++i) {
            const QChar c = value[i];
            if (c == QLatin1Char('\r') && i + 1 < value.size() && value[i + 1] == QLatin1Char('\n')) {
                codes += QLatin1Char('B');
                plain += QLatin1Char('\n');
                ++i;
            } else if (c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
                codes += c == QLatin1Char('\r') ? QLatin1Char('R') : QLatin1Char('N');
                onlyCrLf = false;
                plain += QLatin1Char('\n');
            } else {
                plain += c;
            }
        }
        value = plain;
    }
    if (anyCr)
        property.parameters.append({lineBreakParameter, {onlyCrLf ? QStringLiteral("CRLF") : codes}});
    property.values = values;
    return property;
}

// The property's values with their line breaks as they were written.
QStringList textValues(const VCardProperty &property)
{
    const QStringList marks = property.parameter(lineBreakParameter);
    if (marks.isEmpty())
        return property.values;
    QStringList values = property.values;
    const QString codes = marks.first();
    if (codes.compare(QLatin1String("CRLF"), Qt::CaseInsensitive) == 0) {
        for (QString &value : values)
            value.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
        return values;
    }
    qsizetype next = 0;
    for (QString &value : values) {
        QString exact;
        exact.reserve(value.size() + 8);
        for (const QChar c : value) {
            if (c != QLatin1Char('\n')) {
                exact += c;
                continue;
            }
            const QChar code = next < codes.size() ? codes[next++].toUpper() : QLatin1Char('N');
            exact += code == QLatin1Char('B') ? QStringLiteral("\r\n") : code == QLatin1Char('R') ? QStringLiteral("\r") : QStringLiteral("\n");
        }
        value = exact;
    }
    return values;
}

QString textOf(const VCardProperty &property, qsizetype index = -1)
{
    bool marked = false;
    for (const auto &parameter : property.parameters)
        marked = marked || parameter.first == lineBreakParameter;
    if (!marked)
        return index < 0 ? (property.values.size() == 1 ? property.values.first() : property.value())
                         : property.values.value(index);
    const QStringList values = textValues(property);
    return index < 0 ? values.join(QLatin1Char(';')) : values.value(index);
}

QString displayName(const ContactRecord &record)
{
    const QString name = (record[FirstName] + QLatin1Char(' ') + record[LastName]).trimmed();
    return name.isEmpty() ? record[CompanyName] : name;
}

QString labelFor(const VCardProperty &property)
{
    static const QList<QPair<QString, QString>> labels{
        {QStringLiteral("EMAIL"), QStringLiteral("E-mail")},     {QStringLiteral("TEL"), QStringLiteral("Phone")},
        {QStringLiteral("URL"), QStringLiteral("Web page")},     {QStringLiteral("NICKNAME"), QStringLiteral("Nickname")},
        {QStringLiteral("ANNIVERSARY"), QStringLiteral("Anniversary")},
        {QStringLiteral("X-ANNIVERSARY"), QStringLiteral("Anniversary")},
        {QStringLiteral("X-EVOLUTION-ANNIVERSARY"), QStringLiteral("Anniversary")},
        {QStringLiteral("ADR"), QStringLiteral("Address")},      {QStringLiteral("ROLE"), QStringLiteral("Role")},
        {QStringLiteral("BDAY"), QStringLiteral("Birthday")},    {QStringLiteral("CATEGORIES"), QStringLiteral("Category")},
        {QStringLiteral("IMPP"), QStringLiteral("Instant messaging")},
    };
    for (const auto &[name, label] : labels)
        if (name == property.name)
            return property.types().isEmpty() ? label
                                              : label + QStringLiteral(" (") + property.types().join(QLatin1Char(',')).toLower() + QLatin1Char(')');
    return property.name;
}

void fillOrNote(ContactRecord &record, int field, const VCardProperty &property, const QString &value)
{
    if (value.isEmpty())
        return;
    if (record[field].isEmpty())
        record[field] = value;
    else
        appendNoteLine(record, labelFor(property), value);
}

} // namespace

QString decodeText(const QByteArray &bytes)
{
    if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        return decoder(bytes.mid(2));
    }
    const QByteArray body = bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(body);
    return utf8.hasError() ? fromWindows1252(body) : text;
}

QByteArray writeVCard(const ContactRecord &record)
{
    VCard card;
    auto add = [&](const QString &name, const QStringList &values, const QStringList &types = {}) {
        VCardProperty property = textProperty(name, values);
        if (!types.isEmpty())
            property.parameters.prepend({QStringLiteral("TYPE"), types});
        card.properties << property;
    };
    add(QStringLiteral("N"), {record[LastName], record[FirstName], QString(), QString(), QString()});
    add(QStringLiteral("FN"), {displayName(record)});
    if (!record[CompanyName].isEmpty())
        add(QStringLiteral("ORG"), {record[CompanyName]});
    if (!record[Title].isEmpty())
        add(QStringLiteral("TITLE"), {record[Title]});
    if (!record[EmailName].isEmpty())
        add(QStringLiteral("EMAIL"), {record[EmailName]}, {QStringLiteral("INTERNET")});
    const QPair<int, QStringList> phones[] = {
        {WorkPhone, {QStringLiteral("WORK"), QStringLiteral("VOICE")}},
        {HomePhone, {QStringLiteral("HOME"), QStringLiteral("VOICE")}},
        {MobilePhone, {QStringLiteral("CELL")}},
        {FaxNumber, {QStringLiteral("WORK"), QStringLiteral("FAX")}},
    };
    for (const auto &[field, types] : phones)
        if (!record[field].isEmpty())
            add(QStringLiteral("TEL"), {record[field]}, types);
    if (!(record[Address] + record[City] + record[StateOrProvince] + record[PostalCode] + record[Country]).isEmpty())
        add(QStringLiteral("ADR"), {QString(), QString(), record[Address], record[City], record[StateOrProvince],
                                    record[PostalCode], record[Country]});
    const bool birthdateIsIso = !record[Birthdate].isEmpty() && exchange::isoBirthdate(record[Birthdate]) == record[Birthdate];
    if (birthdateIsIso)
        add(QStringLiteral("BDAY"), {record[Birthdate]});
    if (!record.typeName.isEmpty())
        add(QStringLiteral("CATEGORIES"), {record.typeName});
    if (!record[Notes].isEmpty())
        add(QStringLiteral("NOTE"), {record[Notes]});
    for (const ExtraField &extra : extraFields)
        if (!record[extra.field].isEmpty() && !(extra.field == Birthdate && birthdateIsIso))
            add(QString::fromLatin1(extra.property), {record[extra.field]});
    return VCardLibrary::instance().write(card);
}

ContactRecord recordFromVCard(const VCard &card, QStringList &notKeptOut)
{
    ContactRecord record;
    QString formattedName;
    QStringList notKept;
    for (const VCardProperty &p : card.properties) {
        const QString &name = p.name;
        if (name == QLatin1String("N")) {
            record[LastName] = textOf(p, 0);
            record[FirstName] = textOf(p, 1);
            const char *parts[] = {"Middle name", "Name prefix", "Name suffix"};
            for (int i = 0; i < 3; ++i)
                if (!textOf(p, 2 + i).isEmpty())
                    appendNoteLine(record, QString::fromLatin1(parts[i]), textOf(p, 2 + i));
        } else if (name == QLatin1String("FN")) {
            formattedName = textOf(p);
        } else if (name == QLatin1String("ORG")) {
            fillOrNote(record, CompanyName, p, textOf(p, 0));
            for (qsizetype i = 1; i < p.values.size(); ++i)
                if (!textOf(p, i).isEmpty())
                    appendNoteLine(record, QStringLiteral("Department"), textOf(p, i));
        } else if (name == QLatin1String("TITLE")) {
            fillOrNote(record, Title, p, textOf(p));
        } else if (name == QLatin1String("EMAIL")) {
            fillOrNote(record, EmailName, p, textOf(p));
        } else if (name == QLatin1String("TEL")) {
            const QStringList types = p.types();
            QString number = textOf(p);
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            const int field = types.contains(QStringLiteral("FAX"))    ? FaxNumber
                              : types.contains(QStringLiteral("CELL")) ? MobilePhone
                              : types.contains(QStringLiteral("HOME")) ? HomePhone
                                                                       : WorkPhone;
            fillOrNote(record, field, p, number);
        } else if (name == QLatin1String("ADR")) {
            const bool free = (record[Address] + record[City] + record[StateOrProvince] + record[PostalCode]
                               + record[Country]).isEmpty();
            if (free) {
                const QString box = (textOf(p, 0) + QLatin1Char(' ') + textOf(p, 1)).trimmed();
                if (!box.isEmpty())
                    appendNoteLine(record, QStringLiteral("Post office box"), box);
                record[Address] = textOf(p, 2);
                record[City] = textOf(p, 3);
                record[StateOrProvince] = textOf(p, 4);
                record[PostalCode] = textOf(p, 5);
                record[Country] = textOf(p, 6);
            } else {
                QStringList parts;
                for (qsizetype i = 0; i < p.values.size(); ++i)
                    if (!textOf(p, i).isEmpty())
                        parts << textOf(p, i);
                if (!parts.isEmpty())
                    appendNoteLine(record, labelFor(p), parts.join(QStringLiteral(", ")));
            }
        } else if (name == QLatin1String("NOTE")) {
            if (!textOf(p).isEmpty())
                record[Notes] = record[Notes].isEmpty() ? textOf(p) : textOf(p) + QLatin1Char('\n') + record[Notes];
        } else if (name == QLatin1String("BDAY")) {
            const QString date = isoBirthdate(textOf(p));
            if (!date.isEmpty() && record[Birthdate].isEmpty())
                record[Birthdate] = date;
            else
                appendNoteLine(record, labelFor(p), textOf(p));
        } else if (name == QLatin1String("CATEGORIES")) {
            for (const QString &category : p.values) {
                if (category.isEmpty())
                    continue;
                if (record.typeName.isEmpty())
                    record.typeName = category;
                else
                    appendNoteLine(record, labelFor(p), category);
            }
        } else if (name == QLatin1String("RELATED") && p.types().contains(QStringLiteral("SPOUSE"))) {
            fillOrNote(record, SpouseName, p, textOf(p));
        } else if (name == QLatin1String("X-EVOLUTION-SPOUSE") || name == QLatin1String("X-SPOUSE")
                   || name == QLatin1String("X-MS-SPOUSE") || name == QLatin1String("X-KADDRESSBOOK-X-SPOUSENAME")) {
            fillOrNote(record, SpouseName, p, textOf(p));
        } else if (name == QLatin1String("INTEREST")) {
            fillOrNote(record, ContactsInterests, p, textOf(p));
        } else if (name == QLatin1String("PHOTO") || name == QLatin1String("LOGO") || name == QLatin1String("SOUND")
                   || name == QLatin1String("KEY")) {
            notKept << name;
        } else if (name == QLatin1String("VERSION") || name == QLatin1String("PRODID") || name == QLatin1String("REV")
                   || name == QLatin1String("UID") || name == QLatin1String("X-EVOLUTION-FILE-AS")) {
            // bookkeeping of the writing program
        } else {
            bool extra = false;
            for (const ExtraField &field : extraFields) {
                if (name == QLatin1String(field.property)) {
                    fillOrNote(record, field.field, p, textOf(p));
                    extra = true;
                }
            }
            if (!extra && !textOf(p).isEmpty())
                appendNoteLine(record, labelFor(p), textOf(p));
        }
    }
    if (record[FirstName].isEmpty() && record[LastName].isEmpty() && !formattedName.isEmpty()
        && formattedName != record[CompanyName]) {
        const qsizetype blank = formattedName.lastIndexOf(QLatin1Char(' '));
        record[FirstName] = blank < 0 ? formattedName : formattedName.left(blank);
        record[LastName] = blank < 0 ? QString() : formattedName.mid(blank + 1);
    }
    for (const QString &name : notKept)
        notKeptOut << name + QStringLiteral(" of ") + displayName(record);
    return record;
}

} // namespace exchange
