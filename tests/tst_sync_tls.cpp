// Sync over TLS with a real Radicale whose certificate the test makes:
// refused until trusted by its fingerprint, trusted exactly, refused again
// when the certificate changes; the window's question; passwords kept out of
// arguments, files and output; hostile answers refused.
#include "support/TestSupport.h"

#include "contacts/Form1.h"
#include "exchange/ContactExchangeMenu.h"
#include "sync/PasswordStore.h"
#include "sync/SyncAccount.h"
#include "sync/SyncSettingsDialog.h"
#include "sync/SyncWindow.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QLineEdit>
#include <QComboBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QShortcut>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

namespace {

const QString kUser = QStringLiteral("ann");
const QString kPassword = QStringLiteral("Tr0ub4dor-and-3");

QString runTool(const QString &program, const QStringList &arguments)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    tool.setProcessEnvironment(environment);
    tool.start(program, arguments);
    tool.waitForFinished(60000);
    return QString::fromLocal8Bit(tool.readAllStandardOutput() + tool.readAllStandardError());
}

// Radicale with TLS on 127.0.0.1, a plain htpasswd user and one address book.
class TlsRadicale {
public:
    TlsRadicale()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost);
        m_port = probe.serverPort();
        probe.close();
        QFile users(m_dir.filePath(QStringLiteral("users")));
        users.open(QIODevice::WriteOnly);
        users.write((kUser + QLatin1Char(':') + kPassword + QLatin1Char('\n')).toUtf8());
    }
    ~TlsRadicale() { stop(); }

    // A new self-signed certificate; its SHA-256 fingerprint as openssl prints it.
    QString makeCertificate()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("cert.pem")));
        runTool(QStringLiteral("openssl"),
                {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("ec"),
                 QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                 QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("key.pem")), QStringLiteral("-out"),
                 m_dir.filePath(QStringLiteral("cert.pem")), QStringLiteral("-days"), QStringLiteral("2"),
                 QStringLiteral("-subj"), QStringLiteral("/O=Home Server/CN=127.0.0.1"), QStringLiteral("-addext"),
                 QStringLiteral("subjectAltName=IP:127.0.0.1")});
        const QString printed = runTool(QStringLiteral("openssl"),
                                        {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                                         QStringLiteral("-sha256"), QStringLiteral("-in"), m_dir.filePath(QStringLiteral("cert.pem"))});
        return printed.section(QLatin1Char('='), 1).trimmed();
    }

    bool start()
    {
        QFile config(m_dir.filePath(QStringLiteral("config")));
        config.open(QIODevice::WriteOnly);
        config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\nssl = True\ncertificate = %2\nkey = %3\n"
                                    "[auth]\ntype = htpasswd\nhtpasswd_filename = %4\nhtpasswd_encryption = plain\n"
                                    "[rights]\ntype = owner_only\n[storage]\nfilesystem_folder = %5\n[web]\ntype = none\n")
                         .arg(m_port)
                         .arg(m_dir.filePath(QStringLiteral("cert.pem")), m_dir.filePath(QStringLiteral("key.pem")),
                              m_dir.filePath(QStringLiteral("users")), m_dir.filePath(QStringLiteral("collections")))
                         .toUtf8());
        config.close();
        m_process = std::make_unique<QProcess>();
        m_process->setStandardOutputFile(QProcess::nullDevice());
        m_process->setStandardErrorFile(QProcess::nullDevice());
        m_process->start(QStringLiteral("radicale"), {QStringLiteral("-C"), config.fileName()});
        if (!m_process->waitForStarted(10000))
            return false;
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, quint16(m_port));
            if (socket.waitForConnected(200))
                return m_bookMade || makeAddressBook();
            QThread::msleep(100);
        }
        return false;
    }
    void stop()
    {
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    QString url() const { return QStringLiteral("https://127.0.0.1:%1/").arg(m_port); }
    QString folder() const { return m_dir.path(); }

    // A request of the test's own (it trusts the server whatever its certificate).
    int request(const QByteArray &method, const QString &path, const QByteArray &body = {}, QByteArray *answer = nullptr)
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(url()).resolved(QUrl(path)));
        request.setRawHeader("Authorization", "Basic " + (kUser + QLatin1Char(':') + kPassword).toUtf8().toBase64());
        request.setRawHeader("Depth", "1");
        QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
        QObject::connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (answer)
            *answer = reply->readAll();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        reply->deleteLater();
        return status;
    }
    int cardCount()
    {
        QByteArray listing;
        request("PROPFIND", QStringLiteral("/ann/contacts/"), {}, &listing);
        return int(listing.count(".vcf</href>"));
    }

private:
    bool makeAddressBook()
    {
        request("PROPFIND", QStringLiteral("/ann/"));
        m_bookMade = request("MKCOL", QStringLiteral("/ann/contacts/"),
                             "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\">"
                             "<d:set><d:prop><d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
                             "</d:prop></d:set></d:mkcol>")
                  == 201;
        return m_bookMade;
    }

    QTemporaryDir m_dir;
    int m_port = 0;
    std::unique_ptr<QProcess> m_process;
    bool m_bookMade = false;
};

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
    QString all() const { return out + err; }
};

// The real program, with the event loop running meanwhile (for servers of the test's own).
Run runProgram(const QStringList &arguments)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")); // no secret store
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(CORVANTA_BINARY), arguments);
    QDeadlineTimer deadline(120000);
    while (!program.waitForFinished(20) && !deadline.hasExpired())
        QCoreApplication::processEvents();
    Run run;
    run.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.out = QString::fromUtf8(program.readAllStandardOutput());
    run.err = QString::fromUtf8(program.readAllStandardError());
    return run;
}

QString withoutColons(QString fingerprint)
{
    return fingerprint.remove(QLatin1Char(':')).toLower();
}

// Every file under a folder, for the password.
QStringList filesHolding(const QString &folder, const QByteArray &text)
{
    QStringList found;
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            found << file.fileName();
    }
    return found;
}

QString contactsDump()
{
    QSqlDatabase db = TestData::openLive();
    QSqlQuery query(db);
    query.exec(QStringLiteral("SELECT * FROM Contacts ORDER BY ContactID"));
    QStringList rows;
    while (query.next()) {
        QStringList values;
        for (int i = 0; i < query.record().count(); ++i)
            values << query.value(i).toString();
        rows << values.join(QLatin1Char('|'));
    }
    query.finish();
    TestData::close(db);
    return rows.join(QLatin1Char('\n'));
}

} // namespace

class SyncTlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void certificateTrustedOnlyByItsFingerprint();
    void windowAsksWithTheCertificate();
    void hostileAnswersAndPlainHttpAreRefused();
    void theMainWindowOffersSync();

private:
    std::unique_ptr<IsolatedEnvironment> env;
};

void SyncTlsTest::initTestCase()
{
    qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    PasswordStore::setSecretStoreDisabled(true);
}

void SyncTlsTest::certificateTrustedOnlyByItsFingerprint()
{
    env = std::make_unique<IsolatedEnvironment>();
    TlsRadicale server;
    const QString first = server.makeCertificate();
    QVERIFY2(first.count(QLatin1Char(':')) == 31, qPrintable(first));
    QVERIFY(server.start());
    const QString passwordFile = env->root() + QStringLiteral("/pw");
    {
        QFile file(passwordFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kPassword.toUtf8() + '\n');
    }
    QList<Run> runs;

    // Untrusted: refused, with the host and the fingerprint to compare.
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), server.url(), QStringLiteral("--user"), kUser,
                        QStringLiteral("--password-file"), passwordFile});
    QCOMPARE(runs.last().exitCode, 1);
    QVERIFY2(runs.last().err.contains(first), qPrintable(runs.last().all()));
    QVERIFY(runs.last().err.contains(QLatin1String("127.0.0.1")));
    QVERIFY(runs.last().err.contains(QLatin1String("--accept-certificate")));
    QVERIFY(runs.last().out.isEmpty());

    // A fingerprint typed wrongly is a usage error; another certificate's is not trusted.
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), server.url(), QStringLiteral("--user"), kUser,
                        QStringLiteral("--password-file"), passwordFile, QStringLiteral("--accept-certificate"),
                        QStringLiteral("12:34")});
    QCOMPARE(runs.last().exitCode, 2);
    QString other = withoutColons(first);
    other[0] = other[0] == QLatin1Char('a') ? QLatin1Char('b') : QLatin1Char('a');
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), server.url(), QStringLiteral("--user"), kUser,
                        QStringLiteral("--password-file"), passwordFile, QStringLiteral("--accept-certificate"), other});
    QCOMPARE(runs.last().exitCode, 1);
    QVERIFY(runs.last().err.contains(QLatin1String("has changed")));

    // Trusted as typed (lower case, no colons): set up, then a contact goes to the server.
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), server.url(), QStringLiteral("--user"), kUser,
                        QStringLiteral("--password-file"), passwordFile, QStringLiteral("--accept-certificate"),
                        withoutColons(first)});
    QVERIFY2(runs.last().exitCode == 0, qPrintable(runs.last().all()));
    Result<std::optional<SyncAccount>> account = loadSyncAccount();
    QVERIFY(account && account->has_value());
    QCOMPARE((*account)->trustedCertificateSha256, first);
    {
        QSqlDatabase db = TestData::openLive();
        TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Lee"}, {"EmailName", "ann@example.org"}});
        TestData::close(db);
    }
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--password-file"), passwordFile});
    QVERIFY2(runs.last().exitCode == 0, qPrintable(runs.last().all()));
    QVERIFY2(runs.last().out.contains(QLatin1String("1 sent")), qPrintable(runs.last().out));
    QCOMPARE(server.cardCount(), 1);

    // The server comes back with another certificate: refused, both named, nothing synced.
    server.stop();
    const QString second = server.makeCertificate();
    QVERIFY(second != first);
    QVERIFY(server.start());
    {
        QSqlDatabase db = TestData::openLive();
        TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Stone"}});
        TestData::close(db);
    }
    const QString before = contactsDump();
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--password-file"), passwordFile});
    QCOMPARE(runs.last().exitCode, 1);
    QVERIFY2(runs.last().err.contains(QLatin1String("The server's certificate has changed")), qPrintable(runs.last().all()));
    QVERIFY(runs.last().err.contains(first));
    QVERIFY(runs.last().err.contains(second));
    QCOMPARE(contactsDump(), before);
    QCOMPARE(server.cardCount(), 1);
    QCOMPARE((*loadSyncAccount())->trustedCertificateSha256, first);

    // A password on the command line is refused outright, without echoing it.
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--password"), kPassword});
    QCOMPARE(runs.last().exitCode, 2);
    QVERIFY(runs.last().err.contains(QLatin1String("--password-file")));
    // A wrong password is reported without either password.
    const QString wrongFile = env->root() + QStringLiteral("/wrong");
    {
        QFile file(wrongFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Wr0ng-Secret-77\n");
    }
    runs << runProgram({QStringLiteral("sync"), QStringLiteral("--password-file"), wrongFile,
                        QStringLiteral("--accept-certificate"), second});
    QCOMPARE(runs.last().exitCode, 1);
    QVERIFY2(runs.last().err.contains(QLatin1String("401")), qPrintable(runs.last().all()));
    for (const Run &run : std::as_const(runs)) {
        QVERIFY2(!run.all().contains(kPassword), qPrintable(run.all()));
        QVERIFY(!run.all().contains(QLatin1String("Wr0ng-Secret-77")));
        QVERIFY(!run.all().contains(QString::fromLatin1((kUser + QLatin1Char(':') + kPassword).toUtf8().toBase64())));
    }
    // Nowhere in the settings or the data folder.
    QVERIFY(filesHolding(env->root() + QStringLiteral("/config"), kPassword.toUtf8()).isEmpty());
    QVERIFY(filesHolding(env->root() + QStringLiteral("/data"), kPassword.toUtf8()).isEmpty());
    QVERIFY(!filesHolding(env->root() + QStringLiteral("/config"), first.toUtf8()).isEmpty() ||
            !filesHolding(env->root() + QStringLiteral("/config"), second.toUtf8()).isEmpty());
    env.reset();
}

void SyncTlsTest::windowAsksWithTheCertificate()
{
    env = std::make_unique<IsolatedEnvironment>();
    TlsRadicale server;
    const QString fingerprint = server.makeCertificate();
    QVERIFY(server.start());

    QWidget window;
    SyncWindow *part = SyncWindow::install(&window, nullptr);
    QStringList seen;
    bool cancelWasDefault = false;
    // Settings: server, user, password, then Find Address Books meets the certificate.
    // (Not whileModal: it would reject the dialog after OK.)
    QTimer::singleShot(0, this, [&] {
        auto *settings = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(settings && settings->objectName() == QLatin1String("SyncSettingsDialog"));
        auto closeAtEnd = qScopeGuard([settings] {
            if (settings->isVisible())
                settings->reject();
        });
        settings->findChild<QLineEdit *>(QStringLiteral("serverEdit"))->setText(server.url());
        settings->findChild<QLineEdit *>(QStringLiteral("userEdit"))->setText(kUser);
        settings->findChild<QLineEdit *>(QStringLiteral("passwordEdit"))->setText(kPassword);
        // First answer Cancel, then trust.
        for (const bool trust : {false, true}) {
            // The question comes once the server has shown its certificate.
            auto *poll = new QTimer(settings);
            connect(poll, &QTimer::timeout, settings, [&, trust, poll] {
                auto *question = qobject_cast<QDialog *>(QApplication::activeModalWidget());
                if (!question || question->objectName() != QLatin1String("CertificateDialog"))
                    return;
                poll->deleteLater();
                for (QLabel *label : question->findChildren<QLabel *>())
                    seen << label->text();
                auto *cancel = question->findChild<QPushButton *>(QStringLiteral("cancelButton"));
                cancelWasDefault = cancel->isDefault();
                if (trust)
                    question->findChild<QPushButton *>(QStringLiteral("trustButton"))->click();
                else
                    QTest::keyClick(question, Qt::Key_Return); // the default: Cancel
            });
            poll->start(20);
            QTimer::singleShot(60000, poll, [poll] { poll->stop(); });
            QTest::mouseClick(settings->findChild<QPushButton *>(QStringLiteral("findButton")), Qt::LeftButton);
        }
        auto *books = settings->findChild<QComboBox *>(QStringLiteral("addressBookCombo"));
        QCOMPARE(books->count(), 1);
        QCOMPARE(books->currentData().toString(), QStringLiteral("/ann/contacts/"));
        settings->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
    });
    part->openSettings();
    QVERIFY(!QTest::currentTestFailed());
    QVERIFY(cancelWasDefault);
    const QString shown = seen.join(QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(':'));
    QVERIFY2(shown.contains(fingerprint), qPrintable(shown));
    QVERIFY(shown.contains(QLatin1String("Home Server")));      // subject and issuer
    QVERIFY(shown.contains(QString::number(QDate::currentDate().year())));  // validity
    // The first answer (Cancel) gave a message, the second trusted exactly this certificate.
    QVERIFY(!env->messages.informations().isEmpty());
    QVERIFY(env->messages.informations().first().contains(fingerprint));
    Result<std::optional<SyncAccount>> account = loadSyncAccount();
    QVERIFY(account && account->has_value());
    QCOMPARE((*account)->trustedCertificateSha256, fingerprint);
    QCOMPARE((*account)->addressBookPath, QStringLiteral("/ann/contacts/"));
    // Kept for this session only (no secret store here), and the window said so.
    QVERIFY(env->messages.informations().last().contains(QLatin1String("secret store")));

    // Sync Now with the trusted certificate: the contact goes up, the bar says so.
    {
        QSqlDatabase db = TestData::openLive();
        TestData::addContact(db, {{"FirstName", "Cleo"}, {"LastName", "Park"}});
        TestData::close(db);
    }
    QSignalSpy ended(part, &SyncWindow::syncEnded);
    part->syncNow();
    QVERIFY2(ended.wait(60000), qPrintable(part->status() + env->messages.informations().join(QLatin1Char('\n'))));
    QCOMPARE(ended.first().first().toBool(), true);
    QVERIFY2(part->status().contains(QLatin1String("1 sent")), qPrintable(part->status()));
    QCOMPARE(server.cardCount(), 1);
    // The settings file this process writes holds the fingerprint, never the password.
    QFile settingsFile(QSettings(QStringLiteral("Quillmark"), QStringLiteral("Corvanta")).fileName());
    QVERIFY(settingsFile.open(QIODevice::ReadOnly));
    const QByteArray settingsText = settingsFile.readAll();
    QVERIFY(settingsText.contains(fingerprint.toUtf8()));
    QVERIFY(!settingsText.contains(kPassword.toUtf8()));
    env.reset();
}

void SyncTlsTest::hostileAnswersAndPlainHttpAreRefused()
{
    env = std::make_unique<IsolatedEnvironment>();
    const QString passwordFile = env->root() + QStringLiteral("/pw");
    {
        QFile file(passwordFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(kPassword.toUtf8());
    }
    // Plain HTTP to another machine: refused before any connection (a
    // documentation address that nobody answers).
    Run run = runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), QStringLiteral("http://192.0.2.1:5232/"),
                          QStringLiteral("--user"), kUser, QStringLiteral("--password-file"), passwordFile});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("--allow-insecure-http")), qPrintable(run.all()));
    QVERIFY(filesHolding(env->root() + QStringLiteral("/config"), "ServerUrl").isEmpty());

    // A server of the test's own answering every request with `body`.
    QByteArray body;
    QByteArray head;
    QTcpServer fake;
    QVERIFY(fake.listen(QHostAddress::LocalHost));
    connect(&fake, &QTcpServer::newConnection, &fake, [&] {
        while (QTcpSocket *socket = fake.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                // Each request (its head ends with an empty line) gets the answer.
                if (!socket->readAll().contains("\r\n\r\n"))
                    return;
                socket->write(head);
                socket->write(body);
                socket->flush();
            });
        }
    });
    const QString url = QStringLiteral("http://127.0.0.1:%1/").arg(fake.serverPort());

    body = "<?xml version=\"1.0\"?>\n<!DOCTYPE d [<!ENTITY a \"aaaaaaaaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;\">]>\n"
           "<d:multistatus xmlns:d=\"DAV:\"><d:response><d:href>&b;</d:href></d:response></d:multistatus>";
    head = "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: "
         + QByteArray::number(body.size()) + "\r\n\r\n";
    run = runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), url, QStringLiteral("--user"), kUser,
                      QStringLiteral("--password-file"), passwordFile});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("entities")), qPrintable(run.all()));
    QVERIFY(filesHolding(env->root() + QStringLiteral("/config"), "ServerUrl").isEmpty());

    // A listing announced at 100 MB.
    body = QByteArray(1024, ' ');
    head = "HTTP/1.1 207 Multi-Status\r\nContent-Type: application/xml\r\nContent-Length: 104857600\r\n\r\n";
    run = runProgram({QStringLiteral("sync"), QStringLiteral("--setup"), url, QStringLiteral("--user"), kUser,
                      QStringLiteral("--password-file"), passwordFile});
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(QLatin1String("larger than 64 MB")), qPrintable(run.all()));
    QVERIFY(filesHolding(env->root() + QStringLiteral("/config"), "ServerUrl").isEmpty());
    QVERIFY(!run.all().contains(kPassword));
    env.reset();
}

void SyncTlsTest::theMainWindowOffersSync()
{
    env = std::make_unique<IsolatedEnvironment>();
    {
        Form1 main;
        auto *part = main.findChild<SyncWindow *>(QStringLiteral("SyncWindow"));
        QVERIFY(part);
        auto *exchangeMenu = main.findChild<exchange::ContactExchangeMenu *>(QStringLiteral("ContactExchangeMenu"));
        QVERIFY(exchangeMenu);
        std::unique_ptr<QMenu> menu(exchangeMenu->buildMenu(&main));
        QStringList texts;
        for (QAction *action : menu->actions())
            texts << action->text();
        QVERIFY2(texts.contains(QStringLiteral("Sync Now")) && texts.contains(QStringLiteral("Sync Settings...")),
                 qPrintable(texts.join(QLatin1Char('|'))));
        QVERIFY(texts.contains(QStringLiteral("Import Contacts...")));
        auto *shortcut = main.findChild<QShortcut *>(QStringLiteral("SyncNowShortcut"));
        QVERIFY(shortcut);
        QCOMPARE(shortcut->key(), QKeySequence(Qt::Key_F5));
        // The account has no interval: no periodic sync.
        QVERIFY(!part->periodicTimer()->isActive());
    }
    env.reset();
}

QTEST_MAIN(SyncTlsTest)
#include "tst_sync_tls.moc"
