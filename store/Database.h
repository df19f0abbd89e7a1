#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The connection string of a database file for this engine:
// "Driver=QSQLITE;Data Source=<path>". An empty path means the live database.
QString GetConnectionString(const QString &databasePath = QString());

// The older, throwing way to reach a database file, kept for the code that
// has not moved to Connection and the stores yet (store/Connection.h,
// store/Schema.h give the same as values). Each throws Failure with the
// database's message.
QSqlDatabase OpenConnection();
QSqlDatabase openDatabaseFile(const QString &path, bool createIfMissing = false);
void closeConnection(QSqlDatabase &db);
QStringList schemaStatements();
void createSchema(QSqlDatabase &db);
void writeBlankDatabase(const QString &path);
