#include "ReportData.h"

#include "frame/Formats.h"
#include "store/ReportStore.h"

#include <QHash>

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
// relation column.
QStringList columnsToRead(const Columns &printed, const QString &relationColumn)
{
    return QStringList(printed.names) << relationColumn;
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
    Result<QueryRows> children = store.savedQuery(definition.detailQuery,
                                                  columnsToRead(detail, definition.relationColumn));
    if (!children)
        return children.error();
    Result<QueryRows> parents = store.savedQuery(definition.groupQuery,
                                                 columnsToRead(header, definition.relationColumn));
    if (!parents)
        return parents.error();

    GroupedRows rows;
    rows.detailColumns = int(detail.names.size());
    rows.headerColumns = int(header.names.size());

    // The child rows first, bucketed by their relation value in read order.
    const qsizetype childKey = detail.names.size();
    QHash<QString, std::vector<int>> byKey;
    int childCount = 0;
    rows.detailTexts.reserve(size_t(children->rows.size()) * size_t(rows.detailColumns));
    for (const QVariantList &child : children->rows) {
        for (qsizetype i = 0; i < childKey; ++i)
            rows.detailTexts.push_back(formatValue(child[i], detail.formats[size_t(i)]));
        const QVariant &key = child[childKey];
        if (!key.isNull())
            byKey[key.toString()].push_back(childCount);
        ++childCount;
    }

    // Then one group per parent row, with the children whose value is equal.
    const qsizetype parentKey = header.names.size();
    rows.detailOrder.reserve(size_t(childCount));
    for (const QVariantList &parent : parents->rows) {
        GroupedRows::Group group;
        group.firstHeaderText = int(rows.headerTexts.size());
        for (qsizetype i = 0; i < parentKey; ++i)
            rows.headerTexts.push_back(formatValue(parent[i], header.formats[size_t(i)]));
        group.begin = int(rows.detailOrder.size());
        const QVariant &key = parent[parentKey];
        if (!key.isNull()) {
            const auto found = byKey.constFind(key.toString());
            if (found != byKey.constEnd())
                rows.detailOrder.insert(rows.detailOrder.end(), found->begin(), found->end());
        }
        group.end = int(rows.detailOrder.size());
        rows.groups.push_back(group);
    }
    return rows;
}

} // namespace report
