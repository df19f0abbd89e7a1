#pragma once

#include "frame/Result.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>

class Connection;

// Prepares a statement on the connection, binds the values in order and runs
// it. The Error carries the database's own message.
Result<QSqlQuery> runStatement(Connection &connection, const QString &sql, const QVariantList &values = {});

// Every row of a query that ran, as the values of its first `columns` columns.
Result<QVector<QVariantList>> rowsOf(Result<QSqlQuery> query, int columns);

// The texts the record sets give when they are used in a state that does not allow it.
Error closedObjectError();
Error noCurrentRecordError();
Error rowChangedError();
// The code of rowChangedError(): an edited field no longer holds what was read.
inline constexpr int kRowChangedCode = -2;
inline bool isRowChanged(const Error &error) { return error.code == kRowChangedCode; }

// Empty text is stored as Null: the program shows Null as empty everywhere.
QVariant storableValue(const QVariant &value);
