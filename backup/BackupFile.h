#pragma once

// Writing the whole database to BackupDB.txt and rebuilding it from such a
// file. Widget-free: the backup window and the command line share this code.

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <functional>

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

// Where a backup or a restore stopped.
enum class Stage {
    None,
    OpenFile,
    OpenDatabase,
    ContactTypes,
    Contacts,
    Calls,
    DeleteContactTypes,
    DeleteContacts,
    DeleteCalls,
    Finish,
};

struct BackupResult {
    bool ok = false;
    Stage failedStage = Stage::None;
    QString error;
    QString filePath;
    qint64 written[3] = {0, 0, 0}; // records per BackupTable
};

// Writes the live database to <folder>/BackupDB.txt. The file is replaced
// only when the backup is complete.
BackupResult writeBackup(const QString &folder, const ProgressFunction &progress = {});
// Writes the database to an open device.
BackupResult writeBackupTo(QSqlDatabase &db, QIODevice &out, const ProgressFunction &progress = {});

enum class RestoreMode { DeleteFirst, Append };
// NotBackup: the file has no marker line at all (a file of another kind, a
// UTF-16 file, a file of blanks); nothing was changed.
// Declined: a delete-first restore rejected records and the replacement was
// not accepted; everything was rolled back.
enum class RestoreStatus { Done, NoData, NoFile, NotBackup, Declined, Failed };

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

struct RestoreResult {
    RestoreStatus status = RestoreStatus::Failed;
    Stage failedStage = Stage::None;
    QString error;          // the failure that stopped the restore
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
    // "Done." (with the number of records that could not be restored),
    // "No data to restore.", "No file to restore." or the refusal of a file
    // that is not a backup; empty after a failure.
    QString message() const;
};

// Restores <folder>/BackupDB.txt into the live database. The whole file is
// read before the database is touched; deletions and inserts run in one
// transaction, each record in a savepoint of its own, so a rejected record is
// rolled back alone and a failure of the database leaves it as it was.
RestoreResult restoreBackup(const QString &folder, RestoreMode mode, const RestoreCallbacks &callbacks = {});
// Restores the file's bytes into the database.
RestoreResult restoreBackupData(QSqlDatabase &db, const QByteArray &data, RestoreMode mode,
                                const RestoreCallbacks &callbacks = {});

} // namespace backup
