// Two-way sync against real CardDAV servers (Radicale and Xandikos) started
// on 127.0.0.1: first syncs, edits and conflicts, deletions, stale tokens,
// 409s, failures, crashes and the guard against mass deletion.
#include "support/DavServers.h"
#include "support/TestSupport.h"

#include "base/Paths.h"
#include "store/Connection.h"
#include "store/Schema.h"
#include "sync/DavClient.h"
#include "sync/SyncEngine.h"

#include <QProcess>
#include <QSqlQuery>
#include <QtTest>

using carddav::SyncOutcome;

namespace {

const QDate kToday(2026, 12, 8);

// One copy of the program's database, as on one computer.
class Device {
public:
    explicit Device(const QString &path)
    {
        if (!QFile::exists(path))
            (void)writeBlankDatabaseFile(path);
        m_connection = std::move(Connection::open(path).value());
    }
    Connection &connection() { return *m_connection; }

    SyncOutcome sync(DavServer &server, const QString &password = QString(), const carddav::SyncOptions &given = {})
    {
        SyncAccount account;
        account.serverUrl = QUrl(server.baseUrl());
        account.userName = server.user();
        account.addressBookPath = server.addressBookPath();
        carddav::DavClient client(account, password.isEmpty() ? server.password() : password);
        carddav::SyncOptions options = given;
        options.today = kToday;
        return carddav::runSync(*m_connection, client, options);
    }
    qint64 add(const QVariantMap &fields)
    {
        QStringList names = fields.keys();
        QStringList marks(names.size(), QStringLiteral("?"));
        QVariantList values;
        for (const QString &name : names)
            values << fields.value(name);
        Result<Rows> inserted = m_connection->run(QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)").arg(names.join(','), marks.join(',')), values);
        if (!inserted)
            qFatal("insert failed");
        return inserted->insertedKey();
    }
    QVariant value(const QString &sql, const QVariantList &values = {})
    {
        const Result<std::optional<QVariant>> found = m_connection->value(sql, values);
        return found && found->has_value() ? **found : QVariant();
    }
    void exec(const QString &sql, const QVariantList &values = {})
    {
        if (!m_connection->execute(sql, values))
            qFatal("statement failed");
    }
    QString field(const QString &firstName, const QString &field)
    {
        return value(QStringLiteral("SELECT %1 FROM Contacts WHERE FirstName = ?").arg(field), {firstName}).toString();
    }
    int count(const QString &where = QStringLiteral("1"))
    {
        return value(QStringLiteral("SELECT COUNT(*) FROM Contacts WHERE ") + where).toInt();
    }

private:
    std::unique_ptr<Connection> m_connection;
};

// The card of a contact on the server, found by a text it holds.
QByteArray cardWith(DavServer &server, const QByteArray &text, QString *name = nullptr)
{
    for (const QString &card : server.cardNames()) {
        const QByteArray body = server.get(card);
        if (body.contains(text)) {
            if (name)
                *name = card;
            return body;
        }
    }
    return {};
}

QByteArray replaced(QByteArray card, const QByteArray &from, const QByteArray &to)
{
    card.replace("\r\n ", ""); // unfolded
    return card.replace(from, to);
}

const QByteArray kAnnCard = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann-1\r\nFN:Ann Lee\r\nN:Lee;Ann;;;\r\n"
                            "EMAIL;TYPE=INTERNET:ann@example.org\r\nTITLE:Engineer\r\nEND:VCARD\r\n";
// Another client's vCard 4.0 card with a photo, two e-mails and its own property.
const QByteArray kBobCard = "BEGIN:VCARD\r\nVERSION:4.0\r\nUID:bob-1\r\nFN:Bob Stone\r\nN:Stone;Bob;;;\r\n"
                            "TEL;TYPE=cell;VALUE=uri:tel:+47-555-0101\r\nEMAIL;TYPE=work:bob@work.example\r\n"
                            "EMAIL;TYPE=home:bob@home.example\r\n"
                            "PHOTO:data:image/png;base64,iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk\r\n"
                            "X-OTHER-CLIENT:keep me\r\nEND:VCARD\r\n";

} // namespace

class SyncServersTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        env = std::make_unique<IsolatedEnvironment>();
    }
    void cleanup() { env.reset(); }

    void firstSyncEditsAndConflicts_data() { servers(); }
    void firstSyncEditsAndConflicts();
    void deletionsEachWay_data() { servers(); }
    void deletionsEachWay();
    void staleTokenAndUidConflict_data() { servers(); }
    void staleTokenAndUidConflict();
    void failuresLeaveNothingHalfDone_data() { servers(); }
    void failuresLeaveNothingHalfDone();
    void commandLineKilledAndGuarded_data() { servers(); }
    void commandLineKilledAndGuarded();

private:
    void servers()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("radicale") << int(DavServer::Radicale);
        QTest::newRow("xandikos") << int(DavServer::Xandikos);
    }
    std::unique_ptr<IsolatedEnvironment> env;
};

void SyncServersTest::firstSyncEditsAndConflicts()
{
    QFETCH(int, kind);
    DavServer server{DavServer::Kind(kind)};
    QVERIFY(server.start());
    QCOMPARE(server.put("peer-ann.vcf", kAnnCard), 201);
    QVERIFY(server.put("peer-bob.vcf", kBobCard) / 100 == 2);
    // The photo as this server keeps it (Radicale rewrites what it stores).
    QByteArray photo;
    for (const QByteArray &line : replaced(server.get("peer-bob.vcf"), "", "").split('\n'))
        if (line.startsWith("PHOTO"))
            photo = line.trimmed();
    QVERIFY(photo.size() > 10);

    // A: Ann is the same person as the server's Ann (same e-mail); Cara is new.
    Device a(env->root() + "/a.sqlite");
    a.add({{"FirstName", "Ann"}, {"LastName", "Lee"}, {"EmailName", "ann@example.org"}, {"City", "Oslo"}});
    a.exec("INSERT INTO \"Contact Types\" (ContactType) VALUES ('Customer')");
    const qint64 cara = a.add({{"FirstName", "Cara"}, {"LastName", "Diaz"}, {"CompanyName", "Acme"}, {"ContactTypeID", 1}});
    a.exec("INSERT INTO ContactUids (ContactID, Uid) VALUES (?, 'cara-uid')", {cara});
    // Zed carries the UID of a card on the server: the same contact, whatever its fields.
    const qint64 zed = a.add({{"FirstName", "Zed"}, {"LastName", "Quinn"}, {"City", "Lima"}});
    a.exec("INSERT INTO ContactUids (ContactID, Uid) VALUES (?, 'zed-1')", {zed});
    QCOMPARE(server.put("peer-zed.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:zed-1\r\nFN:Z. Quinn\r\nN:Quinn;Z.;;;\r\n"
                                        "TITLE:Coach\r\nEND:VCARD\r\n") / 100, 2);
    SyncOutcome first = a.sync(server);
    QVERIFY2(first.ok, qPrintable(first.message));
    QCOMPARE(a.count(), 4);
    QCOMPARE(a.field("Ann", "Title"), QString("Engineer"));
    QCOMPARE(a.field("Zed", "Title"), QString("Coach"));
    QVERIFY(replaced(server.get("peer-zed.vcf"), "", "").contains("Lima"));
    QVERIFY(cardWith(server, "Diaz").contains("UID:cara-uid"));
    QCOMPARE(a.field("Bob", "MobilePhone"), QString("+47-555-0101"));
    QCOMPARE(a.field("Bob", "EmailName"), QString("bob@work.example"));
    QCOMPARE(server.cardNames().size(), 4); // Ann and Zed matched, not copied
    QVERIFY(cardWith(server, "ann-1").contains("Oslo"));
    QVERIFY(cardWith(server, "Diaz").contains("CATEGORIES:Customer"));
    QCOMPARE(first.summary.received, 3);
    QCOMPARE(first.summary.deletedHere + first.summary.deletedThere, 0);
    SyncOutcome again = a.sync(server);
    QVERIFY(again.ok);
    QCOMPARE(again.summary.text(), QString("0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts kept in Notes"));

    // B starts empty: everything arrives, the type is created as the import creates it.
    Device b(env->root() + "/b.sqlite");
    SyncOutcome firstB = b.sync(server);
    QVERIFY2(firstB.ok, qPrintable(firstB.message));
    QCOMPARE(firstB.summary.received, 4);
    QCOMPARE(b.count(), 4);
    QCOMPARE(b.value("SELECT u.Uid FROM ContactUids u JOIN Contacts c ON c.ContactID = u.ContactID WHERE c.FirstName = 'Ann'")
                 .toString(), QString("ann-1"));
    QCOMPARE(b.value("SELECT t.ContactType FROM Contacts c JOIN \"Contact Types\" t ON t.ContactTypeID = c.ContactTypeID "
                     "WHERE c.FirstName = 'Cara'").toString(), QString("Customer"));
    QCOMPARE(b.field("Ann", "City"), QString("Oslo"));

    // Edits: different fields on both sides of Ann, the same field of Cara,
    // and Bob (photo, two e-mails, another client's property) edited here.
    a.exec("UPDATE Contacts SET City = 'Bergen' WHERE FirstName = 'Ann'");
    a.exec("UPDATE Contacts SET Title = 'Pilot' WHERE FirstName = 'Bob'");
    a.exec("UPDATE Contacts SET Title = 'Manager' WHERE FirstName = 'Cara'");
    b.exec("UPDATE Contacts SET Title = 'Owner' WHERE FirstName = 'Cara'");
    QVERIFY(b.sync(server).ok);
    QString annName;
    const QByteArray ann = cardWith(server, "ann-1", &annName);
    QCOMPARE(server.put(annName, replaced(ann, "TITLE:Engineer", "TITLE:Director")) / 100, 2);

    SyncOutcome edits = a.sync(server);
    QVERIFY2(edits.ok, qPrintable(edits.message));
    QCOMPARE(edits.summary.conflicts, 1);
    QCOMPARE(a.field("Ann", "Title"), QString("Director"));
    QCOMPARE(a.field("Ann", "City"), QString("Bergen"));
    QCOMPARE(a.field("Cara", "Title"), QString("Manager"));
    QCOMPARE(a.field("Cara", "Notes"), QString("Sync 2026-12-08, server had Job Title: Owner"));
    const QByteArray bob = replaced(cardWith(server, "bob-1"), "", "");
    QVERIFY(bob.contains("TITLE:Pilot"));
    QVERIFY(bob.contains(photo));
    QVERIFY(bob.contains("X-OTHER-CLIENT:keep me"));
    QVERIFY(bob.contains("bob@home.example"));
    QVERIFY(bob.contains("bob@work.example"));
    const QByteArray annNow = replaced(cardWith(server, "ann-1"), "", "");
    QVERIFY(annNow.contains("TITLE:Director") && annNow.contains("Bergen"));

    QVERIFY(b.sync(server).ok);
    QCOMPARE(b.field("Cara", "Title"), QString("Manager"));
    QCOMPARE(b.field("Cara", "Notes"), QString("Sync 2026-12-08, server had Job Title: Owner"));
    QCOMPARE(b.field("Ann", "City"), QString("Bergen"));
    QCOMPARE(b.field("Bob", "Title"), QString("Pilot"));
    QCOMPARE(server.cardNames().size(), 4);
}

void SyncServersTest::deletionsEachWay()
{
    QFETCH(int, kind);
    DavServer server{DavServer::Kind(kind)};
    QVERIFY(server.start());
    Device a(env->root() + "/a.sqlite");
    for (const char *name : {"Dora", "Eli", "Fay", "Gus"})
        a.add({{"FirstName", name}, {"LastName", "Test"}, {"EmailName", QString(name).toLower() + "@example.org"}});
    const qint64 eli = a.value("SELECT ContactID FROM Contacts WHERE FirstName = 'Eli'").toLongLong();
    a.exec("INSERT INTO Calls (ContactID, CallDate, Subject) VALUES (?, '2026-12-01', 'About the order')", {eli});
    QVERIFY(a.sync(server).ok);
    QCOMPARE(server.cardNames().size(), 4);

    QString eliCard, fayCard, gusCard;
    cardWith(server, "eli@", &eliCard);
    cardWith(server, "fay@", &fayCard);
    const QByteArray gus = cardWith(server, "gus@", &gusCard);
    a.exec("DELETE FROM Contacts WHERE FirstName = 'Dora'");        // deleted here
    QVERIFY(server.remove(eliCard) / 100 == 2);                      // deleted there
    QVERIFY(server.remove(fayCard) / 100 == 2);                      // deleted there ...
    a.exec("UPDATE Contacts SET Title = 'Baker' WHERE FirstName = 'Fay'"); // ... but changed here
    a.exec("DELETE FROM Contacts WHERE FirstName = 'Gus'");          // deleted here ...
    QVERIFY(server.put(gusCard, replaced(gus, "END:VCARD", "TITLE:Chef\r\nEND:VCARD")) / 100 == 2); // ... changed there

    SyncOutcome outcome = a.sync(server);
    QVERIFY2(outcome.ok, qPrintable(outcome.message));
    QCOMPARE(outcome.summary.deletedHere, 1);
    QCOMPARE(outcome.summary.deletedThere, 1);
    QCOMPARE(a.count("FirstName = 'Eli'"), 0);
    QCOMPARE(a.value("SELECT COUNT(*) FROM Calls WHERE ContactID = ?", {eli}).toInt(), 0);
    QCOMPARE(a.field("Fay", "Title"), QString("Baker"));
    QCOMPARE(a.field("Gus", "Title"), QString("Chef"));
    QVERIFY(outcome.summary.remarks.join(' ').contains("Gus Test was changed on the server after it was deleted here"));
    QVERIFY(cardWith(server, "dora@").isEmpty());
    QVERIFY(cardWith(server, "fay@").contains("Baker"));
    QCOMPARE(server.cardNames().size(), 2);
    QCOMPARE(a.count(), 2);
    QVERIFY(a.sync(server).ok);
    QCOMPARE(server.cardNames().size(), 2);
    QCOMPARE(a.count(), 2);
}

void SyncServersTest::staleTokenAndUidConflict()
{
    QFETCH(int, kind);
    DavServer server{DavServer::Kind(kind)};
    QVERIFY(server.start());
    Device a(env->root() + "/a.sqlite");
    a.add({{"FirstName", "Hal"}, {"LastName", "Ives"}});
    a.add({{"FirstName", "Ida"}, {"LastName", "Jones"}});
    QVERIFY(a.sync(server).ok);
    QVERIFY(!a.value("SELECT Value FROM SyncValues WHERE Name = 'SyncToken'").toString().isEmpty());

    // A token the server no longer knows (403 from Radicale, 500 from Xandikos): a full comparison.
    a.exec("UPDATE SyncValues SET Value = ? WHERE Name = 'SyncToken'",
           {server.kind() == DavServer::Radicale ? "http://radicale.org/ns/sync/0000" : "http://xandikos.org/ns/sync/deadbeef"});
    QString halCard;
    const QByteArray hal = cardWith(server, "Ives", &halCard);
    QVERIFY(server.put(halCard, replaced(hal, "END:VCARD", "TITLE:Judge\r\nEND:VCARD")) / 100 == 2);
    SyncOutcome stale = a.sync(server);
    QVERIFY2(stale.ok, qPrintable(stale.message));
    QCOMPARE(stale.summary.received, 1);
    QCOMPARE(a.field("Hal", "Title"), QString("Judge"));
    QCOMPARE(a.count(), 2);
    QCOMPARE(server.cardNames().size(), 2);

    if (server.kind() != DavServer::Radicale)
        return; // Xandikos keeps two cards of one UID; only Radicale answers 409
    // A card of this contact is on the server under another name (its UID is
    // taken), while the contact's own send was never confirmed here.
    const QByteArray other = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:shared-uid\r\nFN:Kim Lund\r\nN:Lund;Kim;;;\r\n"
                             "TITLE:Nurse\r\nEND:VCARD\r\n";
    QCOMPARE(server.put("elsewhere.vcf", other), 201);
    QByteArray listing;
    server.request("PROPFIND", server.addressBookPath(),
                   "<?xml version=\"1.0\"?><d:propfind xmlns:d=\"DAV:\"><d:prop><d:sync-token/></d:prop></d:propfind>",
                   &listing, {{"Depth", "0"}});
    const QString token = QRegularExpression("sync-token>([^<]+)<").match(QString::fromUtf8(listing)).captured(1);
    QVERIFY(!token.isEmpty());
    a.exec("UPDATE SyncValues SET Value = ? WHERE Name = 'SyncToken'", {token});
    const qint64 kim = a.add({{"FirstName", "Kim"}, {"LastName", "Lund"}, {"City", "Turku"}});
    a.exec("INSERT INTO SyncCards (ContactID, Href, ETag, Uid) VALUES (?, ?, '', 'shared-uid')",
           {kim, server.addressBookPath() + "shared-uid.vcf"});
    SyncOutcome conflict = a.sync(server);
    QVERIFY2(conflict.ok, qPrintable(conflict.message));
    QCOMPARE(server.cardNames().size(), 3);
    QVERIFY(!server.cardNames().contains("shared-uid.vcf"));
    const QByteArray merged = replaced(server.get("elsewhere.vcf"), "", "");
    QVERIFY(merged.contains("Turku") && merged.contains("TITLE:Nurse"));
    QCOMPARE(a.field("Kim", "Title"), QString("Nurse"));
    QCOMPARE(a.count(), 3);
}

void SyncServersTest::failuresLeaveNothingHalfDone()
{
    QFETCH(int, kind);
    DavServer server{DavServer::Kind(kind)};
    QVERIFY(server.start());
    Device a(env->root() + "/a.sqlite");
    for (int i = 0; i < 40; ++i)
        a.add({{"FirstName", QString("P%1").arg(i)}, {"LastName", "Many"}, {"HomePhone", QString("555-%1").arg(i)}});
    if (server.kind() == DavServer::Radicale) {
        SyncOutcome refused = a.sync(server, "wrong-password");
        QVERIFY(!refused.ok);
        QVERIFY2(refused.message.contains("refused the user name or password"), qPrintable(refused.message));
        QCOMPARE(a.value("SELECT COUNT(*) FROM SyncCards").toInt(), 0);
    }
    // The server goes away in the middle of sending.
    carddav::SyncOptions options;
    options.progress = [&](int done, int, const QString &) {
        if (done == 15)
            server.stop();
    };
    SyncOutcome cut = a.sync(server, QString(), options);
    QVERIFY(!cut.ok);
    QVERIFY2(cut.message.contains("could not be reached"), qPrintable(cut.message));
    QVERIFY(cut.summary.sent >= 15);
    QVERIFY(server.start());
    SyncOutcome resumed = a.sync(server);
    QVERIFY2(resumed.ok, qPrintable(resumed.message));
    QCOMPARE(server.cardNames().size(), 40);
    QCOMPARE(a.count(), 40);
    QCOMPARE(a.value("SELECT COUNT(DISTINCT Uid) FROM SyncCards WHERE ETag <> ''").toInt(), 40);
    Device b(env->root() + "/b.sqlite");
    QVERIFY(b.sync(server).ok);
    QCOMPARE(b.count(), 40);
}

void SyncServersTest::commandLineKilledAndGuarded()
{
    QFETCH(int, kind);
    DavServer server{DavServer::Kind(kind)};
    QVERIFY(server.start());
    const QString passwordFile = writePasswordFile(env->root(), server.password());
    auto run = [&](const QStringList &arguments, QString *out = nullptr, QString *err = nullptr) {
        QProcess program;
        program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        program.start(QStringLiteral(CORVANTA_BINARY), arguments);
        program.closeWriteChannel();
        if (!program.waitForFinished(120000))
            return -1;
        if (out)
            *out = QString::fromUtf8(program.readAllStandardOutput());
        if (err)
            *err = QString::fromUtf8(program.readAllStandardError());
        return program.exitCode();
    };
    QString out, err;
    QCOMPARE(run({"sync", "--setup", server.baseUrl(), "--user", server.user(), "--password-file", passwordFile,
                  "--addressbook", "No Such Book"}, &out, &err), 1);
    QVERIFY2(err.contains("no address book \"No Such Book\"") && err.contains(server.addressBookPath()), qPrintable(err));
    QCOMPARE(run({"sync", "--password-file", passwordFile}, &out, &err), 1); // nothing set up
    QVERIFY2(err.contains("no sync account is set up"), qPrintable(err));
    // Discovery from the bare server address (the well-known redirect, principal, home set).
    QCOMPARE(run({"sync", "--setup", server.baseUrl(), "--user", server.user(), "--password-file", passwordFile,
                  "--addressbook", server.addressBookPath().chopped(1)}, &out, &err), 0);
    QVERIFY2(out.contains(server.addressBookPath()), qPrintable(out + err));
    QCOMPARE(run({"sync", "--setup", server.baseUrl()}), 2);

    QSqlDatabase db = TestData::openLive();
    for (int i = 0; i < 120; ++i)
        TestData::addContact(db, {{"FirstName", QString("K%1").arg(i)}, {"LastName", "Killed"}, {"City", "Riga"}});

    // kill -9 while cards are being sent.
    QProcess program;
    program.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
    program.start(QStringLiteral(CORVANTA_BINARY), {"sync", "--password-file", passwordFile});
    QVERIFY(program.waitForStarted());
    QDeadlineTimer deadline(60000);
    while (server.cardNames().size() < 30 && !deadline.hasExpired() && program.state() == QProcess::Running)
        QTest::qWait(20);
    QVERIFY(program.state() == QProcess::Running);
    program.kill();
    program.waitForFinished();
    QVERIFY(server.cardNames().size() < 120);

    QCOMPARE(run({"sync", "--password-file", passwordFile}, &out, &err), 0);
    QCOMPARE(server.cardNames().size(), 120);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 120);
    QCOMPARE(run({"sync", "--password-file", passwordFile}, &out), 0);
    QCOMPARE(out.trimmed(), QString("0 sent, 0 received, 0 deleted here, 0 deleted there, 0 conflicts kept in Notes"));

    // The server is emptied: the command line refuses to follow without --allow-mass-delete.
    for (const QString &card : server.cardNames())
        server.remove(card);
    QCOMPARE(run({"sync", "--password-file", passwordFile}, &out, &err), 1);
    QVERIFY2(err.contains("--allow-mass-delete"), qPrintable(err));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 120);
    QCOMPARE(run({"sync", "--password-file", passwordFile, "--allow-mass-delete"}, &out, &err), 0);
    QCOMPARE(out.trimmed(), QString("0 sent, 0 received, 120 deleted here, 0 deleted there, 0 conflicts kept in Notes"));
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 0);
    TestData::close(db);
}

QTEST_MAIN(SyncServersTest)
#include "tst_sync_servers.moc"
