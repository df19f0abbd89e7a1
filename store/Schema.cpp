#include "Schema.h"

#include "Connection.h"

#include <QFile>
#include <QRegularExpression>

namespace {
const QStringList kKeyedTables = {QStringLiteral("Contact Types"), QStringLiteral("Contacts"), QStringLiteral("Calls")};
const QString kUpgradeTable = QStringLiteral("corvanta_upgrade");

QString quoted(const QString &name)
{
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QLatin1String("\"\"")) + QLatin1Char('"');
}

struct SchemaObject {
    QString name;
    QString sql;
};

// The CREATE TABLE statement of a table, or nothing when there is no such table.
Result<std::optional<QVariant>> tableDefinition(Connection &connection, const QString &table)
{
    return connection.value(QStringLiteral("SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?"), {table});
}

// The views, and the indexes of one table, as the file holds them.
Result<QVector<SchemaObject>> objects(Connection &connection, const QString &type, const QString &table = QString())
{
    QString sql = QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = ? AND sql IS NOT NULL");
    QVariantList values{type};
    if (!table.isEmpty()) {
        sql += QStringLiteral(" AND tbl_name = ?");
        values << table;
    }
    Result<Rows> rows = connection.run(sql, values);
    if (!rows)
        return rows.error();
    QVector<SchemaObject> found;
    while (rows->next())
        found.append({rows->value(0).toString(), rows->value(1).toString()});
    if (Status read = rows->status(); !read)
        return read.error();
    return found;
}

Result<bool> exists(Connection &connection, const QString &type, const QString &name)
{
    const Result<std::optional<QVariant>> found =
        connection.value(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = ? AND name = ?"), {type, name});
    if (!found)
        return found.error();
    return found->has_value();
}

// Rebuilds one table with its INTEGER PRIMARY KEY declared AUTOINCREMENT: the
// same columns in the same positions, every row with its key. The table's
// own indexes come back as they were.
Status upgradeKey(Connection &connection, const QString &table)
{
    // The value is read to its end: no statement may be open on the table that is dropped.
    const Result<std::optional<QVariant>> definition = tableDefinition(connection, table);
    if (!definition)
        return definition.error();
    if (!definition->has_value())
        return {}; // created afresh below
    const QString sql = (*definition)->toString();
    if (sql.contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive))
        return {};
    static const QRegularExpression key(QStringLiteral("\\bINTEGER\\s+PRIMARY\\s+KEY\\b"),
                                        QRegularExpression::CaseInsensitiveOption);
    const qsizetype body = sql.indexOf(QLatin1Char('('));
    QRegularExpressionMatch match = key.match(sql);
    if (body < 0 || !match.hasMatch())
        return {}; // a key of another kind is left as it is
    QString columnsSql = sql.mid(body);
    columnsSql.replace(match.capturedStart() - body, match.capturedLength(), QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"));

    Result<QVector<SchemaObject>> indexes = objects(connection, QStringLiteral("index"), table);
    if (!indexes)
        return indexes.error();
    QStringList columns;
    {
        Result<Rows> info = connection.run(QStringLiteral("SELECT name FROM pragma_table_info(?) ORDER BY cid"), {table});
        if (!info)
            return info.error();
        while (info->next())
            columns << quoted(info->value(0).toString());
        if (Status read = info->status(); !read)
            return read;
    }
    const QString columnList = columns.join(QStringLiteral(", "));

    const QStringList statements = {
        QStringLiteral("CREATE TABLE %1 %2").arg(quoted(kUpgradeTable), columnsSql),
        QStringLiteral("INSERT INTO %1 (%2) SELECT %2 FROM %3").arg(quoted(kUpgradeTable), columnList, quoted(table)),
        QStringLiteral("DROP TABLE %1").arg(quoted(table)),
        QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoted(kUpgradeTable), quoted(table)),
    };
    for (const QString &statement : statements) {
        if (Status done = connection.execute(statement); !done)
            return done;
    }
    for (const SchemaObject &index : *indexes) {
        if (Status done = connection.execute(index.sql); !done)
            return done;
    }
    return {};
}

Status prepareInTransaction(Connection &connection, int version)
{
    const Result<QStringList> statements = builtInSchema();
    if (!statements)
        return statements.error();
    QVector<SchemaObject> views;
    bool rebuild = false;
    if (version < kSchemaVersion) {
        for (const QString &table : kKeyedTables) {
            const Result<std::optional<QVariant>> definition = tableDefinition(connection, table);
            if (!definition)
                return definition.error();
            if (definition->has_value()
                && !(*definition)->toString().contains(QLatin1String("AUTOINCREMENT"), Qt::CaseInsensitive))
                rebuild = true;
        }
    }
    if (rebuild) {
        // Views name the tables being rebuilt; they are put back afterwards.
        Result<QVector<SchemaObject>> found = objects(connection, QStringLiteral("view"));
        if (!found)
            return found.error();
        views = *found;
        for (const SchemaObject &view : views) {
            if (Status dropped = connection.execute(QStringLiteral("DROP VIEW %1").arg(quoted(view.name))); !dropped)
                return dropped;
        }
        for (const QString &table : kKeyedTables) {
            if (Status upgraded = upgradeKey(connection, table); !upgraded)
                return upgraded;
        }
    }
    for (const QString &statement : *statements) {
        if (Status done = connection.execute(statement); !done)
            return done;
    }
    for (const SchemaObject &view : views) {
        Result<bool> there = exists(connection, QStringLiteral("view"), view.name);
        if (!there)
            return there.error();
        if (!*there) {
            if (Status done = connection.execute(view.sql); !done)
                return done;
        }
    }
    if (version == kSchemaVersion)
        return {};
    const Status recorded = connection.execute(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
    // A read-only file whose keys need nothing keeps working without the record.
    return rebuild ? recorded : Status();
}
} // namespace

// The schema is a resource of the static library: make sure it is linked in.
static void initSchemaResource()
{
    Q_INIT_RESOURCE(store);
}

Result<QStringList> builtInSchema()
{
    initSchemaResource();
    QFile file(QStringLiteral(":/corvanta/schema.sql"));
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("The built-in schema is missing."));
    const QString text = QString::fromUtf8(file.readAll());
    QStringList statements;
    for (const QString &part : text.split(QStringLiteral("\n;;"))) {
        QStringList lines;
        for (const QString &line : part.split(QLatin1Char('\n'))) {
            if (!line.trimmed().startsWith(QLatin1String("--")))
                lines << line;
        }
        const QString statement = lines.join(QLatin1Char('\n')).trimmed();
        if (!statement.isEmpty())
            statements << statement;
    }
    return statements;
}

Result<int> schemaVersion(Connection &connection)
{
    const Result<std::optional<QVariant>> version = connection.value(QStringLiteral("PRAGMA user_version"));
    if (!version)
        return version.error();
    return version->has_value() ? (*version)->toInt() : 0;
}

Status prepareSchema(Connection &connection)
{
    const Result<int> version = schemaVersion(connection);
    if (!version)
        return version.error();
    Result<Connection::Transaction> transaction = connection.begin();
    if (!transaction)
        return transaction.error();
    if (Status prepared = prepareInTransaction(connection, *version); !prepared)
        return prepared;
    return transaction->commit();
}

Status writeBlankDatabaseFile(const QString &path)
{
    QFile::remove(path);
    Result<std::unique_ptr<Connection>> connection = Connection::open(path, Connection::Open::CreateIfMissing);
    if (!connection)
        return connection.error();
    if (Status prepared = prepareSchema(**connection); !prepared)
        return prepared;
    // A seed file is copied as it stands, so it carries no WAL side files.
    return (*connection)->execute(QStringLiteral("PRAGMA journal_mode=DELETE"));
}
