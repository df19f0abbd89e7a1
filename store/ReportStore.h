#pragma once

#include "base/Result.h"

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

    // The program's own definition of a saved query ("CREATE VIEW name AS
    // SELECT ..."), as the schema gives it; empty for another name.
    static QString definition(const QString &name);

    // Reads the given columns of every row of a saved query. A query that
    // the file holds in another definition (an older installation's) is
    // first replaced by the program's own; when the file cannot be changed
    // the query is read as it stands. A missing query is not created: it
    // fails like any query, with the database's message, and a missing
    // column is named.
    Result<QueryRows> savedQuery(const QString &name, const QStringList &columns);

private:
    void bringUpToDate(const QString &name);

    Connection &m_connection;
};
