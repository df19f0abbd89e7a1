#pragma once

#include <QString>

// The connection string of a database file for this engine:
// "Driver=QSQLITE;Data Source=<path>". An empty path means the live database.
QString GetConnectionString(const QString &databasePath = QString());
