#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QUrl>

#include <optional>

struct SyncAccount;

// What the sync lets travel, and to whom. Every request of the CardDAV client
// passes these checks; a refusal is an Error whose text names the host and,
// for certificates, the SHA-256 fingerprints, and never a password.
//
// Rules:
// - certificates are verified against the system's trust store; a certificate
//   that fails is accepted only when its fingerprint is the one the user
//   trusted for the account;
// - plain HTTP only to a loopback address, or to the account's own host when
//   the user allowed it for the account;
// - no redirect from HTTPS to HTTP, none to another host;
// - bounded answers: sizes below, an inactivity timeout and a deadline, and no
//   XML with a document type or entity declarations.

// 127.0.0.0/8, ::1 (also written as an IPv4-mapped address) and "localhost".
bool isLoopbackHost(const QString &host);

// The certificate's SHA-256 fingerprint as "AB:CD:...", upper case.
QString certificateFingerprint(const QSslCertificate &certificate);

// A fingerprint as a person typed it (any case, with or without colons or
// spaces) in the form above, or nothing when it is not 32 bytes of hex.
std::optional<QString> normalizedFingerprint(const QString &typed);

// The server address of an account as a URL: a bare host ("dav.example.org",
// "192.168.1.5:5232") becomes https://host/. User and password in the URL are
// dropped: the password is never part of the account.
QUrl accountServerUrl(const SyncAccount &account);
QUrl normalizedServerUrl(const QString &typed);

// HTTPS always passes; HTTP only to a loopback host, or to the account's own
// host when the account allows plain HTTP. Any other scheme is refused.
Status checkPlainHttp(const QUrl &url, const SyncAccount &account);

// A redirect may stay on the host of the request (a new path, or HTTP to
// HTTPS); HTTPS to HTTP and any other host are refused (the window asks the
// user about another host and then changes the account's server).
Status checkRedirect(const QUrl &from, const QUrl &to, const SyncAccount &account);

// Decides on the TLS errors of a reply: true (ignore them) only when the
// server's certificate is the one trusted for the account; otherwise an Error
// naming the host and the fingerprint (and the trusted one when it changed).
// A revoked or blacklisted certificate is never accepted.
Result<bool> acceptCertificate(const QString &host, const QList<QSslError> &errors,
                               const QSslCertificate &peer, const SyncAccount &account);

// Basic authentication sends the password readable to anyone on the way: it
// goes only over HTTPS or to a loopback host. Elsewhere the password is sent
// only when the server asks for Digest (its WWW-Authenticate header).
bool mayUseBasicAuth(const QUrl &url);
bool offersDigest(const QByteArray &wwwAuthenticate);

constexpr qint64 maxListingBytes = 64 * 1024 * 1024;
constexpr qint64 maxCardBytes = 8 * 1024 * 1024;
// Nothing received for this long ends a request, and so does a request that
// is still running after the deadline.
constexpr int idleTimeoutMs = 60 * 1000;
constexpr int requestDeadlineMs = 10 * 60 * 1000;

// Refuses a body that passed its limit (received counts the bytes so far).
Status checkBodySize(const QUrl &url, qint64 received, qint64 limit);

// Refuses XML with a document type declaration or entity declarations (they
// can expand a small answer into gigabytes, or read local files).
Status checkXmlSafe(const QByteArray &xml);

// What the last refusal was about, so that the window can ask the user and
// sync again: the certificate it did not trust, or the other host a redirect
// led to. Taking it clears it. Safe from any thread.
struct SecurityRefusal {
    enum class Kind { UntrustedCertificate, ChangedCertificate, RedirectToOtherHost, PlainHttp } kind;
    QString host;
    QSslCertificate certificate;   // the certificates' kinds
    QString trustedFingerprint;    // ChangedCertificate: the one trusted before
    QUrl target;                   // RedirectToOtherHost and PlainHttp: where it was going
};
std::optional<SecurityRefusal> takeSecurityRefusal();
void clearSecurityRefusal();
