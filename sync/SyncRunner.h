#pragma once

#include "SyncAccount.h"
#include "SyncEngine.h"

#include <QObject>
#include <QString>

#include <atomic>

class QThread;

namespace carddav {

// Runs one sync on a worker thread of its own, so that the window stays
// responsive: the network waits and the short transactions happen there.
// One sync at a time; the window connects to the signals (queued) and may
// cancel. The connection to the live database is the worker's own.
class SyncRunner : public QObject {
    Q_OBJECT

public:
    explicit SyncRunner(QObject *parent = nullptr);
    ~SyncRunner() override;

    bool isRunning() const { return m_running; }
    // Starts a sync of the live database with the account; false when one
    // is running already.
    bool start(const SyncAccount &account, const QString &password, bool allowMassDelete = false);
    // For tests and tools: the database file to sync instead of the live one.
    void setDatabasePath(const QString &path) { m_databasePath = path; }

public slots:
    void cancel();

signals:
    void progress(int done, int total, const QString &what);
    void finished(const carddav::SyncSummary &summary);
    // `stoppedByGuard`: nothing was changed because the sync would delete too
    // much; the window asks and starts again allowing it.
    void failed(const QString &message, const carddav::SyncSummary &summary, bool stoppedByGuard);

private:
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancelled = false;
    std::atomic<bool> m_running = false;
    QString m_databasePath;
};

} // namespace carddav
