#include "PrivateCups.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <cups/cups.h>

#include <algorithm>

PrivateCups::~PrivateCups()
{
    stop();
}

QString PrivateCups::findTool(const QString &name)
{
    const QStringList places{QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin"), QStringLiteral("/sbin"),
                             QStringLiteral("/usr/bin"), QStringLiteral("/usr/local/bin")};
    const QString found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? QStandardPaths::findExecutable(name, places) : found;
}

PrivateCups::ToolResult PrivateCups::runTool(const QString &tool, const QStringList &arguments)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    environment.insert(QStringLiteral("LANG"), QStringLiteral("C"));
    environment.remove(QStringLiteral("LANGUAGE"));
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    ToolResult result;
    const QString path = findTool(tool);
    if (path.isEmpty()) {
        result.output = QStringLiteral("%1 is not installed").arg(tool);
        return result;
    }
    process.start(path, arguments);
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        result.output = QStringLiteral("%1 did not finish").arg(tool);
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

QString PrivateCups::start(const QString &root, const QString &printer)
{
    m_root = root;
    m_printer = printer;
    const QString cupsd = findTool(QStringLiteral("cupsd"));
    if (cupsd.isEmpty())
        return QStringLiteral("cupsd is not installed (Debian package cups-daemon)");
    for (const char *sub : {"spool", "state", "cache", "tmp", "log", "client", "home"}) {
        if (!QDir(root).mkpath(QString::fromLatin1(sub)))
            return QStringLiteral("cannot make %1").arg(QString::fromLatin1(sub));
    }
    const QString socket = root + QStringLiteral("/cups.sock");

    QFile conf(root + QStringLiteral("/cupsd.conf"));
    if (!conf.open(QIODevice::WriteOnly))
        return conf.errorString();
    conf.write(QStringLiteral("Listen %1\n"
                              "LogLevel warn\n"
                              "WebInterface No\n"
                              "Browsing No\n"
                              "DefaultAuthType None\n"
                              "PreserveJobFiles Yes\n"
                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                   .arg(socket)
                   .toUtf8());
    conf.close();
    QFile files(root + QStringLiteral("/cups-files.conf"));
    if (!files.open(QIODevice::WriteOnly))
        return files.errorString();
    files.write(QStringLiteral("ServerRoot %1\n"
                               "RequestRoot %1/spool\n"
                               "StateDir %1/state\n"
                               "CacheDir %1/cache\n"
                               "TempDir %1/tmp\n"
                               "AccessLog %1/log/access_log\n"
                               "ErrorLog %1/log/error_log\n"
                               "PageLog %1/log/page_log\n"
                               "FileDevice Yes\n"
                               "Sandboxing Relaxed\n"
                               "SystemGroup root\n")
                    .arg(root)
                    .toUtf8());
    files.close();

    qputenv("CUPS_SERVER", QFile::encodeName(socket));
    qputenv("CUPS_SERVERROOT", QFile::encodeName(root + QStringLiteral("/client")));
    qputenv("HOME", QFile::encodeName(homeFolder()));
    unsetenv("PRINTER");
    unsetenv("LPDEST");

    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(cupsd, {QStringLiteral("-f"), QStringLiteral("-c"), conf.fileName(), QStringLiteral("-s"),
                          files.fileName()});
    if (!m_cupsd.waitForStarted(10000))
        return m_cupsd.errorString();
    bool running = false;
    for (int attempt = 0; attempt < 150 && !running; ++attempt) {
        running = runTool(QStringLiteral("lpstat"), {QStringLiteral("-r")})
                      .output.contains(QLatin1String("scheduler is running"));
        if (!running) {
            if (m_cupsd.state() == QProcess::NotRunning)
                break;
            QThread::msleep(100);
        }
    }
    if (!running)
        return QStringLiteral("The private scheduler did not start.\n%1").arg(log());
    const ToolResult added = runTool(QStringLiteral("lpadmin"), {QStringLiteral("-p"), printer, QStringLiteral("-E"),
                                                                 QStringLiteral("-v"), QStringLiteral("file:///dev/null"),
                                                                 QStringLiteral("-m"), QStringLiteral("raw")});
    if (added.exitCode != 0)
        return added.output + log();
    return {};
}

void PrivateCups::stop()
{
    if (m_cupsd.state() == QProcess::NotRunning)
        return;
    m_cupsd.terminate();
    if (!m_cupsd.waitForFinished(10000)) {
        m_cupsd.kill();
        m_cupsd.waitForFinished();
    }
}

QString PrivateCups::log() const
{
    QFile file(m_root + QStringLiteral("/log/error_log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
}

QMap<QString, QString> PrivateCups::jobAttributes(int jobId) const
{
    QMap<QString, QString> attributes;
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ipp_t *response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    if (!response)
        return attributes;
    for (ipp_attribute_t *attribute = ippFirstAttribute(response); attribute;
         attribute = ippNextAttribute(response)) {
        const char *name = ippGetName(attribute);
        if (!name)
            continue;
        char value[2048];
        ippAttributeString(attribute, value, sizeof value);
        attributes.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    }
    ippDelete(response);
    return attributes;
}

QList<int> PrivateCups::pendingJobs() const
{
    cups_job_t *jobs = nullptr;
    const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, m_printer.toUtf8().constData(), 0, CUPS_WHICHJOBS_ACTIVE);
    QList<int> ids;
    for (int i = 0; i < count; ++i)
        ids << jobs[i].id;
    cupsFreeJobs(count, jobs);
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString PrivateCups::spooledFile(int jobId) const
{
    return m_root + QStringLiteral("/spool/d%1-001").arg(jobId, 5, 10, QLatin1Char('0'));
}
