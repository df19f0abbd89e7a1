#pragma once

#include "SyncAccount.h"

#include "base/Result.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

#include <atomic>
#include <optional>
#include <memory>

class QNetworkAccessManager;

namespace carddav {

struct DavReply {
    int status = 0;           // HTTP status; 0 when no reply came
    QByteArray body;
    QString etag;             // as the server sent it, quotes included
    QUrl location;            // of a redirect
    QByteArray contentType;

    bool strongEtag() const { return !etag.isEmpty() && !etag.startsWith(QLatin1String("W/")); }
};

// The HTTP side of WebDAV: one request at a time, answered before the call
// returns (a local event loop runs meanwhile, so the object must be used on
// one thread, normally the sync worker). Every request carries Basic
// credentials; redirects are never followed here, the caller decides.
class DavClient {
public:
    DavClient(SyncAccount account, QString password);
    ~DavClient();
    DavClient(const DavClient &) = delete;
    DavClient &operator=(const DavClient &) = delete;

    const SyncAccount &account() const { return m_account; }
    // A request of any method. A reply with an HTTP status (even 4xx or 5xx)
    // is a DavReply; a failure to reach the server, a refused connection or a
    // body over `maxBytes` is an Error that says so.
    Result<DavReply> send(const QByteArray &method, const QUrl &url, const QByteArray &body = {},
                          const QList<QPair<QByteArray, QByteArray>> &headers = {}, qint64 maxBytes = 64 * 1024 * 1024,
                          int idleSeconds = 0);
    // Requests about the whole address book: a server may think for minutes
    // before it answers the first byte (Radicale lists 10,000 cards slowly).
    static constexpr int kCollectionIdleSeconds = 600;

    // Stops the request in progress and refuses every later one.
    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }
    // Seconds a request may stay silent before it fails.
    void setTimeoutSeconds(int seconds) { m_timeoutSeconds = seconds; }

private:
    SyncAccount m_account;
    QByteArray m_authorization;
    QString m_password;
    std::unique_ptr<QNetworkAccessManager> m_manager;
    std::atomic<bool> m_cancelled = false;
    int m_timeoutSeconds = 60;
};

// "Wrong user name or password" and friends: one clear message per status.
QString describeHttpFailure(const QString &what, const DavReply &reply);

} // namespace carddav
