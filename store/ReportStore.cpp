#include "ReportStore.h"

#include "Connection.h"

#include <QFile>

#include <vector>

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
    if (wanted.isEmpty())
        return;
    const Result<std::optional<QVariant>> stored =
        m_connection.value(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'view' AND name = ?"), {name});
    if (!stored || !stored->has_value())
        return; // a missing query stays missing
    if ((*stored)->toString() == wanted)
        return;
    // A file that cannot be changed (read-only, locked) keeps its own query.
    Result<Connection::Transaction> transaction = m_connection.begin();
    if (!transaction)
        return;
    if (m_connection.execute(QStringLiteral("DROP VIEW %1").arg(name)) && m_connection.execute(wanted))
        (void)transaction->commit();
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
    // The view's columns first, so that a missing one is named; then only
    // the columns wanted are read (every column read costs on every row).
    {
        Result<Rows> shape = m_connection.run(QStringLiteral("SELECT * FROM %1 LIMIT 0").arg(name));
        if (!shape)
            return shape.error();
        for (const QString &column : columns) {
            if (shape->column(column) < 0) {
                return failure(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                              "requested name or ordinal: %1 (%2).")
                                   .arg(column, name));
            }
        }
    }
    QStringList quoted;
    for (const QString &column : columns)
        quoted << QLatin1Char('"') + QString(column).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT %1 FROM %2").arg(quoted.join(QLatin1Char(',')), name));
    if (!rows)
        return rows.error();

    std::vector<QVariant> values(size_t(columns.size()));
    while (rows->next()) {
        for (size_t i = 0; i < values.size(); ++i)
            values[i] = rows->value(int(i));
        reader(values.data());
    }
    return rows->status();
}
