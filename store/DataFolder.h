#pragma once

// What the data folder can hold besides a sound live database, looked at
// before the start-up steps make the first database: log files left
// without their database, an empty database file, a folder or file without
// write permission. The window and the commands run the same checks and
// tell the user the same things.

#include <QString>
#include <QStringList>

// Moves aside what would spoil the first database and gives back what the
// user must be told (empty when nothing was found):
// - "dbData.sqlite-wal" and "-shm" without their database (the file was
//   deleted after a crash): SQLite would replay the stale log onto the new
//   database. They are renamed with the date and time.
// - a dbData.sqlite of zero bytes without a log (a copy that failed): it is
//   removed, so that the first database is made in its place.
QStringList tidyDataFolder();

// Why the live database cannot be written (no write permission on the file
// or on its folder), or empty text when it can. Such a database is opened
// read-only.
QString liveDatabaseReadOnlyReason();

// The sentence a command that would change the database prints when the
// database is read-only.
QString readOnlyRefusal(const QString &reason);
