// The sync benchmark: 10,000 varied contacts (all fields, accented names,
// multi-line notes, types) through a local Radicale, against vdirsyncer
// syncing the same address book to a folder.
//
//   corvanta_bench_sync [--contacts N] [--upload-contacts M] [--work DIR]
//
// Phases: first upload of M contacts into an empty address book (Radicale
// stores about ten cards a second, whoever sends them, so the upload is
// measured on fewer cards); N cards exported by the program placed in
// Radicale's folder; first download of those into an empty database; one
// sync with one card changed on each side. Each phase runs in a process of
// its own so that its peak memory is its own. Prints one line per figure and
// the ratio to vdirsyncer downloading the same N cards.
#include "DataGenerator.h"

#include "exchange/ContactExport.h"

#include "store/Connection.h"
#include "store/Schema.h"
#include "sync/DavClient.h"
#include "sync/SyncEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <sys/resource.h>

namespace {

QTextStream out(stdout);
const QString kUser = QStringLiteral("bench");
const QString kPassword = QStringLiteral("bench-pw");

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int request(const QString &url, const QByteArray &method, const QByteArray &body, const QByteArray &depth = {})
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setRawHeader("Authorization", "Basic " + (kUser + QLatin1Char(':') + kPassword).toUtf8().toBase64());
    if (!body.isEmpty())
        request.setRawHeader("Content-Type", url.endsWith(QLatin1String(".vcf")) ? "text/vcard" : "application/xml");
    if (!depth.isEmpty())
        request.setRawHeader("Depth", depth);
    QNetworkReply *reply = manager.sendCustomRequest(request, method, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    delete reply;
    return status;
}

// One phase in this process: sync the database with the address book.
int runPhase(const QString &database, const QString &bookUrl)
{
    std::unique_ptr<Connection> connection = std::move(Connection::open(database).value());
    const QUrl url(bookUrl);
    SyncAccount account;
    account.serverUrl = QUrl(url.toString(QUrl::RemovePath));
    account.userName = kUser;
    account.addressBookPath = url.path();
    carddav::DavClient client(account, kPassword);
    QElapsedTimer timer;
    timer.start();
    const carddav::SyncOutcome outcome = carddav::runSync(*connection, client, carddav::SyncOptions{});
    const qint64 elapsed = timer.elapsed();
    if (!outcome.ok) {
        QTextStream(stderr) << "sync failed: " << outcome.message << Qt::endl;
        return 1;
    }
    out << elapsed << ' ' << peakKilobytes() << ' ' << outcome.summary.text() << Qt::endl;
    return 0;
}

struct PhaseResult {
    qint64 ms = -1;
    long kilobytes = 0;
    QString summary;
};

PhaseResult phase(const QString &database, const QString &bookUrl)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--phase"), database, bookUrl});
    child.waitForFinished(-1);
    const QStringList parts = QString::fromUtf8(child.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    if (child.exitCode() != 0 || parts.size() < 3)
        return {};
    return {parts.at(0).toLongLong(), parts.at(1).toLong(), parts.mid(2).join(QLatin1Char(' '))};
}

void report(const QString &what, const PhaseResult &result)
{
    out << QStringLiteral("%1: %2 s, peak memory %3 MB (%4)")
               .arg(what)
               .arg(result.ms / 1000.0, 0, 'f', 2)
               .arg(result.kilobytes / 1024.0, 0, 'f', 1)
               .arg(result.summary)
        << Qt::endl;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QLatin1String("--phase"))
        return runPhase(args.value(2), args.value(3));
    qint64 contacts = 10000;
    qint64 uploadContacts = 500;
    QString work;
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args.at(i) == QLatin1String("--contacts"))
            contacts = args.at(i + 1).toLongLong();
        else if (args.at(i) == QLatin1String("--upload-contacts"))
            uploadContacts = args.at(i + 1).toLongLong();
        else if (args.at(i) == QLatin1String("--work"))
            work = args.at(i + 1);
    }
    QTemporaryDir temporary;
    if (work.isEmpty())
        work = temporary.path();
    QDir(work).mkpath(QStringLiteral("radicale"));

    // Radicale with a configuration of its own on a free port.
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const int port = probe.serverPort();
    probe.close();
    QFile users(work + QStringLiteral("/radicale/users"));
    users.open(QIODevice::WriteOnly);
    users.write((kUser + QLatin1Char(':') + kPassword + QLatin1Char('\n')).toUtf8());
    users.close();
    QFile config(work + QStringLiteral("/radicale/config"));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[server]\nhosts = 127.0.0.1:%1\n[auth]\ntype = htpasswd\nhtpasswd_filename = %2/users\n"
                                "htpasswd_encryption = plain\n[rights]\ntype = owner_only\n[storage]\n"
                                "filesystem_folder = %2/collections\n[logging]\nlevel = warning\n")
                     .arg(port)
                     .arg(work + QStringLiteral("/radicale"))
                     .toUtf8());
    config.close();
    QProcess radicale;
    radicale.setStandardOutputFile(QProcess::nullDevice());
    radicale.setStandardErrorFile(QProcess::nullDevice());
    radicale.start(QStringLiteral("radicale"), {QStringLiteral("-C"), work + QStringLiteral("/radicale/config")});
    for (int tries = 0; tries < 100; ++tries) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port));
        if (socket.waitForConnected(200))
            break;
        QThread::msleep(100);
    }
    const QString base = QStringLiteral("http://127.0.0.1:%1").arg(port);
    const QString book = base + QStringLiteral("/%1/contacts/").arg(kUser);
    request(base + QStringLiteral("/%1/").arg(kUser), "PROPFIND", {});
    const QByteArray mkcol =
        "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop>"
        "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype></d:prop></d:set></d:mkcol>";
    const QString uploadBook = base + QStringLiteral("/%1/upload/").arg(kUser);
    request(book, "MKCOL", mkcol);
    request(uploadBook, "MKCOL", mkcol);

    GeneratorOptions options;
    options.contacts = contacts;
    options.callsPerContact = 1;
    QString error;
    const QString full = work + QStringLiteral("/full.sqlite");
    const QString upload = work + QStringLiteral("/upload.sqlite");
    if (!generateDatabase(full, options, &error)) {
        QTextStream(stderr) << error << Qt::endl;
        return 1;
    }
    options.contacts = uploadContacts;
    options.seed += 1;
    if (!generateDatabase(upload, options, &error)) {
        QTextStream(stderr) << error << Qt::endl;
        return 1;
    }
    const QString download = work + QStringLiteral("/download.sqlite");
    QFile::remove(download);
    (void)writeBlankDatabaseFile(download);

    out << "Sync benchmark: " << contacts << " contacts, Radicale on 127.0.0.1" << Qt::endl;
    const PhaseResult up = phase(upload, uploadBook);
    report(QStringLiteral("first upload of %1 contacts").arg(uploadContacts), up);

    // The N cards as the program exports them, one file each in Radicale's folder.
    {
        std::unique_ptr<Connection> connection = std::move(Connection::open(full).value());
        const QString exported = work + QStringLiteral("/full.vcf");
        if (!exchange::exportContacts(*connection, exported, exchange::FileFormat::VCard)) {
            QTextStream(stderr) << "export failed" << Qt::endl;
            return 1;
        }
        QFile file(exported);
        file.open(QIODevice::ReadOnly);
        const QByteArray all = file.readAll();
        const QString folder = work + QStringLiteral("/radicale/collections/collection-root/%1/contacts/").arg(kUser);
        qsizetype at = 0;
        int written = 0;
        while (true) {
            const qsizetype end = all.indexOf("END:VCARD", at);
            if (end < 0)
                break;
            QByteArray card = all.mid(at, end + 9 - at).trimmed() + "\r\n";
            if (!card.contains("\nUID:"))
                card.replace("END:VCARD", "UID:bench-" + QByteArray::number(written) + "\r\nEND:VCARD");
            QFile one(folder + QStringLiteral("card-%1.vcf").arg(written++));
            one.open(QIODevice::WriteOnly);
            one.write(card);
            at = end + 9;
        }
        // Radicale reads new files into its cache on the first listing (over a
        // minute for 10,000 here): done once before anything is timed.
        QElapsedTimer warm;
        warm.start();
        request(book, "PROPFIND", "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:getetag/></d:prop></d:propfind>", "1");
        out << "placed " << written << " exported cards in Radicale's folder; its first listing took "
            << QString::number(warm.elapsed() / 1000.0, 'f', 1) << " s" << Qt::endl;
    }
    const PhaseResult down = phase(download, book);
    report(QStringLiteral("first download into an empty database"), down);

    // One card changed on each side.
    {
        std::unique_ptr<Connection> connection = std::move(Connection::open(download).value());
        (void)connection->execute(QStringLiteral("UPDATE Contacts SET Title = 'Changed here' WHERE ContactID = (SELECT MIN(ContactID) FROM Contacts)"));
        QFile card(work + QStringLiteral("/radicale/collections/collection-root/%1/contacts/card-%2.vcf").arg(kUser).arg(contacts - 1));
        card.open(QIODevice::ReadOnly);
        QByteArray text = card.readAll();
        text.replace("END:VCARD", "X-BENCH-CHANGE:there\r\nEND:VCARD");
        text.replace("\nN:", "\nN:Changed;");
        request(base + QStringLiteral("/%1/contacts/card-%2.vcf").arg(kUser).arg(contacts - 1), "PUT", text);
    }
    const PhaseResult one = phase(download, book);
    report(QStringLiteral("sync with one change on each side"), one);

    // vdirsyncer: the same address book to a folder.
    QDir(work).mkpath(QStringLiteral("vdir/book"));
    QDir(work).mkpath(QStringLiteral("vdir/status"));
    QFile vconfig(work + QStringLiteral("/vdirsyncer.conf"));
    vconfig.open(QIODevice::WriteOnly);
    vconfig.write(QStringLiteral("[general]\nstatus_path = \"%1/vdir/status/\"\n\n[pair book]\na = \"book_local\"\n"
                                 "b = \"book_remote\"\ncollections = null\n\n[storage book_local]\ntype = \"filesystem\"\n"
                                 "path = \"%1/vdir/book/\"\nfileext = \".vcf\"\n\n[storage book_remote]\ntype = \"carddav\"\n"
                                 "url = \"%2\"\nusername = \"%3\"\npassword = \"%4\"\n")
                      .arg(work, book, kUser, kPassword)
                      .toUtf8());
    vconfig.close();
    const QStringList vargs{QStringLiteral("-c"), work + QStringLiteral("/vdirsyncer.conf")};
    QProcess vdirsyncer;
    vdirsyncer.setStandardOutputFile(QProcess::nullDevice());
    vdirsyncer.setStandardErrorFile(QProcess::nullDevice());
    vdirsyncer.start(QStringLiteral("vdirsyncer"), vargs + QStringList{QStringLiteral("discover")});
    vdirsyncer.write("y\ny\n");
    vdirsyncer.closeWriteChannel();
    vdirsyncer.waitForFinished(-1);
    QElapsedTimer timer;
    timer.start();
    vdirsyncer.start(QStringLiteral("vdirsyncer"), vargs + QStringList{QStringLiteral("sync")});
    vdirsyncer.waitForFinished(-1);
    const qint64 vdirMs = timer.elapsed();
    const qsizetype files = QDir(work + QStringLiteral("/vdir/book")).entryList(QDir::Files).size();
    out << QStringLiteral("vdirsyncer first download: %1 s (%2 cards)").arg(vdirMs / 1000.0, 0, 'f', 2).arg(files) << Qt::endl;
    if (vdirMs > 0 && down.ms >= 0)
        out << QStringLiteral("ratio first download / vdirsyncer: %1 (target at most 0.50)").arg(double(down.ms) / vdirMs, 0, 'f', 2)
            << Qt::endl;
    out << QStringLiteral("one-change sync: %1 s (target under 1 s); peak memory of the phases: %2 MB (target under 150 MB)")
               .arg(one.ms / 1000.0, 0, 'f', 2)
               .arg(qMax(qMax(up.kilobytes, down.kilobytes), one.kilobytes) / 1024.0, 0, 'f', 1)
        << Qt::endl;
    radicale.kill();
    radicale.waitForFinished();
    return 0;
}
