// The vCard library of GNOME's address book (libebook-contacts), used
// without its daemon.
#include "VCardLibrary.h"

#include <libebook-contacts/libebook-contacts.h>

namespace exchange {

QStringList VCardProperty::parameter(const QString &wanted) const
{
    QStringList found;
    for (const auto &[name, values] : parameters)
        if (name == wanted)
            found += values;
    return found;
}

QStringList VCardProperty::types() const
{
    QStringList found;
    for (const QString &type : parameter(QStringLiteral("TYPE")))
        for (const QString &part : type.split(QLatin1Char(','), Qt::SkipEmptyParts))
            found << part.trimmed().toUpper();
    return found;
}

namespace {

bool isQuotedPrintableStart(const QString &line)
{
    // A folded continuation line holds no parameters.
    if (line.startsWith(QLatin1Char(' ')) || line.startsWith(QLatin1Char('\t')))
        return false;
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    return line.left(colon).contains(QLatin1String("QUOTED-PRINTABLE"), Qt::CaseInsensitive);
}

// 2.1 cards break quoted-printable values with a "=" at the line end and no
// blank on the next line; joining them keeps the line structure of the rest.
QStringList joinSoftLineBreaks(const QStringList &lines)
{
    bool any = false;
    for (const QString &line : lines)
        any = any || (line.endsWith(QLatin1Char('=')) && isQuotedPrintableStart(line));
    if (!any)
        return lines;
    QStringList joined;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (isQuotedPrintableStart(line)) {
            while (line.endsWith(QLatin1Char('=')) && i + 1 < lines.size()) {
                line.chop(1);
                line += lines[++i];
            }
        }
        joined << line;
    }
    return joined;
}

// Apple and Google escape ':' and '"' in values, which vCard does not know;
// the character is meant. "\\:" stays a backslash and a colon.
void unescapeExtras(QString &line)
{
    if (!line.contains(QLatin1String("\\:")) && !line.contains(QLatin1String("\\\"")))
        return;
    QString out;
    out.reserve(line.size());
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            const QChar after = line[i + 1];
            if (after == QLatin1Char(':') || after == QLatin1Char('"')) {
                out += after;
                ++i;
                continue;
            }
            out += c;
            out += after;
            ++i;
            continue;
        }
        out += c;
    }
    line = out;
}

// The warnings libebook logs while it reads a value it has to mend, counted
// per thread instead of reaching standard error.
thread_local int t_libraryWarnings = 0;

void countWarning(const gchar *, GLogLevelFlags, const gchar *, gpointer)
{
    ++t_libraryWarnings;
}

void captureLibraryWarnings()
{
    static const bool installed = [] {
        g_log_set_handler("libebook-contacts",
                          GLogLevelFlags(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE | G_LOG_LEVEL_INFO | G_LOG_LEVEL_DEBUG
                                         | G_LOG_LEVEL_CRITICAL),
                          countWarning, nullptr);
        return true;
    }();
    (void)installed;
}

// Names and parameter names in upper case; most are already.
QString upperName(const char *name)
{
    QString text = QString::fromUtf8(name);
    for (const QChar c : std::as_const(text))
        if (c.unicode() >= 0x80 || (c >= QLatin1Char('a') && c <= QLatin1Char('z')))
            return text.toUpper();
    return text;
}

VCard fromEds(EVCard *evc)
{
    VCard card;
    GList *attributes = e_vcard_get_attributes(evc);
    card.properties.reserve(g_list_length(attributes));
    for (GList *a = attributes; a; a = a->next) {
        auto *attribute = static_cast<EVCardAttribute *>(a->data);
        VCardProperty property;
        property.group = QString::fromUtf8(e_vcard_attribute_get_group(attribute));
        property.name = upperName(e_vcard_attribute_get_name(attribute));
        for (GList *p = e_vcard_attribute_get_params(attribute); p; p = p->next) {
            auto *param = static_cast<EVCardAttributeParam *>(p->data);
            QStringList values;
            for (GList *v = e_vcard_attribute_param_get_values(param); v; v = v->next)
                values << QString::fromUtf8(static_cast<const char *>(v->data));
            property.parameters.append({upperName(e_vcard_attribute_param_get_name(param)), std::move(values)});
        }
        GList *values = e_vcard_attribute_get_values(attribute);
        property.values.reserve(g_list_length(values));
        for (GList *v = values; v; v = v->next)
            property.values << QString::fromUtf8(static_cast<const char *>(v->data));
        card.properties << std::move(property);
    }
    return card;
}

// Folds one logical line at 75 octets without splitting a UTF-8 sequence.
void appendFolded(QByteArray &out, const QByteArray &line)
{
    qsizetype start = 0;
    qsizetype limit = 75;
    while (line.size() - start > limit) {
        qsizetype end = start + limit;
        while (end > start && (static_cast<unsigned char>(line[end]) & 0xC0) == 0x80)
            --end;
        out += line.mid(start, end - start);
        out += "\r\n ";
        start = end;
        limit = 74;
    }
    out += line.mid(start);
    out += "\r\n";
}

class EdsVCardLibrary : public VCardLibrary {
public:
    QList<VCard> read(const QStringList &cardLines) const override
    {
        captureLibraryWarnings();
        QList<VCard> cards;
        const QStringList lines = joinSoftLineBreaks(cardLines);
        qsizetype first = 0;
        int depth = 0;
        auto parse = [&](qsizetype from, qsizetype to, bool unterminated) {
            // One conversion for the whole card.
            qsizetype size = 0;
            for (qsizetype j = from; j <= to; ++j)
                size += lines[j].size() + 2;
            QString text;
            text.reserve(size + 12);
            int nuls = 0;
            for (qsizetype j = from; j <= to; ++j) {
                QString line = lines[j];
                if (line.contains(QChar(0))) {
                    nuls += int(line.count(QChar(0)));
                    line.remove(QChar(0));
                }
                unescapeExtras(line);
                text += line;
                text += QLatin1String("\r\n");
            }
            if (unterminated)
                text += QLatin1String("END:VCARD\r\n");
            const QByteArray bytes = text.toUtf8();
            const int warningsBefore = t_libraryWarnings;
            EVCard *evc = e_vcard_new_from_string(bytes.constData());
            if (evc) {
                VCard card = fromEds(evc);
                g_object_unref(evc);
                card.nulsRemoved = nuls;
                card.unterminated = unterminated;
                card.repairs = t_libraryWarnings - warningsBefore;
                cards << std::move(card);
            }
        };
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QStringView word = QStringView(lines[i]).trimmed();
            if (word.compare(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive) == 0) {
                if (depth++ == 0)
                    first = i;
            }
            if (depth > 0 && word.compare(QLatin1String("END:VCARD"), Qt::CaseInsensitive) == 0 && --depth == 0)
                parse(first, i, false);
        }
        if (depth > 0) {
            qsizetype last = lines.size() - 1;
            while (last > first && lines[last].trimmed().isEmpty())
                --last;
            parse(first, last, true);
        }
        return cards;
    }

    QByteArray write(const VCard &card) const override
    {
        EVCard *evc = e_vcard_new();
        for (const VCardProperty &property : card.properties) {
            EVCardAttribute *attribute = e_vcard_attribute_new(
                property.group.isEmpty() ? nullptr : property.group.toUtf8().constData(), property.name.toUtf8().constData());
            for (const auto &[name, values] : property.parameters) {
                EVCardAttributeParam *param = e_vcard_attribute_param_new(name.toUtf8().constData());
                for (const QString &value : values)
                    e_vcard_attribute_param_add_value(param, value.toUtf8().constData());
                e_vcard_attribute_add_param(attribute, param);
            }
            for (const QString &value : property.values)
                e_vcard_attribute_add_value(attribute, value.toUtf8().constData());
            e_vcard_append_attribute(evc, attribute);
        }
        gchar *text = e_vcard_to_string(evc, EVC_FORMAT_VCARD_30);
        QByteArray written(text);
        g_free(text);
        g_object_unref(evc);

        // The library folds by characters; unfold and fold again by octets.
        written.replace("\r\n ", "");
        QByteArray out;
        for (const QByteArray &line : written.split('\n')) {
            QByteArray logical = line;
            if (logical.endsWith('\r'))
                logical.chop(1);
            if (!logical.isEmpty())
                appendFolded(out, logical);
        }
        return out;
    }
};

} // namespace

QList<VCard> VCardLibrary::read(const QString &text) const
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines)
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
    return read(lines);
}

const VCardLibrary &VCardLibrary::instance()
{
    static const EdsVCardLibrary library;
    return library;
}

} // namespace exchange
