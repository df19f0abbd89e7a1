// The import and export commands with files as other programs write them,
// broken files, and the program's own exports read back by khard and by
// this program.
#include "cli/CommandLine.h"
#include "support/TestSupport.h"

#include "exchange/ContactRecord.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTextStream>
#include <QtTest>

namespace {
struct Run {
    int status = -1;
    QString out;
    QString err;
};

Run corvanta(const QStringList &arguments, const QString &input = QString(), bool interactive = false)
{
    Run run;
    QString in = input;
    QTextStream outStream(&run.out), errStream(&run.err), inStream(&in);
    const CommandLineStreams io{&outStream, &errStream, &inStream, interactive, false};
    run.status = runCommandLine(arguments, io);
    outStream.flush();
    errStream.flush();
    return run;
}

QString writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every row of Contacts with Null told apart from '', and the UIDs.
QStringList contactRows()
{
    QSqlDatabase db = TestData::openLive();
    QStringList rows;
    {
        QSqlQuery query(db);
        // The type by its caption: a fresh database numbers the types anew.
        query.exec(QStringLiteral("SELECT c.*, t.ContactType FROM Contacts AS c LEFT JOIN \"Contact Types\" AS t "
                                  "ON t.ContactTypeID = c.ContactTypeID ORDER BY c.ContactID"));
        while (query.next()) {
            QStringList values;
            for (int i = 1; i < query.record().count(); ++i) {
                if (query.record().fieldName(i) == QLatin1String("ContactTypeID"))
                    continue;
                values << (query.isNull(i) ? QStringLiteral("<null>") : QLatin1Char('[') + query.value(i).toString() + QLatin1Char(']'));
            }
            rows << values.join(QLatin1Char('|'));
        }
    }
    TestData::close(db);
    return rows;
}

QByteArray crlf(const char *text)
{
    return QByteArray(text).replace("\n", "\r\n");
}
} // namespace

class ExchangeInteropCliTest : public QObject {
    Q_OBJECT

private slots:
    void brokenFilesAreRefusedAndChangeNothing_data();
    void brokenFilesAreRefusedAndChangeNothing();
    void headingsNoOneKnowsAreRefusedUntilMapped();
    void uidsAreKeptWrittenAndMatched();
    void duplicatesWithinOneFileAndTheQuestion();
    void updatesKeepDifferingValuesAsDatedNotes();
    void summaryNamesCutCardsAndRepairs();
    void khardListsAndShowsEveryExportedContact();
    void ownExportsRoundTripExactly();
};

void ExchangeInteropCliTest::brokenFilesAreRefusedAndChangeNothing_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10\0\0\0\x10\x08\x06\0\0\0\x1f\xf3\xff" "a", 33);
    QTest::newRow("png") << png + QByteArray(300, 'A') << "picture.csv" << "binary data (NUL bytes)";
    QByteArray noise(64 * 1024, '\0');
    QRandomGenerator generator(23);
    for (char &byte : noise)
        byte = char(generator.bounded(256));
    QTest::newRow("random bytes") << noise << "noise.csv" << "NUL bytes";
    QTest::newRow("gzip") << QByteArray("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9\x07\x00", 17)
                          << "cards.vcf.gz" << "compressed (gzip)";
    QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\x00\x00\x00\x08\x00", 10) + QByteArray(100, 'x') << "cards.zip"
                         << "ZIP archive";
    QTest::newRow("control characters") << QByteArray("a,b\r\n\x01\x02\x03,\x04\r\n") << "odd.csv"
                                        << "not text in a supported encoding";
}

void ExchangeInteropCliTest::brokenFilesAreRefusedAndChangeNothing()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, name);
    QFETCH(QString, reason);
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Kept"}});
    TestData::close(db);
    const QStringList before = contactRows();
    const Run run = corvanta({"import", writeFile(env.root() + QLatin1Char('/') + name, bytes)});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(reason) && run.err.contains(name), qPrintable(run.err));
    QCOMPARE(contactRows(), before);
}

void ExchangeInteropCliTest::headingsNoOneKnowsAreRefusedUntilMapped()
{
    IsolatedEnvironment env;
    const QString sheet = writeFile(env.root() + QStringLiteral("/adressen.csv"),
                                    "Vorname;Nachname;Straße;Ort;PLZ\r\nJörg;Weiß;Königsallee 1;Düsseldorf;40212\r\n"
                                    "Anna;Schmidt;Lindenweg 5;Köln;50667\r\n");
    Run run = corvanta({"import", sheet});
    QCOMPARE(run.status, 1);
    QVERIFY2(run.err.contains(QLatin1String("--map HEADING=Field,...")), qPrintable(run.err));
    QVERIFY(contactRows().isEmpty());

    run = corvanta({"import", sheet, "--map", "Vorname=First Name,Nachname=LastName,Straße=Address,Ort=City,PLZ=Postleitzahl"});
    QCOMPARE(run.status, 2);
    QVERIFY2(run.err.contains(QLatin1String("Postleitzahl")), qPrintable(run.err));

    run = corvanta({"import", sheet, "--map", "Vorname=First Name,Nachname=LastName,Straße=Address,Ort=City,PLZ=Post Code"});
    QCOMPARE(run.status, 0);
    const QStringList rows = contactRows();
    QCOMPARE(rows.size(), 2);
    QVERIFY2(rows[0].startsWith(QStringLiteral("[Jörg]|[Weiß]|<null>|[Königsallee 1]|[Düsseldorf]|<null>|[40212]|")),
             qPrintable(rows[0]));
}

void ExchangeInteropCliTest::uidsAreKeptWrittenAndMatched()
{
    IsolatedEnvironment env;
    const QString card = writeFile(env.root() + QStringLiteral("/one.vcf"),
                                   crlf("BEGIN:VCARD\nVERSION:3.0\nUID:urn:uuid:11111111-2222-4333-8444-555555555555\n"
                                        "N:Kept;Uma;;;\nFN:Uma Kept\nEND:VCARD\n"));
    QCOMPARE(corvanta({"import", card}).status, 0);
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"CompanyName", "Made Here Ltd"}});
    TestData::close(db);

    const QString out = env.root() + QStringLiteral("/all.vcf");
    QCOMPARE(corvanta({"export", "--vcard", out}).status, 0);
    const QString exported = QString::fromUtf8(readFile(out));
    QVERIFY2(exported.contains(QLatin1String("UID:urn:uuid:11111111-2222-4333-8444-555555555555\r\n")), qPrintable(exported));
    QCOMPARE(exported.count(QLatin1String("\r\nUID:")), 2);
    QVERIFY2(exported.contains(QLatin1String("\r\nFN:Made Here Ltd\r\n")), qPrintable(exported));
    QVERIFY(!exported.contains(QLatin1String("\r\nFN:\r\n")));

    // The UID a contact was given stays; CSV carries it as well.
    const QString again = env.root() + QStringLiteral("/again.vcf");
    QCOMPARE(corvanta({"export", "--vcard", again}).status, 0);
    QCOMPARE(readFile(again), readFile(out));
    const QString csv = env.root() + QStringLiteral("/all.csv");
    QCOMPARE(corvanta({"export", "--csv", csv}).status, 0);
    QVERIFY(readFile(csv).contains(",urn:uuid:11111111-2222-4333-8444-555555555555\r\n"));

    // Matched by UID even after the name changed elsewhere.
    QString changed = exported;
    changed.replace(QLatin1String("N:Kept;Uma;;;"), QLatin1String("N:Renamed;Uma;;;"));
    const Run run = corvanta({"import", writeFile(env.root() + QStringLiteral("/changed.vcf"), changed.toUtf8())});
    QVERIFY2(run.out.contains(QLatin1String("2 contacts found, 2 look like")), qPrintable(run.out));
    QCOMPARE(contactRows().size(), 2);
}

void ExchangeInteropCliTest::duplicatesWithinOneFileAndTheQuestion()
{
    IsolatedEnvironment env;
    const QByteArray ann = crlf("BEGIN:VCARD\nVERSION:3.0\nN:Lee;Ann;;;\nEMAIL:ann@example.org\nEND:VCARD\n");
    const QString twice = writeFile(env.root() + QStringLiteral("/twice.vcf"), ann + ann);
    Run run = corvanta({"import", twice, "--on-duplicate", "skip"});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(QLatin1String("2 contacts found, 1 looks like")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("1 added, 0 updated, 1 skipped")), qPrintable(run.out));
    QCOMPARE(contactRows().size(), 1);

    // At a terminal: anything but s, u or a is asked again.
    run = corvanta({"import", twice}, QStringLiteral("maybe\nx\na\n"), true);
    QCOMPARE(run.status, 0);
    QCOMPARE(run.err.count(QLatin1String("[s/u/a]")), 3);
    QVERIFY2(run.out.contains(QLatin1String("2 added")), qPrintable(run.out));
    QCOMPARE(contactRows().size(), 3);

    run = corvanta({"import", twice}, QStringLiteral("s\n"), true);
    QVERIFY2(run.out.contains(QLatin1String("0 added, 0 updated, 2 skipped")), qPrintable(run.out));
    run = corvanta({"import", twice}, QStringLiteral("skip?\n"), true);
    QCOMPARE(run.status, 1);
    QCOMPARE(contactRows().size(), 3);
}

void ExchangeInteropCliTest::updatesKeepDifferingValuesAsDatedNotes()
{
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    TestData::addContact(db, {{"FirstName", "Rob"}, {"LastName", "Stone"}, {"EmailName", "rob@example.org"},
                              {"Title", "Clerk"}, {"Notes", "Old note"}});
    TestData::close(db);
    const QString file = writeFile(env.root() + QStringLiteral("/rob.csv"),
                                   "First Name,Last Name,E-mail Address,Job Title,Business Phone,Notes\r\n"
                                   "Rob,Stone,rob@example.org,Sales Manager,555 0100,Old note\r\n");
    const Run run = corvanta({"import", file, "--on-duplicate", "update"});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(QLatin1String("1 updated")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("1 value that differed was kept in Notes")), qPrintable(run.out));
    const QStringList rows = contactRows();
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    QVERIFY2(rows[0].contains(QStringLiteral("[Old note\nImported %1: Job Title: Sales Manager]").arg(today)), qPrintable(rows[0]));
    QVERIFY2(rows[0].contains(QLatin1String("[Clerk]")) && rows[0].contains(QLatin1String("[555 0100]")), qPrintable(rows[0]));
}

void ExchangeInteropCliTest::summaryNamesCutCardsAndRepairs()
{
    IsolatedEnvironment env;
    QByteArray cards = crlf("BEGIN:VCARD\nVERSION:2.1\nN:Repair;Rae;;;\n"
                            "NOTE:path C\\q\\w and \\y\n"
                            "TEL;HOME:555 0101\nEND:VCARD\n"
                            "BEGIN:VCARD\nVERSION:3.0\nN:Cut;Cora;;;\nEMAIL:cora@example.org\n");
    const Run run = corvanta({"import", writeFile(env.root() + QStringLiteral("/cut.vcf"), cards)});
    QCOMPARE(run.status, 0);
    QVERIFY2(run.out.contains(QLatin1String("2 added")), qPrintable(run.out));
    QVERIFY2(run.err.contains(QLatin1String("The last card (Cora Cut) ends without END:VCARD")), qPrintable(run.err));
    // The library's own warnings are counted in one line, not printed one by one.
    QVERIFY2(run.err.contains(QLatin1String("cut.vcf: 3 values were read with repairs.")), qPrintable(run.err));
    QVERIFY2(!run.err.contains(QLatin1String("invalid escape")), qPrintable(run.err));
}

void ExchangeInteropCliTest::khardListsAndShowsEveryExportedContact()
{
    const QString khard = QStandardPaths::findExecutable(QStringLiteral("khard"));
    if (khard.isEmpty())
        QSKIP("khard is not installed");
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Kunden"));
    TestData::addContact(db, {{"FirstName", "Åsa"}, {"LastName", "Lind"}, {"EmailName", "asa@example.se"},
                              {"WorkPhone", "+46 8 555 01"}, {"WorkExtension", "12"}, {"MobilePhone", "070 555"},
                              {"Address", "Storgatan 1\nTrappa 2"}, {"City", "Uppsala"}, {"Country", "Sweden"},
                              {"CompanyName", "Lind AB"}, {"Title", "VD"}, {"Birthdate", "1970-05-17"},
                              {"ContactTypeID", type}, {"Notes", "Fika, gärna"}});
    TestData::addContact(db, {{"CompanyName", "Only A Company"}});
    TestData::addContact(db, {{"EmailName", "only@mail.example"}, {"HomePhone", "555 0199"}});
    TestData::addContact(db, {{"FirstName", "Bo"}, {"LastName", "Ek"}, {"FaxNumber", "555 0200"}});
    TestData::close(db);
    const QString exported = env.root() + QStringLiteral("/all.vcf");
    QCOMPARE(corvanta({"export", "--vcard", exported}).status, 0);

    // One file per card, as a vdir address book holds them.
    const QString book = env.root() + QStringLiteral("/book");
    QVERIFY(QDir().mkpath(book));
    const QList<QByteArray> parts = readFile(exported).split('\n');
    QByteArray card;
    int files = 0;
    for (const QByteArray &line : parts) {
        card += line + '\n';
        if (line.trimmed() == "END:VCARD") {
            writeFile(QStringLiteral("%1/%2.vcf").arg(book).arg(++files), card);
            card.clear();
        }
    }
    QCOMPARE(files, 4);
    const QString config = writeFile(env.root() + QStringLiteral("/khard.conf"),
                                     QStringLiteral("[addressbooks]\n[[corvanta]]\npath = %1\n\n[general]\ndebug = no\n"
                                                    "editor = /bin/false\nmerge_editor = /bin/false\n"
                                                    "[contact table]\ndisplay = first_name\n")
                                         .arg(book)
                                         .toUtf8());
    auto runKhard = [&](const QStringList &arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
        environment.insert(QStringLiteral("HOME"), env.root());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), env.root() + QStringLiteral("/xdg-config"));
        process.setProcessEnvironment(environment);
        process.start(khard, QStringList{QStringLiteral("-c"), config} + arguments);
        if (!process.waitForFinished(60000))
            qFatal("khard did not finish");
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        const QString err = QString::fromUtf8(process.readAllStandardError());
        if (process.exitCode() != 0)
            qWarning("khard %s: %s", qPrintable(arguments.join(' ')), qPrintable(err));
        return out + err;
    };
    const QString list = runKhard({QStringLiteral("list"), QStringLiteral("--parsable")});
    QVERIFY2(!list.contains(QLatin1String("no UID")) && !list.contains(QLatin1String("Found no contacts")), qPrintable(list));
    QCOMPARE(list.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 4);
    for (const char *name : {"Åsa Lind", "Only A Company", "only@mail.example", "Bo Ek"})
        QVERIFY2(list.contains(QString::fromUtf8(name)), qPrintable(list));

    const QString asa = runKhard({QStringLiteral("show"), QStringLiteral("Lind")});
    for (const char *field : {"Åsa Lind", "asa@example.se", "+46 8 555 01 ext. 12", "070 555", "Storgatan 1", "Trappa 2",
                              "Uppsala", "Sweden", "Lind AB", "VD", "Kunden", "Fika, gärna"})
        QVERIFY2(asa.contains(QString::fromUtf8(field)), qPrintable(field + QStringLiteral(" missing in:\n") + asa));
    // khard shows the birthday in its own short form.
    QVERIFY2(asa.contains(QLatin1String("Birthday: 05/17/70")) || asa.contains(QLatin1String("Birthday: 1970-05-17")),
             qPrintable(asa));
    const QString bo = runKhard({QStringLiteral("show"), QStringLiteral("Ek")});
    QVERIFY2(bo.contains(QLatin1String("555 0200")), qPrintable(bo));
    const QString mail = runKhard({QStringLiteral("show"), QStringLiteral("only@mail")});
    QVERIFY2(mail.contains(QLatin1String("555 0199")), qPrintable(mail));
}

void ExchangeInteropCliTest::ownExportsRoundTripExactly()
{
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    const qint64 types[] = {TestData::addType(db, QStringLiteral("Kunde")), TestData::addType(db, QStringLiteral("a;b, \"c\""))};
    QRandomGenerator generator(2026);
    const QStringList pieces = {"", " ", "Ann", "O'Neil", "Zoë 李", "a,b;c", "\"quoted\"", "line\nbreak", "cr\r\nlf",
                                "lone\rcr", "  padded  ", "x204", "555 0100 ext. 9", "tab\there", "\\back\\slash:",
                                "http://example.org/a?b=c", "=3D", "END:VCARD", "ünï€ödé"};
    const QStringList dates = {"1980-01-31", "31/01/1980", "1/2/1985", "Feb 3", "1980-01-31T14:30:00", "", "0/0/00"};
    const QStringList names = exchange::fieldNames();
    const int contacts = 120;
    for (int i = 0; i < contacts; ++i) {
        QSqlQuery insert(db);
        QStringList columns;
        QStringList marks;
        for (int field = 1; field < names.size(); ++field) {
            columns << names[field];
            marks << QStringLiteral("?");
        }
        insert.prepare(QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)").arg(columns.join(','), marks.join(',')));
        for (int field = 1; field < names.size(); ++field) {
            const int pick = int(generator.bounded(pieces.size() + 2));
            QVariant value;
            if (field == exchange::ContactTypeID)
                value = pick % 3 == 2 ? QVariant() : QVariant(types[pick % 2]);
            else if (field == exchange::Birthdate)
                value = pick >= dates.size() ? QVariant() : QVariant(dates[pick]);
            else if (pick < pieces.size())
                value = pieces[pick] + (pick > 0 && i % 2 ? QString::number(i) : QString());
            insert.addBindValue(value);
        }
        QVERIFY(insert.exec());
    }
    TestData::close(db);
    const QStringList stored = contactRows();
    QCOMPARE(stored.size(), contacts);
    QVERIFY(stored.join('\n').contains(QLatin1String("[]")));
    QVERIFY(stored.join('\n').contains(QLatin1String("<null>")));

    for (const char *format : {"--vcard", "--csv"}) {
        const QString file = env.root() + (QByteArray(format) == "--csv" ? "/own.csv" : "/own.vcf");
        QCOMPARE(corvanta({"export", QString::fromLatin1(format), file}).status, 0);
        // Into an empty database: every field comes back as it was.
        env.reset();
        const Run run = corvanta({"import", file, "--on-duplicate", "add"});
        QVERIFY2(run.status == 0 && run.out.contains(QStringLiteral("%1 added").arg(contacts)), qPrintable(run.out + run.err));
        const QStringList back = contactRows();
        QCOMPARE(back.size(), contacts);
        for (int i = 0; i < contacts; ++i)
            QCOMPARE(back[i], stored[i]);
        // And the file written from them is the same file.
        const QString second = env.root() + QStringLiteral("/second");
        QCOMPARE(corvanta({"export", QString::fromLatin1(format), second}).status, 0);
        QCOMPARE(readFile(second), readFile(file));
    }
}

QTEST_MAIN(ExchangeInteropCliTest)
#include "tst_exchange_interop_cli.moc"
