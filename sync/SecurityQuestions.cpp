#include "SecurityQuestions.h"

#include "CertificateDialog.h"
#include "SyncAccount.h"
#include "TransportSecurity.h"

#include "frame/MessageService.h"

bool askForPlainHttp(QWidget *parent, const QString &host)
{
    return MessageService::instance().question(
               parent, QObject::tr("Unencrypted Connection"),
               QObject::tr("%1 is reached over plain HTTP. Your user name, your password and all your contacts "
                           "would travel unencrypted, readable by anyone on the network between this computer "
                           "and the server.\n\nSync with this server over plain HTTP anyway?")
                   .arg(host))
        == MessageService::Answer::Yes;
}

bool askAboutRefusal(QWidget *parent, SyncAccount &account)
{
    const std::optional<SecurityRefusal> refusal = takeSecurityRefusal();
    if (!refusal)
        return false;
    switch (refusal->kind) {
    case SecurityRefusal::Kind::UntrustedCertificate:
    case SecurityRefusal::Kind::ChangedCertificate: {
        CertificateDialog dialog(*refusal, parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        account.trustedCertificateSha256 = certificateFingerprint(refusal->certificate);
        return true;
    }
    case SecurityRefusal::Kind::RedirectToOtherHost: {
        const QString where = refusal->target.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
        const bool yes = MessageService::instance().question(
                             parent, QObject::tr("Another Server"),
                             QObject::tr("The server sent Corvanta on to another server:\n%1\n\nMake it this "
                                         "account's server and send your user name and password there?")
                                 .arg(where))
                      == MessageService::Answer::Yes;
        if (!yes)
            return false;
        QUrl server = refusal->target.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment);
        if (account.serverUrl.host() != server.host())
            account.trustedCertificateSha256.clear();
        account.serverUrl = server;
        if (server.scheme() == QLatin1String("http") && !isLoopbackHost(server.host()))
            account.allowInsecureHttp = askForPlainHttp(parent, server.host());
        return server.scheme() == QLatin1String("https") || isLoopbackHost(server.host()) || account.allowInsecureHttp;
    }
    case SecurityRefusal::Kind::PlainHttp:
        if (!askForPlainHttp(parent, refusal->host))
            return false;
        account.allowInsecureHttp = true;
        return true;
    }
    return false;
}
