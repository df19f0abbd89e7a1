#include "VCardMapping.h"

#include "TextLineReader.h"
#include "VCardLibrary.h"

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
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

QString labelFor(const VCardProperty &property, bool withTypes = true)
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
    // The types that tell a reader something.
    QStringList types;
    for (const QString &type : property.types())
        if (type != QLatin1String("INTERNET") && type != QLatin1String("PREF") && type != QLatin1String("VOICE")
            && !type.startsWith(QLatin1String("X-")))
            types << type.toLower();
    for (const auto &[name, label] : labels)
        if (name == property.name)
            return types.isEmpty() || !withTypes ? label : label + QStringLiteral(" (") + types.join(QLatin1Char(',')) + QLatin1Char(')');
    return property.name;
}

void fillOrNote(ContactRecord &record, int field, const VCardProperty &property, const QString &value,
                const QString &label = QString())
{
    if (value.isEmpty() || record[field] == value)
        return;
    if (record[field].isEmpty())
        record[field] = value;
    else
        appendNoteLine(record, label.isEmpty() ? labelFor(property) : label, value);
}

const QString kProductId = QStringLiteral("-//Corvanta//Corvanta//EN");
const QString kEmptyTexts = QStringLiteral("X-CORVANTA-EMPTY");
const QString kExtensionMark = QStringLiteral(" ext. ");

// "_$!<Spouse>!$_" (Apple's built-in labels) as "Spouse".
QString cleanLabel(const QString &label)
{
    QString text = label.trimmed();
    if (text.startsWith(QLatin1String("_$!<")) && text.endsWith(QLatin1String(">!$_")))
        text = text.mid(4, text.size() - 8);
    return text;
}

// Where a relation's name belongs, by its label or TYPE.
enum class Relation { Spouse, Child, ReferredBy, Other };
Relation relationOf(const QString &kind)
{
    const QString k = kind.toLower().remove(QLatin1Char(' ')).remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    if (k == QLatin1String("spouse") || k == QLatin1String("partner") || k == QLatin1String("husband")
        || k == QLatin1String("wife"))
        return Relation::Spouse;
    if (k == QLatin1String("child") || k == QLatin1String("children") || k == QLatin1String("son")
        || k == QLatin1String("daughter"))
        return Relation::Child;
    if (k == QLatin1String("referredby") || k == QLatin1String("referral"))
        return Relation::ReferredBy;
    return Relation::Other;
}

QString capitalized(const QString &text)
{
    return text.isEmpty() ? text : text.left(1).toUpper() + text.mid(1);
}

void addRelation(ContactRecord &record, const QString &kind, const QString &name)
{
    if (name.isEmpty())
        return;
    switch (relationOf(kind)) {
    case Relation::Spouse:
        if (record[SpouseName].isEmpty())
            record[SpouseName] = name;
        else if (record[SpouseName] != name)
            appendNoteLine(record, capitalized(kind), name);
        return;
    case Relation::Child:
        if (record[ChildrenNames].isEmpty())
            record[ChildrenNames] = name;
        else if (!record[ChildrenNames].split(QStringLiteral(", ")).contains(name))
            record[ChildrenNames] += QStringLiteral(", ") + name;
        return;
    case Relation::ReferredBy:
        if (record[ReferredBy].isEmpty())
            record[ReferredBy] = name;
        else if (record[ReferredBy] != name)
            appendNoteLine(record, QStringLiteral("Referred by"), name);
        return;
    case Relation::Other:
        appendNoteLine(record, kind.isEmpty() ? QStringLiteral("Related") : capitalized(kind), name);
        return;
    }
}

// An extension written after the number by other programs: "x204",
// "ext. 204", "extension 204", or a tel: URI's ";ext=204".
bool splitExtension(QString &number, QString &extension)
{
    static const QRegularExpression uri(QStringLiteral(";\\s*ext=([^;]+)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression written(
        QStringLiteral("^(.*\\d.*?)[\\s,;]*(?:\\bx|\\bext\\.?|\\bextension)\\s*[:.#]?\\s*(\\d+)\\s*$"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = uri.match(number); match.hasMatch()) {
        extension = match.captured(1).trimmed();
        number.remove(match.capturedStart(), match.capturedLength());
        return true;
    }
    if (const QRegularExpressionMatch match = written.match(number); match.hasMatch()) {
        extension = match.captured(2);
        number = match.captured(1).trimmed();
        return true;
    }
    return false;
}

struct Phone {
    QString number;
    QString label; // for a Notes line
    int field = -1; // -1: a Notes line only
    int rank = 0;   // lower wins the field
};

// Where a TEL goes: explicit types win over untyped numbers, the work fax
// over other faxes.
Phone classifyPhone(const VCardProperty &p, const QString &groupLabel)
{
    Phone phone;
    const QStringList types = p.types();
    const QString label = groupLabel.toLower();
    auto has = [&](const char *type, const char *word) {
        return types.contains(QLatin1String(type)) || (word && label.contains(QLatin1String(word)));
    };
    const bool fax = has("FAX", "fax");
    const bool cell = has("CELL", "mobile") || has("IPHONE", "iphone") || has("MOBILE", "cell");
    const bool home = has("HOME", "home");
    const bool work = has("WORK", "work");
    const bool pager = has("PAGER", "pager");
    const bool other = has("OTHER", "other") || (!label.isEmpty() && !fax && !cell && !home && !work && !label.contains(QLatin1String("main")));
    if (fax) {
        phone.field = FaxNumber;
        phone.rank = work ? 0 : home ? 2 : 1;
    } else if (pager) {
        phone.field = -1;
    } else if (cell) {
        phone.field = MobilePhone;
    } else if (home) {
        phone.field = HomePhone;
    } else if (work) {
        phone.field = WorkPhone;
    } else if (other) {
        phone.field = -1;
    } else {
        phone.field = WorkPhone; // untyped, VOICE, PREF, MAIN
        phone.rank = 1;
    }
    phone.label = labelFor(p);
    if (!groupLabel.isEmpty())
        phone.label = QStringLiteral("Phone (%1)").arg(groupLabel);
    return phone;
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
    add(QStringLiteral("PRODID"), {kProductId});
    if (!record.uid.isEmpty())
        add(QStringLiteral("UID"), {record.uid});
    add(QStringLiteral("N"), {record[LastName], record[FirstName], QString(), QString(), QString()});
    // Readers show FN: a contact without a name is named by its company or
    // e-mail address, or at least by a number.
    QString formatted = displayName(record);
    for (const int field : {WorkPhone, MobilePhone, HomePhone})
        if (formatted.isEmpty())
            formatted = record[field].trimmed();
    if (formatted.isEmpty())
        formatted = QStringLiteral("(no name)");
    add(QStringLiteral("FN"), {formatted});
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
    for (const auto &[field, types] : phones) {
        if (record[field].isEmpty())
            continue;
        // Other programs show the extension only as part of the number.
        const QString number = field == WorkPhone && !record[WorkExtension].isEmpty()
                                   ? record[field] + kExtensionMark + record[WorkExtension]
                                   : record[field];
        add(QStringLiteral("TEL"), {number}, types);
    }
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
    QStringList empty;
    for (int field = FirstName; field < FieldCount; ++field)
        if (record.holdsEmptyText(field) && record[field].isEmpty() && field != ContactTypeID)
            empty << fieldNames()[field];
    if (!empty.isEmpty())
        add(kEmptyTexts, {empty.join(QLatin1Char(','))});
    return VCardLibrary::instance().write(card);
}

ContactRecord recordFromVCard(const VCard &card, QStringList &notKeptOut)
{
    ContactRecord record;
    QString formattedName;
    QStringList notKept;
    // Apple and Google label a property by a second one of the same group
    // ("item5.X-ABRELATEDNAMES" labelled by "item5.X-ABLabel").
    QHash<QString, QString> groupLabels;
    bool ours = false;
    for (const VCardProperty &p : card.properties) {
        if (p.name == QLatin1String("X-ABLABEL") && !p.group.isEmpty())
            groupLabels.insert(p.group.toLower(), cleanLabel(textOf(p)));
        else if (p.name == QLatin1String("PRODID") && textOf(p) == kProductId)
            ours = true;
    }
    QList<Phone> phones;
    QString ownExtension;
    for (const VCardProperty &p : card.properties) {
        const QString &name = p.name;
        const QString groupLabel = p.group.isEmpty() ? QString() : groupLabels.value(p.group.toLower());
        const QString label = groupLabel.isEmpty() ? labelFor(p) : labelFor(p, false) + QStringLiteral(" (") + groupLabel + QLatin1Char(')');
        if (name == QLatin1String("N")) {
            record[LastName] = textOf(p, 0);
            record[FirstName] = textOf(p, 1);
            const char *parts[] = {"Middle name", "Name prefix", "Name suffix"};
            for (int i = 0; i < 3; ++i)
                if (!textOf(p, 2 + i).isEmpty())
                    appendNoteLine(record, QString::fromLatin1(parts[i]), textOf(p, 2 + i));
        } else if (name == QLatin1String("FN")) {
            formattedName = textOf(p);
        } else if (name == QLatin1String("UID")) {
            if (record.uid.isEmpty())
                record.uid = textOf(p).trimmed();
        } else if (name == QLatin1String("X-ABLABEL")) {
            // applied to the property of its group
        } else if (name == QLatin1String("ORG")) {
            fillOrNote(record, CompanyName, p, textOf(p, 0), label);
            for (qsizetype i = 1; i < p.values.size(); ++i)
                if (!textOf(p, i).isEmpty())
                    appendNoteLine(record, QStringLiteral("Department"), textOf(p, i));
        } else if (name == QLatin1String("TITLE")) {
            fillOrNote(record, Title, p, textOf(p), label);
        } else if (name == QLatin1String("EMAIL")) {
            fillOrNote(record, EmailName, p, textOf(p), label);
        } else if (name == QLatin1String("TEL")) {
            Phone phone = classifyPhone(p, groupLabel);
            // This program's own numbers come back exactly as stored.
            phone.number = ours ? textOf(p) : textOf(p).trimmed();
            if (!ours && phone.number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                phone.number = phone.number.mid(4);
            if (!phone.number.isEmpty())
                phones << phone;
        } else if (name == QLatin1String("ADR")) {
            const bool free = (record[Address] + record[City] + record[StateOrProvince] + record[PostalCode]
                               + record[Country]).isEmpty();
            if (free) {
                const QString box = textOf(p, 0).trimmed();
                if (!box.isEmpty())
                    appendNoteLine(record, QStringLiteral("Post office box"), box);
                // The extended part (suite, building, c/o) is a line of the
                // street address; Gmail writes a whole address into it.
                QStringList lines;
                for (const qsizetype part : {qsizetype(2), qsizetype(1)})
                    if (!textOf(p, part).isEmpty())
                        lines << textOf(p, part);
                record[Address] = lines.join(QLatin1Char('\n'));
                record[City] = textOf(p, 3);
                record[StateOrProvince] = textOf(p, 4);
                record[PostalCode] = textOf(p, 5);
                record[Country] = textOf(p, 6);
            } else {
                QStringList parts;
                for (qsizetype i = 0; i < p.values.size(); ++i)
                    if (!textOf(p, i).isEmpty())
                        parts << QString(textOf(p, i)).replace(QLatin1Char('\n'), QStringLiteral(", "));
                if (!parts.isEmpty())
                    appendNoteLine(record, label, parts.join(QStringLiteral(", ")));
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
            QStringList categories;
            for (const QString &value : p.values)
                categories += ours ? QStringList{value} : value.split(QLatin1Char(','));
            for (const QString &raw : categories) {
                const QString category = ours ? raw : raw.trimmed();
                if (category.isEmpty())
                    continue;
                if (record.typeName.isEmpty())
                    record.typeName = category;
                else
                    appendNoteLine(record, labelFor(p), category);
            }
        } else if (name == QLatin1String("RELATED") || name == QLatin1String("X-ABRELATEDNAMES")) {
            const QStringList types = p.types();
            const QString kind = !groupLabel.isEmpty() ? groupLabel : types.isEmpty() ? QString() : types.first().toLower();
            addRelation(record, kind, textOf(p));
        } else if (name == QLatin1String("X-EVOLUTION-SPOUSE") || name == QLatin1String("X-SPOUSE")
                   || name == QLatin1String("X-MS-SPOUSE") || name == QLatin1String("X-KADDRESSBOOK-X-SPOUSENAME")) {
            fillOrNote(record, SpouseName, p, textOf(p), QStringLiteral("Spouse"));
        } else if (name == QLatin1String("X-MS-CHILD") || name == QLatin1String("X-CHILD") || name == QLatin1String("X-CHILDREN")) {
            addRelation(record, QStringLiteral("child"), textOf(p));
        } else if (name == QLatin1String("X-ASSISTANT") || name == QLatin1String("X-EVOLUTION-ASSISTANT")
                   || name == QLatin1String("X-MS-ASSISTANT") || name == QLatin1String("X-KADDRESSBOOK-X-ASSISTANTSNAME")) {
            if (!textOf(p).isEmpty())
                appendNoteLine(record, QStringLiteral("Assistant"), textOf(p));
        } else if (name == QLatin1String("X-MANAGER") || name == QLatin1String("X-EVOLUTION-MANAGER")
                   || name == QLatin1String("X-MS-MANAGER") || name == QLatin1String("X-KADDRESSBOOK-X-MANAGERSNAME")) {
            if (!textOf(p).isEmpty())
                appendNoteLine(record, QStringLiteral("Manager"), textOf(p));
        } else if (name == QLatin1String("X-ABDATE")) {
            if (!textOf(p).isEmpty())
                appendNoteLine(record, groupLabel.isEmpty() ? QStringLiteral("Date") : capitalized(groupLabel), textOf(p));
        } else if (name == QLatin1String("INTEREST")) {
            fillOrNote(record, ContactsInterests, p, textOf(p), label);
        } else if (name == QLatin1String("PHOTO") || name == QLatin1String("LOGO") || name == QLatin1String("SOUND")
                   || name == QLatin1String("KEY")) {
            notKept << name;
        } else if (name == QLatin1String("VERSION") || name == QLatin1String("PRODID") || name == QLatin1String("REV")
                   || name == QLatin1String("X-EVOLUTION-FILE-AS") || name == QLatin1String("X-ABUID")
                   || name == QLatin1String("X-ABSHOWAS") || name == QLatin1String("X-ABADR")
                   || name == QLatin1String("X-MS-OL-DEFAULT-POSTAL-ADDRESS") || name == QLatin1String("LABEL")) {
            // bookkeeping of the writing program
        } else if (name == kEmptyTexts) {
            for (const QString &fieldName : textOf(p).split(QLatin1Char(','))) {
                const int field = int(fieldNames().indexOf(fieldName.trimmed()));
                if (field > ContactID && field != ContactTypeID)
                    record.markEmptyText(field);
            }
        } else if (name == QLatin1String("X-CORVANTA-WORKEXTENSION") && ours) {
            ownExtension = textOf(p);
        } else {
            bool extra = false;
            for (const ExtraField &field : extraFields) {
                if (name == QLatin1String(field.property)) {
                    fillOrNote(record, field.field, p, textOf(p));
                    extra = true;
                }
            }
            if (!extra && !textOf(p).isEmpty())
                appendNoteLine(record, label, textOf(p));
        }
    }

    // Each phone field takes its best number; the others become Notes lines.
    QList<int> winners(FieldCount, -1);
    for (qsizetype i = 0; i < phones.size(); ++i) {
        const int field = phones[i].field;
        if (field >= 0 && (winners[field] < 0 || phones[i].rank < phones[winners[field]].rank))
            winners[field] = int(i);
    }
    for (qsizetype i = 0; i < phones.size(); ++i) {
        Phone &phone = phones[i];
        if (phone.field < 0 || winners[phone.field] != i) {
            appendNoteLine(record, phone.label, phone.number);
            continue;
        }
        if (phone.field == WorkPhone) {
            if (ours) {
                // This program writes the extension after the number.
                if (!ownExtension.isEmpty() && phone.number.endsWith(kExtensionMark + ownExtension))
                    phone.number.chop(kExtensionMark.size() + ownExtension.size());
            } else {
                QString extension;
                if (splitExtension(phone.number, extension) && record[WorkExtension].isEmpty())
                    record[WorkExtension] = extension;
            }
        }
        record[phone.field] = phone.number;
    }
    if (ours && !ownExtension.isEmpty())
        record[WorkExtension] = ownExtension;

    if (!ours && record[FirstName].isEmpty() && record[LastName].isEmpty() && !formattedName.isEmpty()
        && formattedName != record[CompanyName] && formattedName != record[EmailName]) {
        const qsizetype blank = formattedName.lastIndexOf(QLatin1Char(' '));
        record[FirstName] = blank < 0 ? formattedName : formattedName.left(blank);
        record[LastName] = blank < 0 ? QString() : formattedName.mid(blank + 1);
    }
    const QString named = displayName(record).isEmpty() ? QStringLiteral("without a name") : displayName(record);
    if (card.unterminated)
        record.damage = QStringLiteral("The last card (%1) ends without END:VCARD: it was cut short; what it held was imported.").arg(named);
    else if (card.nulsRemoved > 0)
        record.damage = QStringLiteral("The card %1 held %2 NUL bytes: it was cut there; they were left out and the rest was imported.")
                            .arg(named).arg(card.nulsRemoved);
    for (const QString &name : notKept)
        notKeptOut << name + QStringLiteral(" of ") + displayName(record);
    return record;
}

} // namespace exchange
