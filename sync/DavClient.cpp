#include "DavClient.h"

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
    // Transport security hook: checkPlainHttp(url, m_account) refuses plain
    // HTTP to a host that is not this machine unless the account allows it.

    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setRawHeader("Authorization", m_authorization);
    request.setRawHeader("User-Agent", "Corvanta/" CORVANTA_VERSION);
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setRawHeader("Content-Type", "application/xml; charset=utf-8");
    request.setTransferTimeout(m_timeoutSeconds * 1000);

    QNetworkReply *reply = m_manager->sendCustomRequest(request, method, body);
    QEventLoop loop;
    bool tooLarge = false;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::downloadProgress, &loop, [&](qint64 received, qint64) {
        if (received > maxBytes && !tooLarge) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::sslErrors, &loop, [&](const QList<QSslError> &) {
        // Transport security hook: acceptCertificate(host, errors, peer,
        // m_account) decides; ignoreSslErrors() only when it says yes.
    });
    QTimer cancelPoll;
    QObject::connect(&cancelPoll, &QTimer::timeout, &loop, [&] {
        if (m_cancelled)
            reply->abort();
    });
    cancelPoll.start(100);
    if (!reply->isFinished())
        loop.exec();
    cancelPoll.stop();
    std::unique_ptr<QNetworkReply, void (*)(QNetworkReply *)> owned(reply, [](QNetworkReply *r) { r->deleteLater(); });

    if (m_cancelled)
        return failure(QStringLiteral("The sync was cancelled."));
    if (tooLarge)
        return failure(QStringLiteral("The server's reply to %1 %2 is larger than %3 MB; it was not read.")
                           .arg(QString::fromLatin1(method), url.path()).arg(maxBytes / (1024 * 1024)));
    DavReply result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (result.status == 0) {
        const QString why = reply->error() == QNetworkReply::OperationCanceledError
                                ? QStringLiteral("no answer within %1 seconds").arg(m_timeoutSeconds)
                                : reply->errorString();
        return failure(QStringLiteral("The server %1 could not be reached: %2.").arg(url.host(), why));
    }
    result.body = reply->readAll();
    if (result.body.size() > maxBytes)
        return failure(QStringLiteral("The server's reply to %1 %2 is too large; it was not read.")
                           .arg(QString::fromLatin1(method), url.path()));
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
