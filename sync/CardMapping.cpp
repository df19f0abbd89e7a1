#include "CardMapping.h"

#include "exchange/VCardMapping.h"

#include <QHash>

using exchange::VCard;
using exchange::VCardProperty;

namespace carddav {

namespace {

using namespace exchange;

const QStringList kSpouseProperties = {QStringLiteral("X-CORVANTA-SPOUSENAME"), QStringLiteral("X-EVOLUTION-SPOUSE"),
                                       QStringLiteral("X-SPOUSE"), QStringLiteral("X-MS-SPOUSE"),
                                       QStringLiteral("X-KADDRESSBOOK-X-SPOUSENAME")};
const QStringList kOwnedExtras = {
    QStringLiteral("X-CORVANTA-DEAR"),           QStringLiteral("X-CORVANTA-REGION"),
    QStringLiteral("X-CORVANTA-WORKEXTENSION"),  QStringLiteral("X-CORVANTA-REFERREDBY"),
    QStringLiteral("X-CORVANTA-MARITALSTATUS"),  QStringLiteral("X-CORVANTA-HOMETOWN"),
    QStringLiteral("X-CORVANTA-CONTACTSINTERESTS"), QStringLiteral("X-CORVANTA-SPOUSESINTERESTS"),
    QStringLiteral("X-CORVANTA-CHILDRENNAMES"),  QStringLiteral("X-CORVANTA-BIRTHDATE"),
};
const QString kLineBreak = QStringLiteral("X-CORVANTA-LINEBREAK");

// The slot a property fills for the program, or empty when the program does
// not own that kind of property.
QString slotKind(const VCardProperty &p)
{
    const QString &name = p.name;
    static const QStringList single = {QStringLiteral("N"),     QStringLiteral("FN"),   QStringLiteral("ORG"),
                                       QStringLiteral("TITLE"), QStringLiteral("EMAIL"), QStringLiteral("ADR"),
                                       QStringLiteral("NOTE"),  QStringLiteral("CATEGORIES")};
    if (single.contains(name))
        return name;
    if (name == QLatin1String("TEL")) {
        const QStringList types = p.types();
        return types.contains(QStringLiteral("FAX"))    ? QStringLiteral("TEL/FAX")
               : types.contains(QStringLiteral("CELL")) ? QStringLiteral("TEL/CELL")
               : types.contains(QStringLiteral("HOME")) ? QStringLiteral("TEL/HOME")
                                                        : QStringLiteral("TEL/WORK");
    }
    if (name == QLatin1String("BDAY"))
        return isoBirthdate(p.value()).isEmpty() ? QString() : name; // other forms are not the program's
    if (kSpouseProperties.contains(name) || (name == QLatin1String("RELATED") && p.types().contains(QStringLiteral("SPOUSE"))))
        return QStringLiteral("SPOUSE");
    if (name == QLatin1String("INTEREST") || name == QLatin1String("X-CORVANTA-CONTACTSINTERESTS"))
        return QStringLiteral("INTEREST");
    if (kOwnedExtras.contains(name))
        return name;
    return {};
}

// Slot -> index of the first property that fills it.
QHash<QString, int> slotsOf(const QList<VCardProperty> &properties)
{
    QHash<QString, int> filled;
    for (int i = 0; i < properties.size(); ++i) {
        const QString kind = slotKind(properties.at(i));
        if (!kind.isEmpty() && !filled.contains(kind))
            filled.insert(kind, i);
    }
    return filled;
}

// Content lines of one card: unfolded, line ends and BEGIN/END removed.
QStringList contentLines(const QString &text)
{
    QStringList lines;
    for (QString line : text.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if ((line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t'))) && !lines.isEmpty()) {
            lines.last() += line.mid(1);
            continue;
        }
        if (line.isEmpty())
            continue;
        lines << line;
    }
    while (!lines.isEmpty() && lines.first().compare(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) != 0)
        lines.removeFirst();
    if (!lines.isEmpty())
        lines.removeFirst();
    while (!lines.isEmpty() && lines.last().compare(QLatin1String("END:VCARD"), Qt::CaseInsensitive) != 0)
        lines.removeLast();
    if (!lines.isEmpty())
        lines.removeLast();
    return lines;
}

// Folds a content line at 75 octets without splitting a UTF-8 sequence.
void appendFoldedLine(QByteArray &out, const QString &line)
{
    const QByteArray bytes = line.toUtf8();
    qsizetype start = 0;
    int limit = 75;
    while (bytes.size() - start > limit) {
        qsizetype end = start + limit;
        while (end > start && (uchar(bytes[end]) & 0xC0) == 0x80)
            --end;
        out += bytes.mid(start, end - start);
        out += "\r\n ";
        start = end;
        limit = 74;
    }
    out += bytes.mid(start);
    out += "\r\n";
}

// One property written by the vCard library, as its content line.
QString lineOf(const VCardProperty &property)
{
    VCard card;
    card.properties << property;
    const QStringList lines = contentLines(decodeText(VCardLibrary::instance().write(card)));
    for (const QString &line : lines)
        if (!line.startsWith(QLatin1String("VERSION:"), Qt::CaseInsensitive))
            return line;
    return {};
}

// How many leading components of a structured property the program owns,
// and where they start (N: family and given name; ADR: street to country;
// ORG: the organisation; CATEGORIES: the first).
QPair<int, int> ownedComponents(const QString &name)
{
    if (name == QLatin1String("N"))
        return {0, 2};
    if (name == QLatin1String("ADR"))
        return {2, 5};
    if (name == QLatin1String("ORG") || name == QLatin1String("CATEGORIES"))
        return {0, 1};
    return {0, -1}; // the whole value
}

// The property as recordFromVCard should see it: only the owned components.
VCardProperty ownedPart(const VCardProperty &p)
{
    VCardProperty owned = p;
    const auto [from, count] = ownedComponents(p.name);
    if (count < 0)
        return owned;
    QStringList values;
    for (int i = 0; i < from + count; ++i)
        values << (i < from ? QString() : p.values.value(i));
    owned.values = values;
    return owned;
}

FieldTexts textsOf(const ContactRecord &record)
{
    FieldTexts fields;
    for (int field = 0; field < FieldCount; ++field)
        fields << (field == ContactTypeID ? record.typeName : field == ContactID ? QString() : record[field]);
    return fields;
}

ContactRecord recordOf(const FieldTexts &fields)
{
    ContactRecord record;
    for (int field = 1; field < FieldCount; ++field)
        if (field != ContactTypeID)
            record[field] = fields.value(field);
    record.typeName = fields.value(ContactTypeID);
    return record;
}

// Puts the owned part of `from` into `into`, keeping the parameters and the
// components the program does not own.
void replaceOwned(VCardProperty &into, const VCardProperty &from)
{
    const auto [start, count] = ownedComponents(into.name);
    if (count < 0) {
        QStringList values = from.values;
        if (into.name == QLatin1String("TEL") && into.value().startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)
            && values.size() == 1 && !values.first().startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            values.first().prepend(QStringLiteral("tel:"));
        into.values = values;
    } else {
        while (into.values.size() < start + count)
            into.values << QString();
        for (int i = start; i < start + count; ++i)
            into.values[i] = from.values.value(i);
    }
    into.parameters.removeIf([](const auto &parameter) { return parameter.first == kLineBreak; });
    for (const auto &parameter : from.parameters)
        if (parameter.first == kLineBreak)
            into.parameters << parameter;
}

} // namespace

Result<ParsedCard> parseCard(const QByteArray &bytes)
{
    ParsedCard card;
    const QString text = decodeText(bytes);
    if (!text.contains(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive))
        return failure(QStringLiteral("The server sent something that is not a vCard."));
    card.lines = contentLines(text);
    card.version = QStringLiteral("3.0");
    for (const QString &line : std::as_const(card.lines))
        if (line.startsWith(QLatin1String("VERSION:"), Qt::CaseInsensitive))
            card.version = line.mid(8).trimmed();
    const QString versionLine = QStringLiteral("VERSION:") + card.version;
    for (const QString &line : std::as_const(card.lines)) {
        const QList<VCard> one = VCardLibrary::instance().read(
            QStringList{QStringLiteral("BEGIN:VCARD"), versionLine, line, QStringLiteral("END:VCARD")});
        VCardProperty property;
        for (const VCardProperty &p : one.value(0).properties)
            if (p.name != QLatin1String("VERSION") || line.startsWith(QLatin1String("VERSION:"), Qt::CaseInsensitive))
                property = p;
        card.properties << property;
    }
    return card;
}

QString uidOf(const ParsedCard &card)
{
    for (const VCardProperty &p : card.properties)
        if (p.name == QLatin1String("UID"))
            return p.value().trimmed();
    return {};
}

FieldTexts fieldsFromCard(const ParsedCard &card)
{
    VCard owned;
    const QHash<QString, int> filled = slotsOf(card.properties);
    for (int i = 0; i < card.properties.size(); ++i)
        if (filled.value(slotKind(card.properties.at(i)), -1) == i)
            owned.properties << ownedPart(card.properties.at(i));
    QStringList notKept;
    return textsOf(recordFromVCard(owned, notKept));
}

QByteArray cardToSend(const ParsedCard &base, const FieldTexts &fields, const QString &uid)
{
    // What the export writes for these fields, property by property.
    Result<ParsedCard> exported = parseCard(writeVCard(recordOf(fields)));
    const ParsedCard wanted = exported ? *exported : ParsedCard{};
    const QHash<QString, int> wantedFilled = slotsOf(wanted.properties);
    const QHash<QString, int> baseFilled = slotsOf(base.properties);
    const bool keepVersion = !base.lines.isEmpty() && base.version.startsWith(QLatin1Char('4'));

    QStringList lines;
    QSet<QString> placed;
    bool hasUid = false;
    for (int i = 0; i < base.lines.size(); ++i) {
        VCardProperty p = base.properties.value(i);
        if (p.name == QLatin1String("VERSION"))
            continue;
        if (p.name == QLatin1String("UID")) {
            if (!hasUid)
                lines << QStringLiteral("UID:") + uid;
            hasUid = true;
            continue;
        }
        const QString kind = slotKind(p);
        if (kind.isEmpty() || baseFilled.value(kind) != i) {
            lines << base.lines.at(i); // not the program's: exactly as it came
            continue;
        }
        placed.insert(kind);
        if (!wantedFilled.contains(kind))
            continue; // the field was emptied here
        const VCardProperty &from = wanted.properties.at(wantedFilled.value(kind));
        if (p.name == from.name && p.values == from.values && p.parameter(kLineBreak) == from.parameter(kLineBreak)) {
            lines << base.lines.at(i);
            continue;
        }
        replaceOwned(p, from);
        lines << lineOf(p);
    }
    for (int i = 0; i < wanted.properties.size(); ++i) {
        const QString kind = slotKind(wanted.properties.at(i));
        if (!kind.isEmpty() && !placed.contains(kind) && wantedFilled.value(kind) == i)
            lines << wanted.lines.at(i);
    }
    if (!hasUid)
        lines << QStringLiteral("UID:") + uid;
    // Servers refuse a card without a formatted name.
    bool hasName = false;
    for (QString &line : lines)
        if (line.startsWith(QLatin1String("FN"), Qt::CaseInsensitive) && (line.size() > 2 && (line[2] == QLatin1Char(':') || line[2] == QLatin1Char(';'))))
            hasName = hasName || !line.section(QLatin1Char(':'), 1).trimmed().isEmpty();
    if (!hasName) {
        lines.removeIf([](const QString &line) { return line.startsWith(QLatin1String("FN:"), Qt::CaseInsensitive); });
        VCardProperty name;
        name.name = QStringLiteral("FN");
        name.values = {!fields.value(EmailName).isEmpty() ? fields.value(EmailName) : QStringLiteral("-")};
        lines << lineOf(name);
    }
    QByteArray out = "BEGIN:VCARD\r\nVERSION:" + (keepVersion ? base.version.toUtf8() : QByteArray("3.0")) + "\r\n";
    for (const QString &line : std::as_const(lines))
        appendFoldedLine(out, line);
    out += "END:VCARD\r\n";
    return out;
}

QString fieldCaption(int field)
{
    static const QHash<int, QString> captions{
        {FirstName, QStringLiteral("First Name")},       {LastName, QStringLiteral("Last Name")},
        {Dear, QStringLiteral("Salutation")},            {Address, QStringLiteral("Address")},
        {City, QStringLiteral("City")},                  {StateOrProvince, QStringLiteral("State")},
        {PostalCode, QStringLiteral("Post Code")},       {Region, QStringLiteral("Region")},
        {Country, QStringLiteral("Country")},            {CompanyName, QStringLiteral("Company")},
        {Title, QStringLiteral("Job Title")},            {EmailName, QStringLiteral("E-mail Address")},
        {WorkPhone, QStringLiteral("Business Phone")},   {WorkExtension, QStringLiteral("Work Extension")},
        {HomePhone, QStringLiteral("Home Phone")},       {MobilePhone, QStringLiteral("Mobile Phone")},
        {FaxNumber, QStringLiteral("Fax Number")},       {Notes, QStringLiteral("Notes")},
        {ContactTypeID, QStringLiteral("Contact Type")}, {ReferredBy, QStringLiteral("Referred By")},
        {MaritalStatus, QStringLiteral("Marital Status")}, {Hometown, QStringLiteral("Hometown")},
        {SpouseName, QStringLiteral("Spouse Name")},     {Birthdate, QStringLiteral("Birthdate")},
        {ContactsInterests, QStringLiteral("Contact's Interests")},
        {SpousesInterests, QStringLiteral("Spouse's Interests")},
        {ChildrenNames, QStringLiteral("Children Names")},
    };
    return captions.value(field);
}

MergeResult mergeFields(const FieldTexts &local, const FieldTexts &server, const FieldTexts *base, const QDate &today)
{
    MergeResult result;
    result.fields = local;
    QStringList kept;
    for (int field = 1; field < FieldCount; ++field) {
        const QString mine = local.value(field);
        const QString theirs = server.value(field);
        if (mine == theirs)
            continue;
        const bool localChanged = base ? base->value(field) != mine : !mine.isEmpty();
        const bool serverChanged = base ? base->value(field) != theirs : !theirs.isEmpty();
        if (!serverChanged)
            continue;
        if (!localChanged) {
            result.fields[field] = theirs;
            continue;
        }
        ++result.conflicts;
        kept << (theirs.isEmpty() ? QStringLiteral("server had no %1").arg(fieldCaption(field))
                                  : QStringLiteral("server had %1: %2").arg(fieldCaption(field), theirs));
    }
    if (!kept.isEmpty()) {
        QString &notes = result.fields[Notes];
        const QString lineEnd = notes.contains(QLatin1String("\r\n")) ? QStringLiteral("\r\n") : QStringLiteral("\n");
        for (const QString &line : kept) {
            if (!notes.isEmpty())
                notes += lineEnd;
            notes += QStringLiteral("Sync %1, %2").arg(today.toString(Qt::ISODate), line);
        }
    }
    return result;
}

} // namespace carddav
