// Another real client on the same address book: vdirsyncer keeps a local
// folder in step with Radicale and khard edits that folder. Changes made
// here reach khard, and khard's reach this program.
#include "support/DavServers.h"
#include "support/TestSupport.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "sync/DavClient.h"
#include "sync/DavXml.h"
#include "sync/SyncEngine.h"
#include "sync/SyncRunner.h"

#include <QProcess>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QtTest>

namespace {

QString runTool(const QString &program, const QStringList &arguments, const QByteArray &input = {}, int *status = nullptr)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    environment.insert("LANG", "C.UTF-8");
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    if (status)
        *status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

QString field(Connection &connection, const QString &firstName, const QString &column)
{
    const Result<std::optional<QVariant>> value =
        connection.value(QStringLiteral("SELECT %1 FROM Contacts WHERE FirstName = ?").arg(column), {firstName});
    return value && value->has_value() ? (*value)->toString() : QStringLiteral("<none>");
}

} // namespace

class SyncPeersTest : public QObject {
    Q_OBJECT

private slots:
    void vdirsyncerAndKhardEditTheSameBook();
    void runnerSyncsOnItsOwnThread();
    void multistatusReadByNamespace();

private:
    IsolatedEnvironment env;
};

void SyncPeersTest::vdirsyncerAndKhardEditTheSameBook()
{
    DavServer server(DavServer::Radicale);
    QVERIFY(server.start());
    const QString root = env.root();
    const QString dbPath = root + "/peer.sqlite";
    QVERIFY(writeBlankDatabaseFile(dbPath));
    std::unique_ptr<Connection> connection = std::move(Connection::open(dbPath).value());
    QVERIFY(connection->execute("INSERT INTO Contacts (FirstName, LastName, Title, EmailName) "
                                "VALUES ('Mona', 'Berg', 'Editor', 'mona@press.example')"));
    SyncAccount account;
    account.serverUrl = QUrl(server.baseUrl());
    account.userName = server.user();
    account.addressBookPath = server.addressBookPath();
    auto sync = [&] {
        carddav::DavClient client(account, server.password());
        return carddav::runSync(*connection, client, carddav::SyncOptions{});
    };
    QVERIFY(sync().ok);

    // vdirsyncer brings the book to a folder; khard reads it.
    QDir(root).mkpath("vdir/book");
    QDir(root).mkpath("vdir/status");
    QFile config(root + "/vdirsyncer.conf");
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("[general]\nstatus_path = \"%1/vdir/status/\"\n\n"
                                "[pair book]\na = \"book_local\"\nb = \"book_remote\"\ncollections = null\n\n"
                                "[storage book_local]\ntype = \"filesystem\"\npath = \"%1/vdir/book/\"\nfileext = \".vcf\"\n\n"
                                "[storage book_remote]\ntype = \"carddav\"\nurl = \"%2\"\nusername = \"%3\"\npassword = \"%4\"\n")
                     .arg(root, server.baseUrl().chopped(1) + server.addressBookPath(), server.user(), server.password())
                     .toUtf8());
    config.close();
    QFile khardConfig(root + "/khard.conf");
    QVERIFY(khardConfig.open(QIODevice::WriteOnly));
    khardConfig.write(QStringLiteral("[addressbooks]\n[[book]]\npath = %1/vdir/book/\n[general]\neditor = /bin/true\n"
                                     "merge_editor = /bin/true\n").arg(root).toUtf8());
    khardConfig.close();
    const QStringList vdirsyncer{"-c", root + "/vdirsyncer.conf"};
    const QStringList khard{"-c", root + "/khard.conf"};
    int status = 0;
    QString output = runTool("vdirsyncer", vdirsyncer + QStringList{"discover"}, "y\ny\n", &status);
    QVERIFY2(status == 0, qPrintable(output));
    output = runTool("vdirsyncer", vdirsyncer + QStringList{"sync"}, {}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    output = runTool("khard", khard + QStringList{"show", "Mona"});
    QVERIFY2(output.contains("Editor") && output.contains("mona@press.example"), qPrintable(output));

    // khard adds a contact and changes one; vdirsyncer sends both.
    QFile lena(root + "/lena.yaml");
    QVERIFY(lena.open(QIODevice::WriteOnly));
    lena.write("First name : Lena\nLast name : Park\nOrganisation : Harbor Ltd\nTitle : Captain\n"
               "Email :\n    work : lena@harbor.example\n");
    lena.close();
    output = runTool("khard", khard + QStringList{"new", "-a", "book", "-i", root + "/lena.yaml"}, {}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    QFile mona(root + "/mona.yaml");
    QVERIFY(mona.open(QIODevice::WriteOnly));
    mona.write("First name : Mona\nLast name : Berg\nTitle : Chief Editor\nEmail :\n    work : mona@press.example\n");
    mona.close();
    output = runTool("khard", khard + QStringList{"edit", "-i", root + "/mona.yaml", "Mona"}, "y\n", &status);
    QVERIFY2(status == 0, qPrintable(output));
    output = runTool("vdirsyncer", vdirsyncer + QStringList{"sync"}, {}, &status);
    QVERIFY2(status == 0, qPrintable(output));

    const carddav::SyncOutcome back = sync();
    QVERIFY2(back.ok, qPrintable(back.message));
    QCOMPARE(field(*connection, "Lena", "Title"), QString("Captain"));
    QCOMPARE(field(*connection, "Lena", "CompanyName"), QString("Harbor Ltd"));
    QCOMPARE(field(*connection, "Mona", "Title"), QString("Chief Editor"));

    // And a change made here reaches khard again.
    QVERIFY(connection->execute("UPDATE Contacts SET City = 'Haugesund' WHERE FirstName = 'Lena'"));
    QVERIFY(sync().ok);
    output = runTool("vdirsyncer", vdirsyncer + QStringList{"sync"}, {}, &status);
    QVERIFY2(status == 0, qPrintable(output));
    output = runTool("khard", khard + QStringList{"show", "Lena"});
    QVERIFY2(output.contains("Haugesund") && output.contains("Captain"), qPrintable(output));
}

void SyncPeersTest::runnerSyncsOnItsOwnThread()
{
    DavServer server(DavServer::Xandikos);
    QVERIFY(server.start());
    QCOMPARE(server.put("nina.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:nina-1\r\nFN:Nina Roth\r\nN:Roth;Nina;;;\r\n"
                                    "TITLE:Pianist\r\nEND:VCARD\r\n") / 100, 2);
    const QString dbPath = env.root() + "/runner.sqlite";
    QVERIFY(writeBlankDatabaseFile(dbPath));
    SyncAccount account;
    account.serverUrl = QUrl(server.baseUrl());
    account.userName = server.user();
    account.addressBookPath = server.addressBookPath();
    carddav::SyncRunner runner;
    runner.setDatabasePath(dbPath);
    QSignalSpy finished(&runner, &carddav::SyncRunner::finished);
    QSignalSpy progress(&runner, &carddav::SyncRunner::progress);
    QVERIFY(runner.start(account, server.password()));
    QVERIFY(!runner.start(account, server.password())); // one at a time
    QVERIFY(finished.wait(30000));
    QCOMPARE(finished.first().first().value<carddav::SyncSummary>().received, 1);
    QVERIFY(!progress.isEmpty());
    std::unique_ptr<Connection> connection = std::move(Connection::open(dbPath).value());
    QCOMPARE(field(*connection, "Nina", "Title"), QString("Pianist"));
}

void SyncPeersTest::multistatusReadByNamespace()
{
    // A default namespace for DAV:, another prefix for CardDAV, a foreign
    // element with the same local name that must not count.
    const QByteArray xml =
        "<?xml version=\"1.0\"?><multistatus xmlns=\"DAV:\" xmlns:X=\"urn:ietf:params:xml:ns:carddav\" "
        "xmlns:o=\"http://other.example/\"><response><href>/b/a%20b.vcf</href><propstat><prop><getetag>\"e1\"</getetag>"
        "<X:address-data>BEGIN:VCARD&#13;\nEND:VCARD</X:address-data><o:getetag>wrong</o:getetag></prop>"
        "<status>HTTP/1.1 200 OK</status></propstat><propstat><prop><displayname/></prop>"
        "<status>HTTP/1.1 404 Not Found</status></propstat></response>"
        "<response><href>/b/gone.vcf</href><status>HTTP/1.1 404 Not Found</status></response>"
        "<sync-token>tok-2</sync-token></multistatus>";
    Result<carddav::dav::Multistatus> parsed = carddav::dav::parseMultistatus(xml);
    QVERIFY(parsed.ok());
    QCOMPARE(parsed->responses.size(), 2);
    const carddav::dav::Response &card = parsed->responses.at(0);
    QCOMPARE(card.href, QString("/b/a b.vcf"));
    QCOMPARE(card.text(carddav::dav::kDav, "getetag"), QString("\"e1\""));
    QVERIFY(card.text(carddav::dav::kCardDav, "address-data").startsWith("BEGIN:VCARD\r\n"));
    QVERIFY(!card.has(carddav::dav::kDav, "displayname")); // only in a 404 propstat
    QCOMPARE(parsed->responses.at(1).status, 404);
    QCOMPARE(parsed->syncToken, QString("tok-2"));
    QVERIFY(!carddav::dav::parseMultistatus("<D:multistatus xmlns:D=\"urn:not-dav\"/>").ok());
}

QTEST_MAIN(SyncPeersTest)
#include "tst_sync_peers.moc"
