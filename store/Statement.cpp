#include "Statement.h"

#include "Connection.h"

Error closedObjectError()
{
    return failure(QStringLiteral("Operation is not allowed when the object is closed."));
}

Error noCurrentRecordError()
{
    return failure(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                  "Requested operation requires a current record."));
}

Error rowChangedError()
{
    return failure(QStringLiteral("Row cannot be located for updating. "
                                  "Some values may have been changed since it was last read."));
}

QVariant storableValue(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    return value;
}

Result<QSqlQuery> runStatement(Connection &connection, const QString &sql, const QVariantList &values)
{
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        return Connection::errorOf(query);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        return Connection::errorOf(query);
    return query;
}

Result<QVector<QVariantList>> rowsOf(Result<QSqlQuery> query, int columns)
{
    if (!query)
        return query.error();
    QVector<QVariantList> rows;
    while (query->next()) {
        QVariantList row;
        row.reserve(columns);
        for (int column = 0; column < columns; ++column)
            row << query->value(column);
        rows.append(row);
    }
    return rows;
}
