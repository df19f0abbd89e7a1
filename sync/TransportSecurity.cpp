#include "TransportSecurity.h"

#include "SyncAccount.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

QMutex refusalLock;
std::optional<SecurityRefusal> lastRefusal;

void remember(SecurityRefusal refusal)
{
    QMutexLocker locker(&refusalLock);
    lastRefusal = std::move(refusal);
}

QString bareHost(QString host)
{
    host = host.trimmed().toLower();
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    if (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host;
}

bool sameHost(const QString &a, const QString &b)
{
    return bareHost(a) == bareHost(b);
}

int effectivePort(const QUrl &url)
{
    return url.port(url.scheme() == QLatin1String("http") ? 80 : 443);
}

QString displayHost(const QUrl &url)
{
    const QString host = url.host();
    const bool defaultPort = url.port() < 0 || url.port() == (url.scheme() == QLatin1String("http") ? 80 : 443);
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return defaultPort ? shown : shown + QLatin1Char(':') + QString::number(url.port());
}

bool neverAcceptable(const QSslError &error)
{
    switch (error.error()) {
    case QSslError::CertificateRevoked:
    case QSslError::CertificateBlacklisted:
    case QSslError::NoPeerCertificate:
    case QSslError::CertificateSignatureFailed:
        return true;
    default:
        return false;
    }
}

QString firstProblem(const QList<QSslError> &errors)
{
    return errors.isEmpty() ? QStringLiteral("it is not trusted") : errors.first().errorString();
}

} // namespace

bool isLoopbackHost(const QString &host)
{
    const QString bare = bareHost(host);
    if (bare == QLatin1String("localhost"))
        return true;
    QHostAddress address;
    if (!address.setAddress(bare))
        return false;
    if (address.isLoopback())
        return true;
    // ::ffff:127.x.x.x
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    return mapped && (v4 >> 24) == 127;
}

QString certificateFingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

std::optional<QString> normalizedFingerprint(const QString &typed)
{
    QString hex;
    for (const QChar c : typed) {
        if (c == QLatin1Char(':') || c.isSpace())
            continue;
        if (!isxdigit(c.toLatin1()) || c.unicode() > 127)
            return std::nullopt;
        hex += c.toUpper();
    }
    if (hex.size() != 64)
        return std::nullopt;
    QString withColons;
    for (int i = 0; i < hex.size(); i += 2) {
        if (i)
            withColons += QLatin1Char(':');
        withColons += hex.mid(i, 2);
    }
    return withColons;
}

QUrl normalizedServerUrl(const QString &typed)
{
    QString text = typed.trimmed();
    if (text.isEmpty())
        return {};
    if (!text.contains(QLatin1String("://")))
        text.prepend(QStringLiteral("https://"));
    QUrl url(text, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    url.setUserInfo(QString());
    url.setFragment(QString());
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    return url;
}

QUrl accountServerUrl(const SyncAccount &account)
{
    return normalizedServerUrl(account.serverUrl.toString());
}

Status checkPlainHttp(const QUrl &url, const SyncAccount &account)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("https"))
        return {};
    if (scheme != QLatin1String("http"))
        return failure(QStringLiteral("Only https:// and http:// addresses can be synced with (not %1).")
                           .arg(url.toDisplayString(QUrl::RemoveUserInfo)));
    if (isLoopbackHost(url.host()))
        return {};
    const QUrl server = accountServerUrl(account);
    if (account.allowInsecureHttp && sameHost(server.host(), url.host()))
        return {};
    remember({SecurityRefusal::Kind::PlainHttp, url.host(), QSslCertificate(), QString(), url});
    return failure(QStringLiteral("%1 is reached over plain HTTP: the password and the contacts would travel "
                                  "unencrypted. Use an https:// address, or allow plain HTTP for this account "
                                  "(--allow-insecure-http).")
                       .arg(displayHost(url)));
}

Status checkRedirect(const QUrl &from, const QUrl &to, const SyncAccount &account)
{
    if (!to.isValid() || to.host().isEmpty())
        return failure(QStringLiteral("%1 redirected to an invalid address.").arg(displayHost(from)));
    const bool fromHttps = from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    const bool toHttps = to.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0;
    if (fromHttps && !toHttps)
        return failure(QStringLiteral("%1 redirected from HTTPS to an unencrypted address (%2): refused.")
                           .arg(displayHost(from), to.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery)));
    const bool samePort = effectivePort(from) == effectivePort(to) || (!fromHttps && toHttps);
    if (!sameHost(from.host(), to.host()) || !samePort) {
        remember({SecurityRefusal::Kind::RedirectToOtherHost, to.host(), QSslCertificate(), QString(), to});
        return failure(QStringLiteral("%1 redirected to another server, %2. Your user name and password are "
                                      "not sent there unless you change the account's server to it.")
                           .arg(displayHost(from), displayHost(to)));
    }
    return checkPlainHttp(to, account);
}

Result<bool> acceptCertificate(const QString &host, const QList<QSslError> &errors, const QSslCertificate &peer,
                               const SyncAccount &account)
{
    if (peer.isNull())
        return failure(QStringLiteral("%1 gave no certificate: %2.").arg(host, firstProblem(errors)));
    for (const QSslError &error : errors)
        if (neverAcceptable(error))
            return failure(QStringLiteral("The certificate of %1 is refused: %2.").arg(host, error.errorString()));

    const QString fingerprint = certificateFingerprint(peer);
    const QString trusted = normalizedFingerprint(account.trustedCertificateSha256).value_or(QString());
    const bool ownHost = sameHost(host, accountServerUrl(account).host());
    if (!trusted.isEmpty() && ownHost) {
        if (trusted == fingerprint)
            return true;
        remember({SecurityRefusal::Kind::ChangedCertificate, host, peer, trusted, {}});
        return failure(QStringLiteral("The server's certificate has changed. %1 now shows a certificate with the "
                                      "SHA-256 fingerprint %2; the trusted certificate has the fingerprint %3. "
                                      "Nothing was synced.")
                           .arg(host, fingerprint, trusted));
    }
    remember({SecurityRefusal::Kind::UntrustedCertificate, host, peer, {}, {}});
    return failure(QStringLiteral("The certificate of %1 is not trusted (%2). Its SHA-256 fingerprint is %3. "
                                  "If this is your server's certificate, trust exactly this one for the account "
                                  "(corvanta sync --accept-certificate %3).")
                       .arg(host, firstProblem(errors), fingerprint));
}

bool mayUseBasicAuth(const QUrl &url)
{
    return url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 || isLoopbackHost(url.host());
}

bool offersDigest(const QByteArray &wwwAuthenticate)
{
    static const QRegularExpression digest(QStringLiteral("(^|[\\s,])digest(\\s|$)"),
                                           QRegularExpression::CaseInsensitiveOption);
    return digest.match(QString::fromLatin1(wwwAuthenticate)).hasMatch();
}

Status checkBodySize(const QUrl &url, qint64 received, qint64 limit)
{
    if (received <= limit)
        return {};
    return failure(QStringLiteral("The answer of %1 is larger than %2 MB and was refused; nothing of it was stored.")
                       .arg(displayHost(url))
                       .arg(limit / (1024 * 1024)));
}

Status checkXmlSafe(const QByteArray &xml)
{
    QString text;
    const bool wide = xml.startsWith("\xFE\xFF") || xml.startsWith("\xFF\xFE") || xml.left(4).contains('\0');
    if (wide) {
        auto encoding = QStringConverter::encodingForData(xml);
        QStringDecoder decode(encoding.value_or(QStringConverter::Utf16));
        text = decode(xml);
    } else {
        text = QString::fromLatin1(xml);
    }
    if (text.contains(QLatin1String("<!DOCTYPE"), Qt::CaseInsensitive)
        || text.contains(QLatin1String("<!ENTITY"), Qt::CaseInsensitive))
        return failure(QStringLiteral("The server's answer declares a document type or entities; such XML is "
                                      "refused and nothing of it was stored."));
    return {};
}

std::optional<SecurityRefusal> takeSecurityRefusal()
{
    QMutexLocker locker(&refusalLock);
    std::optional<SecurityRefusal> taken = std::move(lastRefusal);
    lastRefusal.reset();
    return taken;
}

void clearSecurityRefusal()
{
    QMutexLocker locker(&refusalLock);
    lastRefusal.reset();
}
