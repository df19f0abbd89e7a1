#pragma once

#include "DavClient.h"

#include "base/Result.h"

#include <QDate>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>

class Connection;

namespace carddav {

// What one sync did, for the status line and the command line.
struct SyncSummary {
    int sent = 0;
    int received = 0;
    int deletedHere = 0;
    int deletedThere = 0;
    int conflicts = 0;
    // Things the user should know about ("Ann Lee was changed on the server
    // after it was deleted here; it was kept.").
    QStringList remarks;

    // "3 sent, 2 received, 1 deleted here, 0 deleted there, 1 conflict kept in Notes"
    QString text() const;
};

struct SyncOptions {
    // Deleting more than half of the synced contacts (and more than 10), or
    // everything because the server is suddenly empty, needs this.
    bool allowMassDelete = false;
    // Told (done, total, what); the sync stops between two steps when
    // `cancelled` says so.
    std::function<void(int, int, const QString &)> progress;
    std::function<bool()> cancelled;
    // The date in the Notes lines of conflicts.
    QDate today = QDate::currentDate();
};

struct SyncOutcome {
    bool ok = false;
    // The guard against mass deletion stopped the sync before it changed anything.
    bool stoppedByGuard = false;
    QString message;     // why it failed or stopped
    SyncSummary summary; // what was done, also when it failed
};

// One two-way sync of the contacts of `connection` with the account's
// address book. Every change of a contact is committed together with the
// state of its card; the server is only ever written conditionally.
SyncOutcome runSync(Connection &connection, DavClient &client, const SyncOptions &options);

} // namespace carddav

Q_DECLARE_METATYPE(carddav::SyncSummary)
