#include "CertificateDialog.h"

#include "ui_CertificateDialog.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QLocale>
#include <QPushButton>

namespace {

QString names(const QSslCertificate &certificate, bool issuer)
{
    QStringList parts;
    for (const auto attribute : {QSslCertificate::CommonName, QSslCertificate::Organization,
                                 QSslCertificate::OrganizationalUnitName, QSslCertificate::LocalityName,
                                 QSslCertificate::CountryName}) {
        const QStringList values = issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString &value : values)
            if (!value.isEmpty() && !parts.contains(value))
                parts << value;
    }
    if (parts.isEmpty())
        return issuer ? certificate.issuerDisplayName() : certificate.subjectDisplayName();
    return parts.join(QStringLiteral(", "));
}

QString when(const QDateTime &moment)
{
    return QLocale().toString(moment.toLocalTime(), QLocale::LongFormat);
}

} // namespace

CertificateDialog::CertificateDialog(const SecurityRefusal &refusal, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::CertificateDialog>())
{
    ui->setupUi(this);
    const QSslCertificate &certificate = refusal.certificate;
    const QString fingerprint = certificateFingerprint(certificate);
    if (refusal.kind == SecurityRefusal::Kind::ChangedCertificate) {
        ui->labelProblem->setText(
            tr("<b>The server's certificate has changed.</b> %1 now shows the certificate below; the certificate "
               "trusted for this account has the fingerprint %2. If you did not renew the server's certificate, "
               "someone may be listening in: choose Cancel.")
                .arg(refusal.host.toHtmlEscaped(), refusal.trustedFingerprint));
    } else {
        ui->labelProblem->setText(
            tr("<b>The certificate of %1 is not trusted by this system.</b> Servers at home (Radicale, Nextcloud "
               "...) often make their own certificate; a stranger on the network can make one too.")
                .arg(refusal.host.toHtmlEscaped()));
    }
    ui->valueHost->setText(refusal.host);
    // Two lines of 16 bytes, easy to compare with what the server shows.
    ui->valueFingerprint->setText(fingerprint.left(47) + QLatin1Char('\n') + fingerprint.mid(48));
    ui->valueFingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ui->valueFingerprint->setAccessibleName(fingerprint);
    ui->valueSubject->setText(names(certificate, false));
    ui->valueIssuer->setText(names(certificate, true));
    ui->valueValidFrom->setText(when(certificate.effectiveDate()));
    const QDateTime expiry = certificate.expiryDate();
    ui->valueValidUntil->setText(expiry < QDateTime::currentDateTimeUtc() ? tr("%1 (expired)").arg(when(expiry))
                                                                           : when(expiry));

    m_trust = ui->buttonBox->addButton(tr("Trust this certificate"), QDialogButtonBox::AcceptRole);
    m_trust->setObjectName(QStringLiteral("trustButton"));
    m_trust->setAutoDefault(false);
    QPushButton *cancel = cancelButton();
    cancel->setObjectName(QStringLiteral("cancelButton"));
    cancel->setAutoDefault(true);
    cancel->setDefault(true);
    cancel->setFocus(Qt::OtherFocusReason);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

CertificateDialog::~CertificateDialog() = default;

QPushButton *CertificateDialog::cancelButton() const
{
    return ui->buttonBox->button(QDialogButtonBox::Cancel);
}
