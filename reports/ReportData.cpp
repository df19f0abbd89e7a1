#include "ReportData.h"

#include "frame/Collation.h"
#include "frame/Formats.h"
#include "store/ReportStore.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <string>
#include <limits>
#include <numeric>

namespace report {

namespace {

// How "mm/dd/yyyy" prints under the system's locale: two-digit month and day
// and a four-digit year, in the order and with the separator of the locale's
// short date (08/31/2021 for en_US, 31.08.2021 for de_DE).
struct DateOrder {
    QString source; // the short date form it was made from
    QString separator = QStringLiteral("/");
    std::array<char, 3> parts{'M', 'd', 'y'};
};

DateOrder dateOrderOf(const QString &format)
{
    DateOrder order;
    order.source = format;
    // A short form that names the month (the C locale's "d MMM yyyy") has
    // no numeric order to follow: the report's own mm/dd/yyyy stays.
    if (format.contains(QLatin1String("MMM")))
        return order;
    bool separatorFound = false;
    std::string seen;
    for (const QChar c : format) {
        const char letter = c.toLatin1();
        if (letter == 'd' || letter == 'M' || letter == 'y') {
            if (seen.find(letter) == std::string::npos)
                seen += letter;
        } else if (!c.isLetter() && !separatorFound) {
            order.separator = QString(c);
            separatorFound = true;
        }
    }
    if (seen.size() == 3)
        std::copy(seen.begin(), seen.end(), order.parts.begin());
    return order;
}

// The order of the current locale, read again when the locale's form changed.
DateOrder &dateOrder()
{
    static DateOrder order = dateOrderOf(shortDateFormat());
    return order;
}

void refreshDateOrder()
{
    const QString format = shortDateFormat();
    if (format != dateOrder().source)
        dateOrder() = dateOrderOf(format);
}

QString storedText(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// The columns a section's text boxes print, with their formats.
struct Columns {
    QStringList names;
    std::vector<Format> formats;
};

Columns printedColumns(const Section &section)
{
    Columns columns;
    for (const Control &control : section.controls) {
        if (control.kind != ControlKind::TextBox)
            continue;
        columns.names << control.text;
        columns.formats.push_back(control.format);
    }
    return columns;
}

// The columns to read from a saved query: the printed ones first, then the
// relation column, then the columns the rows are ordered by.
QStringList columnsToRead(const Columns &printed, const QString &relationColumn, const QList<SortKey> &order)
{
    QStringList columns = printed.names;
    columns << relationColumn;
    for (const SortKey &key : order)
        columns << key.column;
    return columns;
}

// The sort keys of every row of a query, one list per key column.
class RowOrder {
public:
    RowOrder(const QueryRows &rows, const QList<SortKey> &order, qsizetype firstColumn, const QCollator &collator)
    {
        for (qsizetype k = 0; k < order.size(); ++k) {
            Keys keys;
            keys.kind = order[k].kind;
            const qsizetype column = firstColumn + k;
            for (const QVariantList &row : rows.rows) {
                const QVariant &value = row[column];
                switch (keys.kind) {
                case SortKind::Text:
                    keys.texts.push_back(collator.sortKey(value.isNull() ? QString() : value.toString().trimmed()));
                    break;
                case SortKind::Number:
                    keys.numbers.push_back(value.isNull() ? std::numeric_limits<qint64>::min() : value.toLongLong());
                    break;
                case SortKind::Date: {
                    const QDate date = storedDate(value);
                    keys.numbers.push_back(date.isValid() ? date.toJulianDay() : std::numeric_limits<qint64>::min());
                    break;
                }
                case SortKind::Time: {
                    const QTime time = storedTime(value);
                    keys.numbers.push_back(time.isValid() ? time.msecsSinceStartOfDay() : -1);
                    break;
                }
                }
            }
            m_keys.push_back(std::move(keys));
        }
    }

    bool less(int a, int b) const
    {
        for (const Keys &keys : m_keys) {
            int order = 0;
            if (keys.kind == SortKind::Text) {
                order = keys.texts[size_t(a)].compare(keys.texts[size_t(b)]);
            } else {
                const qint64 x = keys.numbers[size_t(a)];
                const qint64 y = keys.numbers[size_t(b)];
                order = x < y ? -1 : (x > y ? 1 : 0);
            }
            if (order != 0)
                return order < 0;
        }
        return false;
    }

private:
    struct Keys {
        SortKind kind = SortKind::Text;
        std::vector<QCollatorSortKey> texts;
        std::vector<qint64> numbers;
    };
    std::vector<Keys> m_keys;
};

// The relation value of a row as the key groups are matched by.
QString relationKey(const QVariant &value)
{
    return value.isNull() ? QString() : value.toString();
}

// Replaces the relation values (and any printed copy of them) by the letter
// a reader groups them under.
void foldLetters(QueryRows &rows, qsizetype relation, const QCollator &collator)
{
    const QString relationName = rows.columns.at(relation);
    for (QVariantList &row : rows.rows) {
        const QString letter = groupLetter(relationKey(row[relation]), collator);
        for (qsizetype i = 0; i < rows.columns.size(); ++i) {
            if (rows.columns.at(i) == relationName)
                row[i] = letter;
        }
    }
}

// Row numbers 0..count-1 in the order of the keys; equal rows keep their order.
std::vector<int> sortedRows(const QueryRows &rows, const RowOrder &order, qsizetype relation, bool emptyLast)
{
    std::vector<int> sorted(size_t(rows.rows.size()));
    std::iota(sorted.begin(), sorted.end(), 0);
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        if (emptyLast) {
            const bool emptyA = relationKey(rows.rows[a][relation]).isEmpty();
            const bool emptyB = relationKey(rows.rows[b][relation]).isEmpty();
            if (emptyA != emptyB)
                return emptyB;
        }
        return order.less(a, b);
    });
    return sorted;
}

// The sort keys of a stream of rows, held compactly: a text as the rank of
// its collated order among the distinct texts of its column, a date as its
// day number, a time as milliseconds, a number as itself.
class CompactKeys {
public:
    explicit CompactKeys(const QList<SortKey> &order)
    {
        for (const SortKey &key : order)
            m_keys.push_back(Keys{key.kind, {}, {}, {}, {}});
    }

    void add(const QVariant *values)
    {
        for (size_t k = 0; k < m_keys.size(); ++k) {
            Keys &keys = m_keys[k];
            const QVariant &value = values[k];
            switch (keys.kind) {
            case SortKind::Text: {
                const QString text = value.isNull() ? QString() : value.toString().trimmed();
                const auto found = keys.ids.constFind(text);
                if (found != keys.ids.constEnd()) {
                    keys.small.push_back(*found);
                } else {
                    const qint32 id = qint32(keys.distinct.size());
                    keys.ids.insert(text, id);
                    keys.distinct.push_back(text);
                    keys.small.push_back(id);
                }
                break;
            }
            case SortKind::Number:
                keys.large.push_back(value.isNull() ? std::numeric_limits<qint64>::min() : value.toLongLong());
                break;
            case SortKind::Date: {
                const QDate date = storedDate(value);
                keys.small.push_back(date.isValid() ? qint32(date.toJulianDay()) : std::numeric_limits<qint32>::min());
                break;
            }
            case SortKind::Time: {
                const QTime time = storedTime(value);
                keys.small.push_back(time.isValid() ? time.msecsSinceStartOfDay() : -1);
                break;
            }
            }
        }
    }

    // Turns the texts' ids into their collated ranks; equal texts (for the
    // collator) share a rank.
    void rankTexts(const QCollator &collator)
    {
        for (Keys &keys : m_keys) {
            if (keys.kind != SortKind::Text)
                continue;
            std::vector<QCollatorSortKey> sortKeys;
            sortKeys.reserve(keys.distinct.size());
            for (const QString &text : keys.distinct)
                sortKeys.push_back(collator.sortKey(text));
            std::vector<qint32> byOrder(keys.distinct.size());
            std::iota(byOrder.begin(), byOrder.end(), 0);
            std::sort(byOrder.begin(), byOrder.end(),
                      [&sortKeys](qint32 a, qint32 b) { return sortKeys[size_t(a)].compare(sortKeys[size_t(b)]) < 0; });
            std::vector<qint32> rank(keys.distinct.size());
            qint32 current = 0;
            for (size_t i = 0; i < byOrder.size(); ++i) {
                if (i > 0 && sortKeys[size_t(byOrder[i - 1])].compare(sortKeys[size_t(byOrder[i])]) != 0)
                    ++current;
                rank[size_t(byOrder[i])] = current;
            }
            for (qint32 &value : keys.small)
                value = rank[size_t(value)];
            keys.ids.clear();
            keys.distinct.clear();
            keys.distinct.shrink_to_fit();
        }
    }

    bool less(int a, int b) const
    {
        for (const Keys &keys : m_keys) {
            if (keys.kind == SortKind::Number) {
                const qint64 x = keys.large[size_t(a)];
                const qint64 y = keys.large[size_t(b)];
                if (x != y)
                    return x < y;
            } else {
                const qint32 x = keys.small[size_t(a)];
                const qint32 y = keys.small[size_t(b)];
                if (x != y)
                    return x < y;
            }
        }
        return false;
    }

private:
    struct Keys {
        SortKind kind = SortKind::Text;
        std::vector<qint32> small;  // texts' ranks, days, milliseconds
        std::vector<qint64> large;  // numbers
        QHash<QString, qint32> ids; // texts while reading
        std::vector<QString> distinct;
    };
    std::vector<Keys> m_keys;
};

} // namespace

QString formatValue(const QVariant &value, Format format)
{
    if (value.isNull())
        return {};
    switch (format) {
    case Format::General:
        break;
    case Format::Phone:
        return phoneDisplayText(value.toString());
    case Format::DateMDY: {
        const QDate date = storedDate(value);
        if (!date.isValid())
            break;
        const DateOrder &order = dateOrder();
        const QLatin1Char zero('0');
        QString text;
        for (const char part : order.parts) {
            if (!text.isEmpty())
                text += order.separator;
            if (part == 'M')
                text += QString::number(date.month()).rightJustified(2, zero);
            else if (part == 'd')
                text += QString::number(date.day()).rightJustified(2, zero);
            else
                text += QString::number(date.year()).rightJustified(4, zero);
        }
        return text + QLatin1Char(' ');
    }
    case Format::TimeAmPm: {
        const QTime time = storedTime(value);
        if (!time.isValid())
            break;
        return formatTimeAmPm(time);
    }
    }
    QString text = storedText(value);
    // A TAB would run into the next column: it prints as a blank.
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    return text;
}

Result<GroupedRows> readGroupedRows(const Definition &definition, ReportStore &store)
{
    refreshDateOrder();
    const Columns detail = printedColumns(definition.section(SectionKind::Detail));
    const Columns header = printedColumns(definition.section(SectionKind::GroupHeader));
    const QCollator collator = userCollator();
    const qsizetype childKey = detail.names.size();
    const qsizetype parentKey = header.names.size();

    GroupedRows rows;
    rows.detailColumns = int(detail.names.size());
    rows.headerColumns = int(header.names.size());
    QString why;
    if (!rows.details.open(rows.detailColumns, &why))
        return failure(why);

    // The detail rows as a stream: their texts go to the file, their keys
    // and relation values stay.
    CompactKeys keys(definition.detailOrder);
    std::vector<qint32> relationOf;
    QHash<QString, qint32> relationIds;
    QHash<QString, QString> letters; // relation values folded to their letter
    std::vector<QString> texts(size_t(rows.detailColumns));
    const Status read = store.forEachRow(
        definition.detailQuery, columnsToRead(detail, definition.relationColumn, definition.detailOrder),
        [&](const QVariant *values) {
            for (qsizetype i = 0; i < childKey; ++i)
                texts[size_t(i)] = formatValue(values[i], detail.formats[size_t(i)]);
            QString relation = relationKey(values[childKey]);
            if (definition.letterGroups) {
                auto letter = letters.constFind(relation);
                if (letter == letters.constEnd())
                    letter = letters.insert(relation, groupLetter(relation, collator));
                relation = *letter;
                // A printed copy of the relation value prints the letter.
                for (qsizetype i = 0; i < childKey; ++i) {
                    if (detail.names.at(i) == definition.relationColumn)
                        texts[size_t(i)] = relation;
                }
            }
            rows.details.append(texts.data());
            const auto id = relationIds.constFind(relation);
            relationOf.push_back(id != relationIds.constEnd() ? *id
                                                               : *relationIds.insert(relation, qint32(relationIds.size())));
            keys.add(values + childKey + 1);
        });
    if (!read)
        return read.error();
    if (!rows.details.finish(&why))
        return failure(why);

    // The child rows in order, then bucketed by relation value (in order).
    std::vector<int> sortedChildren(relationOf.size());
    std::iota(sortedChildren.begin(), sortedChildren.end(), 0);
    keys.rankTexts(collator);
    std::stable_sort(sortedChildren.begin(), sortedChildren.end(), [&keys](int a, int b) { return keys.less(a, b); });
    keys = CompactKeys({});
    std::vector<std::vector<int>> byRelation(size_t(relationIds.size()));
    for (const int child : sortedChildren)
        byRelation[size_t(relationOf[size_t(child)])].push_back(child);
    std::vector<char> used(byRelation.size(), 0);

    Result<QueryRows> parents = store.savedQuery(
        definition.groupQuery, columnsToRead(header, definition.relationColumn, definition.groupOrder));
    if (!parents)
        return parents.error();
    if (definition.letterGroups)
        foldLetters(*parents, parentKey, collator);

    // One group per distinct relation value of the parents, in sorted order,
    // holding the children whose value is equal; a group without children is
    // left out.
    rows.detailOrder.reserve(sortedChildren.size());
    const auto addGroup = [&rows](const std::vector<int> &members, const auto &headerText) {
        GroupedRows::Group group;
        group.firstHeaderText = int(rows.headerTexts.size());
        for (int i = 0; i < rows.headerColumns; ++i)
            rows.headerTexts.push_back(headerText(i));
        group.begin = int(rows.detailOrder.size());
        rows.detailOrder.insert(rows.detailOrder.end(), members.begin(), members.end());
        group.end = int(rows.detailOrder.size());
        rows.groups.push_back(group);
    };
    const RowOrder order(*parents, definition.groupOrder, parentKey + 1, collator);
    for (const int parent : sortedRows(*parents, order, parentKey, true)) {
        const QVariantList &row = parents->rows[parent];
        const auto found = relationIds.constFind(relationKey(row[parentKey]));
        if (found == relationIds.constEnd() || used[size_t(*found)])
            continue;
        used[size_t(*found)] = 1;
        std::vector<int> &members = byRelation[size_t(*found)];
        if (members.empty())
            continue;
        addGroup(members, [&](int i) { return formatValue(row[i], header.formats[size_t(i)]); });
        std::vector<int>().swap(members);
    }

    // Children that no parent row names still print, under an empty heading.
    std::vector<int> unmatched;
    for (const int child : sortedChildren) {
        if (!used[size_t(relationOf[size_t(child)])])
            unmatched.push_back(child);
    }
    if (!unmatched.empty())
        addGroup(unmatched, [](int) { return QString(); });

    // The rows go to a file of their own in print order, so that laying out
    // the pages reads it front to back.
    std::vector<int>().swap(sortedChildren);
    std::vector<qint32>().swap(relationOf);
    if (!rows.details.reorder(rows.detailOrder, &why))
        return failure(why);
    std::iota(rows.detailOrder.begin(), rows.detailOrder.end(), 0);
    return rows;
}

} // namespace report
