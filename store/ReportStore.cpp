#include "ReportStore.h"

#include "Connection.h"

#include <QSqlError>
#include <QSqlRecord>

namespace {
const QStringList &savedQueryNames()
{
    static const QStringList names{QStringLiteral("qryRep1A"), QStringLiteral("qryRep1B"),
                                   QStringLiteral("qryRep2A"), QStringLiteral("qryRep2B"),
                                   QStringLiteral("qryRep3A"), QStringLiteral("qryRep3B")};
    return names;
}
} // namespace

bool ReportStore::isSavedQuery(const QString &name)
{
    return savedQueryNames().contains(name);
}

Result<QueryRows> ReportStore::savedQuery(const QString &name, const QStringList &columns)
{
    // The statement names one of a fixed set of views, never text from outside.
    if (!isSavedQuery(name))
        return failure(QStringLiteral("There is no saved report query %1.").arg(name));
    Result<QSqlQuery> prepared = m_connection.prepare(QStringLiteral("SELECT * FROM %1").arg(name));
    if (!prepared)
        return prepared.error();
    QSqlQuery &query = *prepared;
    query.setForwardOnly(true);
    if (Status ran = Connection::run(query); !ran)
        return ran.error();

    const QSqlRecord record = query.record();
    std::vector<int> indexes;
    indexes.reserve(size_t(columns.size()));
    for (const QString &column : columns) {
        const int index = record.indexOf(column);
        if (index < 0) {
            return failure(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                          "requested name or ordinal: %1 (%2).")
                               .arg(column, name));
        }
        indexes.push_back(index);
    }

    QueryRows result;
    result.columns = columns;
    while (query.next()) {
        QVariantList row;
        row.reserve(qsizetype(indexes.size()));
        for (const int index : indexes)
            row.push_back(query.value(index));
        result.rows.push_back(std::move(row));
    }
    if (query.lastError().isValid())
        return Connection::errorOf(query);
    return result;
}
