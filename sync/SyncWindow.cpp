#include "SyncWindow.h"

#include "EngineSyncJob.h"
#include "PasswordStore.h"
#include "SecurityQuestions.h"
#include "TransportSecurity.h"

#include "exchange/ContactExchangeMenu.h"
#include "frame/MessageService.h"
#include "frame/NavigationBar.h"

#include <QAction>
#include <QLocale>
#include <QMenu>
#include <QProgressDialog>
#include <QSettings>
#include <QShortcut>

namespace {

SyncWindow::JobFactory &jobFactory()
{
    static SyncWindow::JobFactory factory = engineJobFactory();
    return factory;
}

SyncSettingsDialog::Discover &discoverer()
{
    static SyncSettingsDialog::Discover discover = serverDiscovery();
    return discover;
}

const QString kLastStatus = QStringLiteral("Sync/LastStatus");

QString timeNow()
{
    return QLocale().toString(QDateTime::currentDateTime(), QLocale::ShortFormat);
}

} // namespace

void SyncWindow::setJobFactory(JobFactory factory)
{
    jobFactory() = std::move(factory);
}

void SyncWindow::setDiscover(SyncSettingsDialog::Discover discover)
{
    discoverer() = std::move(discover);
}

SyncWindow::SyncWindow(QWidget *window, Refresh refresh) : QObject(window), m_window(window), m_refresh(std::move(refresh))
{
    setObjectName(QStringLiteral("SyncWindow"));
}

SyncWindow *SyncWindow::install(QWidget *window, Refresh refresh)
{
    auto *part = new SyncWindow(window, std::move(refresh));
    if (auto *menu = window->findChild<exchange::ContactExchangeMenu *>(QStringLiteral("ContactExchangeMenu")))
        connect(menu, &exchange::ContactExchangeMenu::menuBuilt, part, &SyncWindow::addCommands);
    part->m_bar = window->findChild<NavigationBar *>(QStringLiteral("dc"));
    if (part->m_bar)
        part->m_barCaption = part->m_bar->caption();
    auto *shortcut = new QShortcut(QKeySequence(Qt::Key_F5), window, nullptr, nullptr, Qt::WindowShortcut);
    shortcut->setObjectName(QStringLiteral("SyncNowShortcut"));
    connect(shortcut, &QShortcut::activated, part, &SyncWindow::syncNow);
    part->m_periodic.setObjectName(QStringLiteral("SyncTimer"));
    connect(&part->m_periodic, &QTimer::timeout, part, [part] { part->start(false); });

    Result<std::optional<SyncAccount>> account = loadSyncAccount();
    part->applyAccount(account ? *account : std::nullopt);
    if (part->m_account) {
        QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
        part->setStatus(settings.value(kLastStatus).toString());
    }
    return part;
}

void SyncWindow::applyAccount(const std::optional<SyncAccount> &account)
{
    m_account = account;
    // Periodic sync only once there is an account to sync with.
    if (m_account && m_account->intervalMinutes > 0)
        m_periodic.start(m_account->intervalMinutes * 60 * 1000);
    else
        m_periodic.stop();
}

void SyncWindow::addCommands(QMenu *menu)
{
    menu->addSeparator();
    QAction *now = menu->addAction(tr("Sync Now"), this, &SyncWindow::syncNow);
    now->setShortcut(QKeySequence(Qt::Key_F5));
    now->setEnabled(!isRunning());
    menu->addAction(tr("Sync Settings..."), this, &SyncWindow::openSettings);
}

void SyncWindow::openSettings()
{
    SyncSettingsDialog dialog(m_account, discoverer(), m_window);
    if (dialog.exec() != QDialog::Accepted)
        return;
    applyAccount(dialog.account());
    if (m_status.isEmpty())
        setStatus(tr("Not synced yet"));
}

void SyncWindow::syncNow()
{
    if (!m_account) {
        openSettings();
        if (!m_account)
            return;
    }
    start(true);
}

void SyncWindow::start(bool byUser, bool allowMassDelete)
{
    if (m_job || !m_account || !jobFactory())
        return;
    m_byUser = byUser;
    if (byUser)
        m_attempts = 0;
    const QUrl server = accountServerUrl(*m_account);
    if (byUser && server.scheme() == QLatin1String("http") && !isLoopbackHost(server.host())
        && !m_account->allowInsecureHttp) {
        if (!askForPlainHttp(m_window, server.host()))
            return;
        m_account->allowInsecureHttp = true;
        if (Status saved = saveSyncAccount(*m_account); !saved)
            MessageService::instance().applicationError(m_window, saved.error().description);
    }
    Result<std::optional<QString>> password = PasswordStore::load(*m_account);
    if (!password || !password->has_value()) {
        if (!byUser) {
            setStatus(tr("Sync waits for the password: choose Sync Settings..."));
            return;
        }
        openSettings();
        password = PasswordStore::load(*m_account);
        if (!password || !password->has_value())
            return;
    }
    clearSecurityRefusal();
    m_job = jobFactory()(*m_account, **password, allowMassDelete, this);
    connect(m_job, &SyncJob::progress, this, [this](int done, int total, const QString &what) {
        if (m_progress) {
            m_progress->setMaximum(qMax(total, 1));
            m_progress->setValue(qMin(done, qMax(total, 1)));
            m_progress->setLabelText(what);
        }
        setStatus(total > 0 ? tr("Syncing... %1 of %2").arg(done).arg(total) : tr("Syncing..."));
    });
    connect(m_job, &SyncJob::finished, this, &SyncWindow::jobFinished);
    connect(m_job, &SyncJob::failed, this, &SyncWindow::jobFailed);
    connect(m_job, &SyncJob::guardStopped, this, &SyncWindow::jobStoppedByGuard);
    if (byUser) {
        m_progress = new QProgressDialog(tr("Syncing with %1...").arg(server.host()), tr("Cancel"), 0, 0, m_window);
        m_progress->setObjectName(QStringLiteral("SyncProgress"));
        m_progress->setWindowTitle(tr("Sync"));
        m_progress->setWindowModality(Qt::NonModal);
        m_progress->setMinimumDuration(400);
        m_progress->setAutoReset(false);
        m_progress->setAutoClose(false);
        connect(m_progress, &QProgressDialog::canceled, m_job, &SyncJob::cancel);
    }
    setStatus(tr("Syncing..."));
    m_job->start();
}

void SyncWindow::endJob()
{
    if (m_progress) {
        m_progress->reset();
        m_progress->deleteLater();
    }
    if (m_job)
        m_job->deleteLater();
    m_job = nullptr;
}

void SyncWindow::jobFinished(const QString &changes, int conflicts)
{
    endJob();
    Q_UNUSED(conflicts);
    setStatus(tr("Last sync %1: %2").arg(timeNow(), changes));
    QSettings settings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta"));
    settings.setValue(kLastStatus, m_status);
    if (m_refresh)
        m_refresh();
    emit syncEnded(true);
}

void SyncWindow::jobFailed(const QString &message)
{
    endJob();
    if (m_byUser && m_account && m_attempts++ < 3 && askAboutRefusal(m_window, *m_account)) {
        // The user trusted the certificate or the other server: keep the
        // decision with the account and try again.
        if (Status saved = saveSyncAccount(*m_account); !saved)
            MessageService::instance().applicationError(m_window, saved.error().description);
        start(true);
        return;
    }
    clearSecurityRefusal();
    setStatus(m_byUser ? tr("Sync failed %1").arg(timeNow())
                       : tr("Sync failed %1: choose Sync Now for the reason").arg(timeNow()));
    // A sync every few minutes shows its failure in the bar only.
    if (m_byUser)
        MessageService::instance().information(m_window, message);
    if (m_refresh)
        m_refresh();
    emit syncEnded(false);
}

void SyncWindow::jobStoppedByGuard(const QString &message)
{
    endJob();
    if (m_byUser
        && MessageService::instance().question(m_window, tr("Sync"),
                                               tr("%1\n\nNothing was deleted yet. Delete these contacts anyway?")
                                                   .arg(message))
               == MessageService::Answer::Yes) {
        start(true, true);
        return;
    }
    setStatus(tr("Sync stopped %1: it would delete many contacts; choose Sync Now").arg(timeNow()));
    emit syncEnded(false);
}

void SyncWindow::setStatus(const QString &text)
{
    m_status = text;
    if (!m_bar)
        return;
    if (text.isEmpty()) {
        m_bar->setCaption(m_barCaption);
        m_bar->setToolTip(QString());
        return;
    }
    // One line in the bar's caption; the whole text in its tip.
    const QString full = m_barCaption + QStringLiteral(" \u2014 ") + text;
    const int room = qMax(80, m_bar->width() - 4 * m_bar->height() - 16);
    m_bar->setCaption(m_bar->fontMetrics().elidedText(full, Qt::ElideRight, room));
    m_bar->setToolTip(full);
}
