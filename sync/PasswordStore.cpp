#include "PasswordStore.h"

#include "SyncAccount.h"
#include "TransportSecurity.h"

#include <QEventLoop>
#include <QFile>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <qt6keychain/keychain.h>

namespace {

const QString kService = QStringLiteral("Corvanta CardDAV");

QMutex sessionLock;
QHash<QString, QString> sessionPasswords;
bool secretStoreDisabled = false;

// One key per user and server: "user@host:port".
QString keyFor(const SyncAccount &account)
{
    const QUrl server = accountServerUrl(account);
    return account.userName + QLatin1Char('@') + server.host().toLower() + QLatin1Char(':')
         + QString::number(server.port(server.scheme() == QLatin1String("http") ? 80 : 443));
}

bool noSecretStore(QKeychain::Error error)
{
    return error == QKeychain::NoBackendAvailable || error == QKeychain::NotImplemented
        || error == QKeychain::OtherError || error == QKeychain::AccessDenied;
}

// Runs a keychain job to its end.
void runJob(QKeychain::Job &job)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false); // never the plain settings file
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

namespace PasswordStore {

Result<Kept> save(const SyncAccount &account, const QString &password)
{
    const QString key = keyFor(account);
    if (!secretStoreDisabled) {
        QKeychain::WritePasswordJob job(kService);
        job.setKey(key);
        job.setTextData(password);
        runJob(job);
        if (job.error() == QKeychain::NoError) {
            QMutexLocker locker(&sessionLock);
            sessionPasswords.remove(key);
            return Kept::InSecretStore;
        }
        if (job.error() == QKeychain::AccessDeniedByUser)
            return failure(QStringLiteral("The secret store refused to keep the password: %1").arg(job.errorString()));
    }
    QMutexLocker locker(&sessionLock);
    sessionPasswords.insert(key, password);
    return Kept::ForThisSessionOnly;
}

Result<std::optional<QString>> load(const SyncAccount &account)
{
    const QString key = keyFor(account);
    {
        QMutexLocker locker(&sessionLock);
        const auto found = sessionPasswords.constFind(key);
        if (found != sessionPasswords.constEnd())
            return std::optional<QString>(*found);
    }
    if (secretStoreDisabled)
        return std::optional<QString>();
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(key);
    runJob(job);
    if (job.error() == QKeychain::NoError)
        return std::optional<QString>(job.textData());
    if (job.error() == QKeychain::EntryNotFound || noSecretStore(job.error()))
        return std::optional<QString>();
    return failure(QStringLiteral("The password could not be read from the secret store: %1").arg(job.errorString()));
}

Status forget(const SyncAccount &account)
{
    const QString key = keyFor(account);
    {
        QMutexLocker locker(&sessionLock);
        sessionPasswords.remove(key);
    }
    if (secretStoreDisabled)
        return {};
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(key);
    runJob(job);
    if (job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound || noSecretStore(job.error()))
        return {};
    return failure(QStringLiteral("The password could not be removed from the secret store: %1").arg(job.errorString()));
}

Result<QString> readPasswordFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failure(QStringLiteral("The password file %1 cannot be read: %2").arg(path, file.errorString()));
    QByteArray line = file.readLine(64 * 1024);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return failure(QStringLiteral("The password file %1 is empty: its first line is the password.").arg(path));
    return QString::fromUtf8(line);
}

Result<QString> passwordForSync(const SyncAccount &account, const QString &passwordFile)
{
    if (!passwordFile.isEmpty())
        return readPasswordFile(passwordFile);
    Result<std::optional<QString>> stored = load(account);
    if (!stored)
        return stored.error();
    if (!stored->has_value())
        return failure(QStringLiteral("No password is stored for %1 (the desktop's secret store has none, or there "
                                      "is no secret store): give it with --password-file FILE.")
                           .arg(account.userName));
    return **stored;
}

QString sessionOnlyNotice()
{
    return QStringLiteral("There is no secret store on this desktop (such as GNOME Keyring or KWallet), so the "
                          "password is kept only until Corvanta is closed; it is never written to a file.");
}

void setSecretStoreDisabled(bool disabled)
{
    secretStoreDisabled = disabled;
}

} // namespace PasswordStore
