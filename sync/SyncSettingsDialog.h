#pragma once

#include "SyncAccount.h"

#include "base/Result.h"

#include <QDialog>
#include <QList>
#include <QPair>

#include <functional>
#include <memory>
#include <optional>

namespace Ui {
class SyncSettingsDialog;
}

// The sync account: the server (a URL or just the host), the user name, the
// password, the address book (chosen among those found on the server) and
// how often to sync while the window is open. OK stores the account in the
// settings and the password in the secret store (for the session only when
// there is none, and the dialog says so); plain HTTP to another machine is
// asked about first.
class SyncSettingsDialog : public QDialog {
    Q_OBJECT

public:
    // Finds the address books of an account: (path, display name) pairs.
    using Discover = std::function<Result<QList<QPair<QString, QString>>>(const SyncAccount &, const QString &)>;

    SyncSettingsDialog(const std::optional<SyncAccount> &current, Discover discover, QWidget *parent = nullptr);
    ~SyncSettingsDialog() override;

    // The account as stored by OK.
    const SyncAccount &account() const { return m_account; }

    void accept() override;
    void findAddressBooks();

private:
    std::optional<SyncAccount> accountFromFields();

    std::unique_ptr<Ui::SyncSettingsDialog> ui;
    Discover m_discover;
    std::optional<SyncAccount> m_current;
    SyncAccount m_account;
};
