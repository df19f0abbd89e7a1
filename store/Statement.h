#pragma once

#include "base/Result.h"

#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <QVector>

class Connection;

// The texts the record sets give when they are used in a state that does not allow it.
Error closedObjectError();
Error noCurrentRecordError();
Error rowChangedError();

// Empty text is stored as Null: the program shows Null as empty everywhere.
QVariant storableValue(const QVariant &value);

// ---- To be removed: the former way of running a statement, kept only until
// the stores of branches not yet merged use Connection::run (do not use).
Result<QSqlQuery> runStatement(Connection &connection, const QString &sql, const QVariantList &values = {});
Result<QVector<QVariantList>> rowsOf(Result<QSqlQuery> query, int columns);
