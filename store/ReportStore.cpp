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
    // The statement names one of a fixed set of views, never text from outside.
    if (!isSavedQuery(name))
        return failure(QStringLiteral("There is no saved report query %1.").arg(name));
    bringUpToDate(name);
    Result<Rows> rows = m_connection.run(QStringLiteral("SELECT * FROM %1").arg(name));
    if (!rows)
        return rows.error();

    std::vector<int> indexes;
    indexes.reserve(size_t(columns.size()));
    for (const QString &column : columns) {
        const int index = rows->column(column);
        if (index < 0) {
            return failure(QStringLiteral("Item cannot be found in the collection corresponding to the "
                                          "requested name or ordinal: %1 (%2).")
                               .arg(column, name));
        }
        indexes.push_back(index);
    }

    QueryRows result;
    result.columns = columns;
    while (rows->next()) {
        QVariantList row;
        row.reserve(qsizetype(indexes.size()));
        for (const int index : indexes)
            row.push_back(rows->value(index));
        result.rows.push_back(std::move(row));
    }
    if (Status read = rows->status(); !read)
        return read.error();
    return result;
}
