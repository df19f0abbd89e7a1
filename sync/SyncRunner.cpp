#include "SyncRunner.h"

#include "DavClient.h"

#include "store/Connection.h"
#include "store/Database.h"

#include <QThread>

namespace carddav {

SyncRunner::SyncRunner(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<carddav::SyncSummary>();
}

SyncRunner::~SyncRunner()
{
    cancel();
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

bool SyncRunner::start(const SyncAccount &account, const QString &password, bool allowMassDelete)
{
    if (m_running.exchange(true))
        return false;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
    m_cancelled = false;
    const QString path = m_databasePath;
    m_thread = QThread::create([this, account, password, allowMassDelete, path] {
        Result<std::unique_ptr<Connection>> connection = path.isEmpty() ? openLiveDatabase() : openDatabaseFile(path);
        if (!connection) {
            m_running = false;
            emit failed(QStringLiteral("Nothing was synced: %1").arg(connection.error().description), SyncSummary{}, false);
            return;
        }
        DavClient client(account, password);
        SyncOptions options;
        options.allowMassDelete = allowMassDelete;
        options.cancelled = [this] { return m_cancelled.load(); };
        options.progress = [this](int done, int total, const QString &what) { emit progress(done, total, what); };
        const SyncOutcome outcome = runSync(**connection, client, options);
        connection->reset();
        m_running = false;
        if (outcome.ok)
            emit finished(outcome.summary);
        else
            emit failed(outcome.message, outcome.summary, outcome.stoppedByGuard);
    });
    m_thread->start();
    return true;
}

void SyncRunner::cancel()
{
    m_cancelled = true;
}

} // namespace carddav
