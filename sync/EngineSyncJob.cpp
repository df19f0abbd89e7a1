#include "EngineSyncJob.h"

#include "DavClient.h"
#include "Discovery.h"
#include "SyncEngine.h"

#include "store/Connection.h"
#include "store/Database.h"

#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

// What the worker and the window share; it outlives whichever ends first.
struct Shared {
    std::atomic<bool> cancelled = false;
    QMutex lock;
    carddav::DavClient *client = nullptr;

    void cancel()
    {
        cancelled = true;
        QMutexLocker locker(&lock);
        if (client)
            client->cancel();
    }
};

class EngineSyncJob : public SyncJob {
public:
    EngineSyncJob(SyncAccount account, QString password, bool allowMassDelete, QObject *parent)
        : SyncJob(parent), m_account(std::move(account)), m_password(std::move(password)),
          m_allowMassDelete(allowMassDelete), m_shared(std::make_shared<Shared>())
    {
    }

    ~EngineSyncJob() override
    {
        if (m_thread) {
            m_shared->cancel();
            m_thread->wait();
            delete m_thread;
        }
    }

    void start() override
    {
        QPointer<EngineSyncJob> self(this);
        auto shared = m_shared;
        const SyncAccount account = m_account;
        const QString password = m_password;
        const bool allowMassDelete = m_allowMassDelete;
        m_password.clear();
        m_thread = QThread::create([self, shared, account, password, allowMassDelete] {
            carddav::SyncOutcome outcome;
            Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
            if (!connection) {
                outcome.message = connection.error().description;
            } else {
                carddav::DavClient client(account, password);
                {
                    QMutexLocker locker(&shared->lock);
                    shared->client = &client;
                }
                carddav::SyncOptions options;
                options.allowMassDelete = allowMassDelete;
                options.cancelled = [shared] { return shared->cancelled.load(); };
                options.progress = [self](int done, int total, const QString &what) {
                    QMetaObject::invokeMethod(self, [self, done, total, what] {
                        if (self)
                            emit self->progress(done, total, what);
                    }, Qt::QueuedConnection);
                };
                if (!shared->cancelled)
                    outcome = carddav::runSync(**connection, client, options);
                else
                    outcome.message = QStringLiteral("The sync was cancelled.");
                QMutexLocker locker(&shared->lock);
                shared->client = nullptr;
            }
            QMetaObject::invokeMethod(self, [self, outcome] {
                if (self)
                    self->report(outcome);
            }, Qt::QueuedConnection);
        });
        m_thread->start();
    }

    void cancel() override { m_shared->cancel(); }

private:
    void report(const carddav::SyncOutcome &outcome)
    {
        if (outcome.ok)
            emit finished(outcome.summary.text(), outcome.summary.conflicts);
        else if (outcome.stoppedByGuard)
            emit guardStopped(outcome.message);
        else
            emit failed(outcome.message);
    }

    SyncAccount m_account;
    QString m_password;
    bool m_allowMassDelete;
    std::shared_ptr<Shared> m_shared;
    QThread *m_thread = nullptr;
};

} // namespace

SyncWindow::JobFactory engineJobFactory()
{
    return [](const SyncAccount &account, const QString &password, bool allowMassDelete, QObject *parent) -> SyncJob * {
        return new EngineSyncJob(account, password, allowMassDelete, parent);
    };
}

SyncSettingsDialog::Discover serverDiscovery()
{
    return [](const SyncAccount &account, const QString &password) -> Result<QList<QPair<QString, QString>>> {
        carddav::DavClient client(account, password);
        Result<QList<carddav::AddressBook>> books = carddav::discoverAddressBooks(client);
        if (!books)
            return books.error();
        QList<QPair<QString, QString>> found;
        for (const carddav::AddressBook &book : *books)
            found.append({book.path, book.displayName});
        return found;
    };
}
