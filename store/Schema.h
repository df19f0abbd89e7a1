#pragma once

#include "base/Result.h"

#include <QStringList>

class Connection;

// The schema version recorded in PRAGMA user_version. Version 1 declares the
// three keys AUTOINCREMENT, so that a deleted row's key is never handed out
// again; files made before (version 0) are upgraded once.
inline constexpr int kSchemaVersion = 1;

// The statements of the built-in schema, in order.
Result<QStringList> builtInSchema();

// Brings the database to the current schema in one transaction: upgrades the
// keys of tables made before version 1 (every row, key and column position
// kept), creates every table, index and view it lacks, and records the
// version. A file already at the current version is only checked for missing
// parts.
Status prepareSchema(Connection &connection);

// Reads PRAGMA user_version.
Result<int> schemaVersion(Connection &connection);

// Writes a fresh database file holding the schema and no rows.
Status writeBlankDatabaseFile(const QString &path);
