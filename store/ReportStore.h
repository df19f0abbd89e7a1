#pragma once

#include "frame/Result.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

class Connection;

// The rows of one saved report query, holding the requested columns in the
// order they were asked for.
struct QueryRows {
    QStringList columns;
    QList<QVariantList> rows;
};

// The data access of the printed reports: the six saved queries qryRep1A to
// qryRep3B of the database, read as they stand.
class ReportStore {
public:
    explicit ReportStore(Connection &connection) : m_connection(connection) {}

    // True for the names of the six saved report queries.
    static bool isSavedQuery(const QString &name);

    // Reads the given columns of every row of a saved query. Fails with the
    // database's message when the query fails, and names the column when the
    // query lacks one.
    Result<QueryRows> savedQuery(const QString &name, const QStringList &columns);

private:
    Connection &m_connection;
};
