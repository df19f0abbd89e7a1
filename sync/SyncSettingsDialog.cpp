#include "SyncSettingsDialog.h"

#include "ui_SyncSettingsDialog.h"

#include "PasswordStore.h"
#include "SecurityQuestions.h"
#include "TransportSecurity.h"

#include "frame/MessageService.h"

#include <QApplication>
#include <QCursor>
#include <QPushButton>

SyncSettingsDialog::SyncSettingsDialog(const std::optional<SyncAccount> &current, Discover discover, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::SyncSettingsDialog>()), m_discover(std::move(discover)),
      m_current(current)
{
    ui->setupUi(this);
    ui->passwordNote->hide();
    ui->securityNote->setText(tr("The password is kept in the desktop's secret store, never in a file. "
                                 "Certificates are checked; one the system does not trust is shown to you first."));
    if (current) {
        ui->serverEdit->setText(current->serverUrl.toDisplayString(QUrl::RemoveUserInfo));
        ui->userEdit->setText(current->userName);
        if (!current->addressBookPath.isEmpty())
            ui->addressBookCombo->addItem(current->addressBookPath, current->addressBookPath);
        ui->intervalSpin->setValue(current->intervalMinutes);
        Result<std::optional<QString>> stored = PasswordStore::load(*current);
        if (stored && stored->has_value())
            ui->passwordEdit->setText(**stored);
    }
    ui->addressBookCombo->setPlaceholderText(tr("Found when you choose Find Address Books"));
    connect(ui->findButton, &QPushButton::clicked, this, &SyncSettingsDialog::findAddressBooks);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &SyncSettingsDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

SyncSettingsDialog::~SyncSettingsDialog() = default;

std::optional<SyncAccount> SyncSettingsDialog::accountFromFields()
{
    const QUrl server = normalizedServerUrl(ui->serverEdit->text());
    if (server.isEmpty()) {
        MessageService::instance().information(this, tr("Enter the server's address, for example "
                                                        "https://dav.example.org/ or just its host name."));
        ui->serverEdit->setFocus();
        return std::nullopt;
    }
    if (ui->userEdit->text().trimmed().isEmpty()) {
        MessageService::instance().information(this, tr("Enter your user name on the server."));
        ui->userEdit->setFocus();
        return std::nullopt;
    }
    SyncAccount account;
    account.serverUrl = server;
    account.userName = ui->userEdit->text().trimmed();
    account.addressBookPath = ui->addressBookCombo->currentData().toString();
    account.intervalMinutes = ui->intervalSpin->value();
    // What was decided for this server stays with it; a new server starts afresh.
    if (m_current && normalizedServerUrl(m_current->serverUrl.toString()).host() == server.host()) {
        account.trustedCertificateSha256 = m_current->trustedCertificateSha256;
        account.allowInsecureHttp = m_current->allowInsecureHttp;
    }
    if (server.scheme() == QLatin1String("http") && !isLoopbackHost(server.host()) && !account.allowInsecureHttp) {
        if (!askForPlainHttp(this, server.host()))
            return std::nullopt;
        account.allowInsecureHttp = true;
    }
    return account;
}

void SyncSettingsDialog::findAddressBooks()
{
    std::optional<SyncAccount> account = accountFromFields();
    if (!account || !m_discover)
        return;
    Result<QList<QPair<QString, QString>>> found = failure(QString());
    for (int attempt = 0; attempt < 4; ++attempt) {
        clearSecurityRefusal();
        QApplication::setOverrideCursor(Qt::WaitCursor);
        found = m_discover(*account, ui->passwordEdit->text());
        QApplication::restoreOverrideCursor();
        if (found || !askAboutRefusal(this, *account))
            break;
        // The user trusted the certificate or the other server: keep it.
        ui->serverEdit->setText(account->serverUrl.toDisplayString(QUrl::RemoveUserInfo));
        m_current = account;
    }
    if (!found) {
        MessageService::instance().information(this, found.error().description);
        return;
    }
    const QString chosen = ui->addressBookCombo->currentData().toString();
    ui->addressBookCombo->clear();
    for (const auto &[path, name] : *found)
        ui->addressBookCombo->addItem(name.isEmpty() ? path : QStringLiteral("%1 (%2)").arg(name, path), path);
    const int keep = ui->addressBookCombo->findData(chosen);
    ui->addressBookCombo->setCurrentIndex(keep >= 0 ? keep : 0);
    if (found->isEmpty())
        MessageService::instance().information(this, tr("The server has no address book for %1.").arg(account->userName));
}

void SyncSettingsDialog::accept()
{
    std::optional<SyncAccount> account = accountFromFields();
    if (!account)
        return;
    if (Status saved = saveSyncAccount(*account); !saved) {
        MessageService::instance().applicationError(this, saved.error().description);
        return;
    }
    const QString password = ui->passwordEdit->text();
    if (!password.isEmpty()) {
        Result<PasswordStore::Kept> kept = PasswordStore::save(*account, password);
        if (!kept) {
            MessageService::instance().applicationError(this, kept.error().description);
            return;
        }
        if (*kept == PasswordStore::Kept::ForThisSessionOnly) {
            ui->passwordNote->setText(PasswordStore::sessionOnlyNotice());
            ui->passwordNote->show();
            MessageService::instance().information(this, PasswordStore::sessionOnlyNotice());
        }
    }
    m_account = *account;
    QDialog::accept();
}
