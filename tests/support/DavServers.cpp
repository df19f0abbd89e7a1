#include "DavServers.h"

#include <QAuthenticator>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

namespace {
int freePort()
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
} // namespace

DavServer::DavServer(Kind kind) : m_kind(kind)
{
    m_port = freePort();
    if (m_kind == Radicale) {
        QFile users(m_dir.filePath(QStringLiteral("users")));
        users.open(QIODevice::WriteOnly);
        users.write((user() + QLatin1Char(':') + password() + QLatin1Char('\n')).toUtf8());
        QFile config(m_dir.filePath(QStringLiteral("config")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2/users\n"
                                    "htpasswd_encryption = plain\n[rights]\ntype = owner_only\n[storage]\n"
                                    "filesystem_folder = %2/collections\n[logging]\nlevel = warning\n")
                         .arg(m_port)
                         .arg(m_dir.path())
                         .toUtf8());
    }
}

DavServer::~DavServer()
{
    stop();
}

QString DavServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1/").arg(m_port);
}

QString DavServer::addressBookPath() const
{
    return m_kind == Radicale ? QStringLiteral("/user/contacts/") : QStringLiteral("/user/contacts/addressbook/");
}

bool DavServer::start()
{
    m_process = std::make_unique<QProcess>();
    m_process->setStandardErrorFile(QProcess::nullDevice());
    m_process->setStandardOutputFile(QProcess::nullDevice());
    if (m_kind == Radicale)
        m_process->start(QStringLiteral("radicale"), {QStringLiteral("-C"), m_dir.filePath(QStringLiteral("config"))});
    else
        m_process->start(QStringLiteral("xandikos"), {QStringLiteral("-d"), m_dir.filePath(QStringLiteral("data")), QStringLiteral("-l"),
                                                      QStringLiteral("127.0.0.1"), QStringLiteral("-p"), QString::number(m_port),
                                                      QStringLiteral("--defaults")});
    if (!m_process->waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(20000);
    bool up = false;
    while (!up && !deadline.hasExpired() && m_process->state() == QProcess::Running) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        up = socket.waitForConnected(200);
        if (!up)
            QThread::msleep(100);
    }
    if (!up)
        return false;
    if (m_kind == Radicale && !m_bookMade) {
        const QByteArray mkcol =
            "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop>"
            "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype><d:displayname>Contacts</d:displayname>"
            "</d:prop></d:set></d:mkcol>";
        request("PROPFIND", QStringLiteral("/user/"), {}, nullptr, {{"Depth", "0"}});
        if (request("MKCOL", addressBookPath(), mkcol) != 201)
            return false;
    }
    m_bookMade = true;
    return true;
}

void DavServer::stop()
{
    if (m_process && m_process->state() != QProcess::NotRunning) {
        m_process->kill();
        m_process->waitForFinished(10000);
    }
    m_process.reset();
}

int DavServer::request(const QByteArray &method, const QString &path, const QByteArray &body, QByteArray *reply,
                       const QList<QPair<QByteArray, QByteArray>> &headers)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(baseUrl()).resolved(QUrl(path)));
    request.setRawHeader("Authorization", "Basic " + (user() + QLatin1Char(':') + password()).toUtf8().toBase64());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!body.isEmpty())
        request.setRawHeader("Content-Type", path.endsWith(QLatin1String(".vcf")) ? "text/vcard; charset=utf-8" : "application/xml");
    for (const auto &[name, value] : headers)
        request.setRawHeader(name, value);
    QNetworkReply *answer = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(answer, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = answer->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply)
        *reply = answer->readAll();
    delete answer;
    return status;
}

int DavServer::put(const QString &name, const QByteArray &card)
{
    return request("PUT", addressBookPath() + name, card);
}

QByteArray DavServer::get(const QString &name, int *status)
{
    QByteArray body;
    const int code = request("GET", addressBookPath() + name, {}, &body);
    if (status)
        *status = code;
    return body;
}

int DavServer::remove(const QString &name)
{
    return request("DELETE", addressBookPath() + name, {});
}

QStringList DavServer::cardNames()
{
    QByteArray body;
    request("PROPFIND", addressBookPath(),
            "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/></d:prop></d:propfind>", &body,
            {{"Depth", "1"}});
    QStringList names;
    static const QRegularExpression href(QStringLiteral("<(?:[A-Za-z0-9]+:)?href>([^<]*)</"));
    for (auto it = href.globalMatch(QString::fromUtf8(body)); it.hasNext();) {
        const QString path = QUrl::fromPercentEncoding(it.next().captured(1).toUtf8());
        if (!path.endsWith(QLatin1Char('/')))
            names << path.section(QLatin1Char('/'), -1);
    }
    names.sort();
    return names;
}

QString writePasswordFile(const QString &folder, const QString &password)
{
    const QString path = folder + QStringLiteral("/password.txt");
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(password.toUtf8() + "\n");
    return path;
}
