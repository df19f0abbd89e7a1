#include "DavClient.h"

#include "BoundedReply.h"
#include "TransportSecurity.h"

#include <QAuthenticator>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace carddav {

DavClient::DavClient(SyncAccount account, QString password)
    : m_account(std::move(account)), m_manager(std::make_unique<QNetworkAccessManager>())
{
    m_authorization = "Basic " + (m_account.userName + QLatin1Char(':') + password).toUtf8().toBase64();
    m_password = password;
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    // Connections are kept open between requests; no cookies or caches.
    m_manager->setCookieJar(nullptr);
}

DavClient::~DavClient() = default;

Result<DavReply> DavClient::send(const QByteArray &method, const QUrl &url, const QByteArray &body,
                                 const QList<QPair<QByteArray, QByteArray>> &headers, qint64 maxBytes)
{
    if (m_cancelled)
        return failure(QStringLiteral("The sync was cancelled."));
    if (Status allowed = checkPlainHttp(url, m_account); !allowed)
        return allowed.error();

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    // Basic credentials only where nobody on the way can read them; elsewhere
    // only when the server asks for Digest.
    const bool basic = mayUseBasicAuth(url);
    if (basic)
        request.setRawHeader("Authorization", m_authorization);
    request.setRawHeader("User-Agent", "Corvanta/" CORVANTA_VERSION);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");

    QNetworkReply *reply = m_manager->sendCustomRequest(request, method, body);
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> owned(reply, [](QNetworkReply *r) { r->deleteLater(); });
    std::optional<Error> refused;
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [&, reply](const QList<QSslError> &errors) {
        Result<bool> accepted = acceptCertificate(url.host(), errors, reply->sslConfiguration().peerCertificate(), m_account);
        if (accepted && *accepted)
            reply->ignoreSslErrors();
        else if (!accepted)
            refused = accepted.error();
    });
    QObject::connect(m_manager.get(), &QNetworkAccessManager::authenticationRequired, reply,
                     [&, reply](QNetworkReply *asking, QAuthenticator *authenticator) {
                         if (asking != reply || basic || !offersDigest(reply->rawHeader("WWW-Authenticate")))
                             return;
                         authenticator->setUser(m_account.userName);
                         authenticator->setPassword(m_password);
                     });
    QTimer cancelPoll;
    QObject::connect(&cancelPoll, &QTimer::timeout, reply, [&] {
        if (m_cancelled)
            reply->abort();
    });
    cancelPoll.start(100);
    BoundedReply bounded(reply, maxBytes, m_timeoutSeconds * 1000);
    const Status read = bounded.wait();
    cancelPoll.stop();

    if (m_cancelled)
        return failure(QStringLiteral("The sync was cancelled."));
    if (refused)
        return *refused;
    if (!read)
        return read.error();
    DavReply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (result.status == 0) {
        const QString why = reply->error() == QNetworkReply::OperationCanceledError
                                ? QStringLiteral("no answer within %1 seconds").arg(m_timeoutSeconds)
                                : reply->errorString();
        return failure(QStringLiteral("The server %1 could not be reached: %2.").arg(url.host(), why));
    }
    result.body = bounded.body();
    result.etag = QString::fromLatin1(reply->rawHeader("ETag")).trimmed();
    result.contentType = reply->rawHeader("Content-Type");
    const QByteArray location = reply->rawHeader("Location");
    if (!location.isEmpty())
        result.location = url.resolved(QUrl::fromEncoded(location));
    return result;
}

QString describeHttpFailure(const QString &what, const DavReply &reply)
{
    switch (reply.status) {
    case 401:
        return QStringLiteral("%1: the server refused the user name or password (HTTP 401).").arg(what);
    case 403:
        return QStringLiteral("%1: the server does not allow this (HTTP 403).").arg(what);
    case 404:
        return QStringLiteral("%1: the server has no such address book (HTTP 404).").arg(what);
    case 507:
        return QStringLiteral("%1: the server has no room left (HTTP 507).").arg(what);
    default:
        return QStringLiteral("%1: the server answered HTTP %2.").arg(what).arg(reply.status);
    }
}

} // namespace carddav
