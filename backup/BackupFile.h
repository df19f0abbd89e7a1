#pragma once

// Writing the whole database to BackupDB.txt and rebuilding it from such a
// file. Widget-free: the backup window and the command line share this code.

#include "base/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <functional>

class Connection;
class QIODevice;

namespace backup {

// The three tables in file order.
enum class BackupTable { ContactTypes = 0, Contacts = 1, Calls = 2 };
QString tableName(BackupTable table);

// Called now and then with the records handled so far and the total.
using ProgressFunction = std::function<void(qint64 done, qint64 total)>;

// The backup file in a folder: the folder, a separator and "BackupDB.txt",
// with doubled separators collapsed.
QString backupFilePath(const QString &folder);

// The part of a backup or a restore that a failure belongs to (Error::part).
enum class BackupPart { OpenFile = 1, OpenDatabase, ContactTypes, Contacts, Calls };
enum class RestorePart { OpenFile = 1, OpenDatabase, DeleteContactTypes, DeleteContacts, DeleteCalls, ContactTypes, Contacts, Calls };

// What a backup wrote.
struct BackupSummary {
    QString filePath;
    qint64 written[3] = {0, 0, 0}; // records per BackupTable
};
using BackupResult = Result<BackupSummary>;

// Writes the live database to <folder>/BackupDB.txt. The file is replaced
// only when the backup is complete; an Error names what failed.
BackupResult writeBackup(const QString &folder, const ProgressFunction &progress = {});
// Writes the database of the connection to an open device.
BackupResult writeBackupTo(Connection &connection, QIODevice &out, const ProgressFunction &progress = {});

enum class RestoreMode { DeleteFirst, Append };
// NotBackup: the file has no marker line at all (a file of another kind, a
// UTF-16 file, a file of blanks); nothing was changed.
// Incomplete: the file was cut short or lost a marker line; nothing was
// changed (refusal says what is missing).
// Declined: a delete-first restore rejected records and the replacement was
// not accepted; everything was rolled back.
enum class RestoreStatus { Done, NoData, NoFile, NotBackup, Incomplete, Declined };

// A record line that could not be restored.
struct RejectedRecord {
    BackupTable table;
    qint64 lineNumber; // 1-based line of the file
    QString line;
    QString reason;
};

struct RestoreCallbacks {
    std::function<void(const RejectedRecord &)> rejected;
    // Asked before a delete-first restore that rejected records commits, with
    // the number rejected: true replaces the existing data anyway, false rolls
    // the whole restore back. Without it the restore commits.
    std::function<bool(qint64 rejected)> acceptRejects;
    ProgressFunction progress;
};

// What a restore did; a failure that stopped it is an Error instead, and
// then the database is as it was.
struct RestoreSummary {
    RestoreStatus status = RestoreStatus::Done;
    QString refusal;        // why an incomplete file was refused
    qint64 restored[3] = {0, 0, 0};
    qint64 rejected = 0;
    bool keysFromFile = false; // the file's key section was used
    // Restored records whose old key the file did not give (a line added or
    // changed by hand, or a key section that does not fit the records): their
    // references may not point where they pointed when the file was written.
    qint64 keysNotUsed = 0;
    // Exact texts of the trailing section that did not fit their record line;
    // those values were restored as the line gives them.
    qint64 textsNotUsed = 0;
    // "Done." followed by the types, contacts and calls restored and the
    // records rejected; "No data to restore.", "No file to restore." or the
    // refusal of a file that is not a backup or not complete.
    QString message() const;
};
using RestoreResult = Result<RestoreSummary>;

// Restores <folder>/BackupDB.txt into the live database. The whole file is
// checked before the database is touched; deletions and inserts run in one
// transaction. A rejected record is undone by the database alone; a failure
// of the database leaves it as it was. A delete-first restore first keeps a
// copy of the database as it was (beforeRestorePath()) for undoLastRestore().
RestoreResult restoreBackup(const QString &folder, RestoreMode mode, const RestoreCallbacks &callbacks = {});
// Restores the file's bytes into the database of the connection.
RestoreResult restoreBackupData(Connection &connection, const QByteArray &data, RestoreMode mode,
                                const RestoreCallbacks &callbacks = {});

// The copy of the database that the last delete-first restore kept.
struct UndoCopy {
    QString path;
    QDateTime written;
};
// The copy, or why there is none.
Result<UndoCopy> lastRestoreCopy();
// The question asked before the copy is put back.
QString undoQuestion(const UndoCopy &copy);
// Puts the kept copy back in place of the live database.
Status undoLastRestore();

} // namespace backup
