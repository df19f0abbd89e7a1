#include "BoundedReply.h"

#include "TransportSecurity.h"

#include <QEventLoop>
#include <QNetworkReply>

BoundedReply::BoundedReply(QNetworkReply *reply, qint64 limit, int idleMs, int deadlineMs)
    : m_reply(reply), m_limit(limit)
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(idleMs > 0 ? idleMs : idleTimeoutMs);
    m_deadline.setSingleShot(true);
    m_deadline.setInterval(deadlineMs > 0 ? deadlineMs : requestDeadlineMs);
    const QString host = reply->url().host();
    connect(&m_idle, &QTimer::timeout, this, [this, host] {
        stop(failure(QStringLiteral("%1 sent nothing for %2 seconds; the request was ended and nothing of it was "
                                    "stored.")
                         .arg(host)
                         .arg(m_idle.interval() / 1000)));
    });
    connect(&m_deadline, &QTimer::timeout, this, [this, host] {
        stop(failure(QStringLiteral("The answer of %1 did not end within %2 seconds; the request was ended and "
                                    "nothing of it was stored.")
                         .arg(host)
                         .arg(m_deadline.interval() / 1000)));
    });
    connect(reply, &QNetworkReply::metaDataChanged, this, [this] {
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid()) {
            if (Status size = checkBodySize(m_reply->url(), length.toLongLong(), m_limit); !size)
                stop(size.error());
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, &BoundedReply::readMore);
    connect(reply, &QNetworkReply::uploadProgress, this, [this] { m_idle.start(); });
    connect(reply, &QNetworkReply::finished, this, &BoundedReply::finish);
    connect(reply, &QObject::destroyed, this, &BoundedReply::finish);
    m_idle.start();
    m_deadline.start();
    if (reply->isFinished())
        QTimer::singleShot(0, this, &BoundedReply::finish);
}

void BoundedReply::readMore()
{
    if (m_cut || !m_reply)
        return;
    m_idle.start();
    m_body += m_reply->readAll();
    if (Status size = checkBodySize(m_reply->url(), m_body.size(), m_limit); !size)
        stop(size.error());
}

void BoundedReply::stop(Error why)
{
    if (m_cut || m_done)
        return;
    m_cut = std::move(why);
    m_body.clear();
    m_body.squeeze();
    if (m_reply)
        m_reply->abort();
    else
        finish();
}

void BoundedReply::finish()
{
    if (m_done)
        return;
    if (!m_cut && m_reply && m_reply->bytesAvailable() > 0)
        readMore();
    m_done = true;
    m_idle.stop();
    m_deadline.stop();
    emit done();
}

Status BoundedReply::wait()
{
    if (!m_done) {
        QEventLoop loop;
        connect(this, &BoundedReply::done, &loop, &QEventLoop::quit);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (m_cut)
        return *m_cut;
    return {};
}
