#include "ReportData.h"

#include "contacts/FieldBoxes.h"
#include "frame/Failure.h"
#include "frame/Formats.h"

#include <QHash>
#include <QSqlQuery>
#include <QSqlRecord>

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

// The columns of a query that feed the text boxes of one section.
struct Columns {
    std::vector<int> indexes;
    std::vector<Format> formats;
};

Columns resolveColumns(const Section &section, const QSqlRecord &record, const QString &source)
{
    Columns columns;
    for (const Control &control : section.controls) {
        if (control.kind != ControlKind::TextBox)
            continue;
        const int index = record.indexOf(control.text);
        if (index < 0) {
            throw Failure(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                         "requested name or ordinal: %1 (%2).")
                              .arg(control.text, source));
        }
        columns.indexes.push_back(index);
        columns.formats.push_back(control.format);
    }
    return columns;
}

QSqlQuery runQuery(const QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    throwIfFailed(query.exec(sql), query);
    return query;
}

int relationIndex(const QSqlRecord &record, const QString &column, const QString &source)
{
    const int index = record.indexOf(column);
    if (index < 0) {
        throw Failure(QStringLiteral("The relation column %1 is missing from %2.").arg(column, source));
    }
    return index;
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
        return formatPhone(value.toString());
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

GroupedRows readGroupedRows(const Definition &definition, const QSqlDatabase &db)
{
    GroupedRows rows;

    // The child rows first, bucketed by their relation value in read order.
    QSqlQuery children = runQuery(db, definition.detailQuery);
    const QSqlRecord childRecord = children.record();
    const Columns detail = resolveColumns(definition.section(SectionKind::Detail), childRecord,
                                          definition.detailQuery);
    const int childKey = relationIndex(childRecord, definition.relationColumn, definition.detailQuery);
    rows.detailColumns = int(detail.indexes.size());
    QHash<QString, std::vector<int>> byKey;
    int childCount = 0;
    while (children.next()) {
        for (size_t i = 0; i < detail.indexes.size(); ++i)
            rows.detailTexts.push_back(formatValue(children.value(detail.indexes[i]), detail.formats[i]));
        const QVariant key = children.value(childKey);
        if (!key.isNull())
            byKey[key.toString()].push_back(childCount);
        ++childCount;
    }
    throwIfFailed(children.lastError());

    // Then one group per parent row, with the children whose value is equal.
    QSqlQuery parents = runQuery(db, definition.groupQuery);
    const QSqlRecord parentRecord = parents.record();
    const Columns header = resolveColumns(definition.section(SectionKind::GroupHeader), parentRecord,
                                          definition.groupQuery);
    const int parentKey = relationIndex(parentRecord, definition.relationColumn, definition.groupQuery);
    rows.headerColumns = int(header.indexes.size());
    rows.detailOrder.reserve(size_t(childCount));
    while (parents.next()) {
        GroupedRows::Group group;
        group.firstHeaderText = int(rows.headerTexts.size());
        for (size_t i = 0; i < header.indexes.size(); ++i)
            rows.headerTexts.push_back(formatValue(parents.value(header.indexes[i]), header.formats[i]));
        group.begin = int(rows.detailOrder.size());
        const QVariant key = parents.value(parentKey);
        if (!key.isNull()) {
            const auto found = byKey.constFind(key.toString());
            if (found != byKey.constEnd())
                rows.detailOrder.insert(rows.detailOrder.end(), found->begin(), found->end());
        }
        group.end = int(rows.detailOrder.size());
        rows.groups.push_back(group);
    }
    throwIfFailed(parents.lastError());
    return rows;
}

} // namespace report
