#pragma once

#include "TransportSecurity.h"

#include <QDialog>

#include <memory>

class QPushButton;

namespace Ui {
class CertificateDialog;
}

// Asks whether to trust a server certificate that the system does not trust,
// or one that differs from the certificate trusted before: the host, the
// SHA-256 fingerprint, the subject, the issuer and the validity, with
// "Trust this certificate" and "Cancel" (the default).
class CertificateDialog : public QDialog {
    Q_OBJECT

public:
    explicit CertificateDialog(const SecurityRefusal &refusal, QWidget *parent = nullptr);
    ~CertificateDialog() override;

    QPushButton *trustButton() const { return m_trust; }
    QPushButton *cancelButton() const;

private:
    std::unique_ptr<Ui::CertificateDialog> ui;
    QPushButton *m_trust;
};
