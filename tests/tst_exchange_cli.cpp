#include "cli/CommandLine.h"
#include "support/TestSupport.h"

#include <QFile>
#include <QTest>
#include <QTextStream>

class TestExchangeCli : public QObject {
    Q_OBJECT

private slots:
    void exitCodes_data();
    void exitCodes();
    void exportThenImportThroughTheCommandLine();
    void helpListsImportAndExport();
    void filesAloneOpenTheWindows_data();
    void filesAloneOpenTheWindows();

private:
    int run(const QStringList &arguments, QString *err = nullptr, QString *out = nullptr);
};

int TestExchangeCli::run(const QStringList &arguments, QString *err, QString *out)
{
    QString outText, errText, inText;
    QTextStream outStream(&outText), errStream(&errText), inStream(&inText);
    const CommandLineStreams io{&outStream, &errStream, &inStream, false, false};
    const int status = runCommandLine(arguments, io);
    if (err)
        *err = errText;
    if (out)
        *out = outText;
    return status;
}

void TestExchangeCli::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    QTest::newRow("import without file") << QStringList{"import"} << 2 << "import needs at least one FILE.";
    QTest::newRow("bad duplicate choice") << QStringList{"import", "a.vcf", "--on-duplicate", "merge"} << 2
                                          << "--on-duplicate takes skip, update or add.";
    QTest::newRow("export without format") << QStringList{"export", "out.vcf"} << 2 << "export needs --vcard FILE or --csv FILE.";
    QTest::newRow("missing import file") << QStringList{"import", "/nonexistent/x.vcf"} << 1 << "cannot read /nonexistent/x.vcf";
    QTest::newRow("unwritable export") << QStringList{"export", "--csv", "/nonexistent/dir/x.csv"} << 1 << "export failed";
}

void TestExchangeCli::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    IsolatedEnvironment env;
    QString err;
    QCOMPARE(run(arguments, &err), status);
    QVERIFY2(err.contains(message), qPrintable(err));
}

void TestExchangeCli::exportThenImportThroughTheCommandLine()
{
    IsolatedEnvironment env;
    QSqlDatabase db = TestData::openLive();
    const qint64 type = TestData::addType(db, QStringLiteral("Family"));
    TestData::addContact(db, {{"FirstName", "Åsa"}, {"LastName", "O'Neill"}, {"EmailName", "asa@example.se"},
                              {"Notes", "a\r\nb, \"c\""}, {"ContactTypeID", type}, {"Birthdate", "1990-10-09"}});
    TestData::addContact(db, {{"FirstName", "Li"}, {"LastName", "Wei 李"}, {"HomePhone", "010 1234"}});
    TestData::close(db);
    int stored = 2;
    for (const char *format : {"--vcard", "--csv"}) {
        const QString path = env.root() + (QByteArray(format) == "--csv" ? "/all.csv" : "/all.vcf");
        QString out;
        QCOMPARE(run({"export", QString::fromLatin1(format), path}, nullptr, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("%1 contacts written").arg(stored)), qPrintable(out));
        QCOMPARE(run({"import", path}, nullptr, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("%1 contacts found, %1 look like").arg(stored)), qPrintable(out));
        QVERIFY2(out.contains(QStringLiteral("0 added, 0 updated, %1 skipped").arg(stored)), qPrintable(out));
        QCOMPARE(run({"import", path, "--on-duplicate", "add"}, nullptr, &out), 0);
        QVERIFY2(out.contains(QStringLiteral("%1 added").arg(stored)), qPrintable(out));
        stored *= 2;
    }
    db = TestData::openLive();
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts").toInt(), 8);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM Contacts WHERE Notes = ? AND ContactTypeID = ? AND Birthdate = ?",
                              {QStringLiteral("a\r\nb, \"c\""), type, QStringLiteral("1990-10-09")}).toInt(), 4);
    QCOMPARE(TestData::scalar(db, "SELECT COUNT(*) FROM \"Contact Types\"").toInt(), 1);
    TestData::close(db);
}

void TestExchangeCli::helpListsImportAndExport()
{
    QString out;
    QCOMPARE(run({"--help"}, nullptr, &out), 0);
    for (const char *line : {"corvanta import FILE... [--on-duplicate skip|update|add]", "corvanta export --vcard FILE | --csv FILE",
                             "corvanta FILE.vcf|FILE.csv...", "corvanta backup FOLDER", "corvanta --version"})
        QVERIFY2(out.contains(QLatin1String(line)), line);
}

void TestExchangeCli::filesAloneOpenTheWindows_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("command");
    QTest::newRow("one vCard file") << QStringList{"/home/ann/Phone Book.VCF"} << false;
    QTest::newRow("vCard and CSV files") << QStringList{"a.vcard", "b.csv"} << false;
    QTest::newRow("import command") << QStringList{"import", "a.vcf"} << true;
    QTest::newRow("a file of another kind") << QStringList{"a.vcf", "notes.txt"} << true;
    QTest::newRow("nothing") << QStringList{} << false;
}

void TestExchangeCli::filesAloneOpenTheWindows()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, command);
    QCOMPARE(isCommandLineRequest(arguments), command);
}

QTEST_MAIN(TestExchangeCli)
#include "tst_exchange_cli.moc"
