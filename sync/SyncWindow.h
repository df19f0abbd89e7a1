#pragma once

#include "SyncAccount.h"
#include "SyncSettingsDialog.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class QAbstractItemView;
class QMenu;
class QProgressDialog;
class QShortcut;
class NavigationBar;

// One sync run for the window, on a worker thread. It reports progress and
// ends with exactly one of finished() or failed().
class SyncJob : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    virtual void start() = 0;

signals:
    void progress(int done, int total, const QString &what);
    // What changed ("3 sent, 2 received ...") and how many conflicts.
    void finished(const QString &changes, int conflicts);
    void failed(const QString &message);
    // The guard against mass deletion stopped it before anything changed.
    void guardStopped(const QString &message);

public slots:
    virtual void cancel() = 0;
};

// Sync on the main window: "Sync Now" (F5) and "Sync Settings..." in the
// contact list's context menu, the last sync's outcome in the navigation
// bar below the command buttons, a sync every N minutes while the window is
// open, progress with Cancel, and the questions about certificates, other
// servers and plain HTTP.
class SyncWindow : public QObject {
    Q_OBJECT

public:
    using JobFactory =
        std::function<SyncJob *(const SyncAccount &, const QString &password, bool allowMassDelete, QObject *parent)>;
    using Refresh = std::function<void()>;

    // Attaches to the window: the context menu of the import/export commands,
    // the contacts navigation bar ("dc"), the shortcut and the timer.
    static SyncWindow *install(QWidget *window, Refresh refresh);
    // The sync and discovery the program uses; tests give their own.
    static void setJobFactory(JobFactory factory);
    static void setDiscover(SyncSettingsDialog::Discover discover);

    void syncNow();
    void openSettings();
    // The status as the bar shows it (whole, not elided).
    QString status() const { return m_status; }
    bool isRunning() const { return m_job != nullptr; }
    QTimer *periodicTimer() { return &m_periodic; }

signals:
    void syncEnded(bool ok);

private:
    SyncWindow(QWidget *window, Refresh refresh);
    void addCommands(QMenu *menu);
    void start(bool byUser, bool allowMassDelete = false);
    void jobStoppedByGuard(const QString &message);
    void jobFinished(const QString &changes, int conflicts);
    void jobFailed(const QString &message);
    void endJob();
    void setStatus(const QString &text);
    void applyAccount(const std::optional<SyncAccount> &account);

    QWidget *m_window;
    Refresh m_refresh;
    NavigationBar *m_bar = nullptr;
    QString m_barCaption;
    QString m_status;
    QTimer m_periodic;
    QPointer<SyncJob> m_job;
    QPointer<QProgressDialog> m_progress;
    bool m_byUser = false;
    int m_attempts = 0;
    std::optional<SyncAccount> m_account;
};
