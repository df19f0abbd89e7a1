#include "Failure.h"

#include <QSqlQuery>

void throwIfFailed(bool ok, const QSqlQuery &query)
{
    if (!ok)
        throw Failure(query.lastError().text());
}

void throwIfFailed(const QSqlError &error)
{
    if (error.isValid())
        throw Failure(error.text());
}
