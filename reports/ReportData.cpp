#include "ReportData.h"

#include "frame/Collation.h"
#include "frame/Formats.h"
#include "store/ReportStore.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <numeric>

namespace report {

namespace {

// The separator of the system's short date form ("/" for en_US).
QString dateSeparator()
{
    const QString format = shortDateFormat();
    for (const QChar c : format) {
        if (!c.isLetter())
            return QString(c);
    }
    return QStringLiteral("/");
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
        static const QString separator = dateSeparator();
        const QLatin1Char zero('0');
        return QString::number(date.month()).rightJustified(2, zero) + separator
            + QString::number(date.day()).rightJustified(2, zero) + separator
            + QString::number(date.year()).rightJustified(4, zero) + QLatin1Char(' ');
    }
    case Format::TimeAmPm: {
        const QTime time = storedTime(value);
        if (!time.isValid())
            break;
        return formatTimeAmPm(time);
    }
    }
    return storedText(value);
}

Result<GroupedRows> readGroupedRows(const Definition &definition, ReportStore &store)
{
    const Columns detail = printedColumns(definition.section(SectionKind::Detail));
    const Columns header = printedColumns(definition.section(SectionKind::GroupHeader));
    Result<QueryRows> children = store.savedQuery(
        definition.detailQuery, columnsToRead(detail, definition.relationColumn, definition.detailOrder));
    if (!children)
        return children.error();
    Result<QueryRows> parents = store.savedQuery(
        definition.groupQuery, columnsToRead(header, definition.relationColumn, definition.groupOrder));
    if (!parents)
        return parents.error();

    const QCollator collator = userCollator();
    const qsizetype childKey = detail.names.size();
    const qsizetype parentKey = header.names.size();
    if (definition.letterGroups) {
        foldLetters(*children, childKey, collator);
        foldLetters(*parents, parentKey, collator);
    }

    GroupedRows rows;
    rows.detailColumns = int(detail.names.size());
    rows.headerColumns = int(header.names.size());

    // The detail texts in read order, and the child rows bucketed by their
    // relation value in their sorted order.
    rows.detailTexts.reserve(size_t(children->rows.size()) * size_t(rows.detailColumns));
    for (const QVariantList &child : children->rows) {
        for (qsizetype i = 0; i < childKey; ++i)
            rows.detailTexts.push_back(formatValue(child[i], detail.formats[size_t(i)]));
    }
    std::vector<int> sortedChildren;
    {
        const RowOrder order(*children, definition.detailOrder, childKey + 1, collator);
        sortedChildren = sortedRows(*children, order, childKey, false);
    }
    QHash<QString, std::vector<int>> byKey;
    for (const int child : sortedChildren)
        byKey[relationKey(children->rows[child][childKey])].push_back(child);

    // One group per distinct relation value of the parents, in sorted order,
    // holding the children whose value is equal; a group without children is
    // left out.
    rows.detailOrder.reserve(size_t(children->rows.size()));
    const RowOrder order(*parents, definition.groupOrder, parentKey + 1, collator);
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
    for (const int parent : sortedRows(*parents, order, parentKey, true)) {
        const QVariantList &row = parents->rows[parent];
        const auto found = byKey.find(relationKey(row[parentKey]));
        if (found == byKey.end() || found->empty())
            continue;
        addGroup(*found, [&](int i) { return formatValue(row[i], header.formats[size_t(i)]); });
        byKey.erase(found);
    }

    // Children that no parent row names still print, under an empty heading.
    if (!byKey.isEmpty()) {
        std::vector<int> unmatched;
        for (const int child : sortedChildren) {
            if (byKey.contains(relationKey(children->rows[child][childKey])))
                unmatched.push_back(child);
        }
        addGroup(unmatched, [](int) { return QString(); });
    }
    return rows;
}

} // namespace report
