#include "ReportStore.h"

#include "Connection.h"

#include <QFile>
#include <QSqlError>
#include <QSqlRecord>

// The schema is a resource of this static library.
static void initStoreResource()
{
    Q_INIT_RESOURCE(store);
}

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

QString ReportStore::definition(const QString &name)
{
    if (!isSavedQuery(name))
        return {};
    initStoreResource();
    QFile file(QStringLiteral(":/corvanta/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString schema = QString::fromUtf8(file.readAll());
    // "CREATE VIEW IF NOT EXISTS name AS ..." up to the statement separator;
    // the file stores it without "IF NOT EXISTS".
    const QString start = QStringLiteral("CREATE VIEW IF NOT EXISTS %1 AS").arg(name);
    const qsizetype from = schema.indexOf(start);
    if (from < 0)
        return {};
    const qsizetype to = schema.indexOf(QStringLiteral("\n;;"), from);
    QString statement = schema.mid(from, to < 0 ? -1 : to - from).trimmed();
    statement.replace(0, start.size(), QStringLiteral("CREATE VIEW %1 AS").arg(name));
    return statement;
}

void ReportStore::bringUpToDate(const QString &name)
{
    const QString wanted = definition(name);
    Result<QSqlQuery> stored = m_connection.prepare(
        QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'view' AND name = ?"));
    if (wanted.isEmpty() || !stored)
        return;
    stored->addBindValue(name);
    if (!Connection::run(*stored) || !stored->next())
        return; // a missing query stays missing
    if (stored->value(0).toString() == wanted)
        return;
    stored->finish();
    // A file that cannot be changed (read-only, locked) keeps its own query.
    if (!m_connection.transaction())
        return;
    if (m_connection.exec(QStringLiteral("DROP VIEW %1").arg(name)) && m_connection.exec(wanted)
        && m_connection.commit())
        return;
    (void)m_connection.rollback();
}

Result<QueryRows> ReportStore::savedQuery(const QString &name, const QStringList &columns)
{
    QueryRows result;
    result.columns = columns;
    const qsizetype count = columns.size();
    const Status read = forEachRow(name, columns, [&result, count](const QVariant *values) {
        result.rows.push_back(QVariantList(values, values + count));
    });
    if (!read)
        return read.error();
    return result;
}

Status ReportStore::forEachRow(const QString &name, const QStringList &columns,
                               const std::function<void(const QVariant *values)> &reader)
{
    // The statement names one of a fixed set of views, never text from outside.
    if (!isSavedQuery(name))
        return failure(QStringLiteral("There is no saved report query %1.").arg(name));
    bringUpToDate(name);
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

    std::vector<QVariant> values(indexes.size());
    while (query.next()) {
        for (size_t i = 0; i < indexes.size(); ++i)
            values[i] = query.value(indexes[i]);
        reader(values.data());
    }
    if (query.lastError().isValid())
        return Connection::errorOf(query);
    return {};
}
