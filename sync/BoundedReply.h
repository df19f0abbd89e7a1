#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <optional>

class QNetworkReply;

// Reads the body of one network reply within bounds: the reply is aborted
// as soon as its announced or received size passes the limit, when nothing
// arrives for the idle timeout, or when it is still running at the deadline.
// The body is kept here only; a cut reply leaves an Error and no body, so
// that nothing partial can be stored. It does not own the reply.
//
//   QNetworkReply *reply = manager.sendCustomRequest(request, "REPORT", xml);
//   BoundedReply bounded(reply, maxListingBytes);
//   if (Status done = bounded.wait(); !done) return done.error();
//   Status safe = checkXmlSafe(bounded.body());
class BoundedReply : public QObject {
    Q_OBJECT

public:
    BoundedReply(QNetworkReply *reply, qint64 limit, int idleMs = -1, int deadlineMs = -1);

    // Runs a local event loop until the reply has finished or was cut. The
    // Status is the cut's reason; network errors stay on the reply.
    Status wait();
    bool isDone() const { return m_done; }
    // Why the reply was cut, or nothing.
    std::optional<Error> cut() const { return m_cut; }
    QByteArray body() const { return m_cut ? QByteArray() : m_body; }

signals:
    void done();

private:
    void readMore();
    void stop(Error why);
    void finish();

    QPointer<QNetworkReply> m_reply;
    qint64 m_limit;
    QByteArray m_body;
    QTimer m_idle;
    QTimer m_deadline;
    std::optional<Error> m_cut;
    bool m_done = false;
};
