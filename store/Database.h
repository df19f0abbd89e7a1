#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// Description of a connection to a database file for this engine:
// "Driver=QSQLITE;Data Source=<path>". An empty path means the live database.
QString GetConnectionString(const QString &databasePath = QString());

// Opens a new connection to the live database (each call opens a further
// one). Throws Failure when the file cannot be opened.
QSqlDatabase OpenConnection();

// Opens a new connection to the given database file.
QSqlDatabase openDatabaseFile(const QString &path, bool createIfMissing = false);

// Closes and removes a connection made by OpenConnection/openDatabaseFile.
void closeConnection(QSqlDatabase &db);

// The statements of the built-in schema, in order.
QStringList schemaStatements();

// Creates every table, index and view of the schema that the database lacks.
void createSchema(QSqlDatabase &db);

// Writes a fresh database file holding the schema and no rows.
void writeBlankDatabase(const QString &path);
