#pragma once

#include "base/Result.h"

#include <QString>

#include <memory>

class Connection;

// How the rest of the program reaches the database: the store opens every
// connection, and windows, commands and tools ask here for the one they need.
// A second engine changes what these open, not their callers.

// A connection of its own to the live database in the data folder.
Result<std::unique_ptr<Connection>> openLiveDatabase();
// The same, brought to the current schema first (the main window's record sets).
Result<std::unique_ptr<Connection>> openPreparedLiveDatabase();
// A connection to another database file that must exist (a second reader
// of the same file, a copy, a test's file).
Result<std::unique_ptr<Connection>> openDatabaseFile(const QString &path);
// A database file, created empty when it is not there (tests and tools
// that build a file; ":memory:" for a database in memory).
Result<std::unique_ptr<Connection>> createDatabaseFile(const QString &path);

// The connection string of a database file for this engine:
// "Driver=QSQLITE;Data Source=<path>". An empty path means the live database.
QString GetConnectionString(const QString &databasePath = QString());
