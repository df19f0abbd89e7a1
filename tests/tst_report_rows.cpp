#include "support/TestSupport.h"

#include "frame/Collation.h"
#include "frame/Formats.h"
#include "reports/DetailTexts.h"
#include "reports/ReportRenderer.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QSqlQuery>
#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

using namespace report;

namespace {

const QDateTime kPrinted(QDate(2021, 8, 31), QTime(21, 5));

QString today(int offsetDays = 0)
{
    return QDate::currentDate().addDays(offsetDays).toString(Qt::ISODate);
}

QString heading(int offsetDays)
{
    return QDate::currentDate().addDays(offsetDays).toString(QStringLiteral("MM/dd/yyyy "));
}

// Lays a report out over the live database; read-only, the report's
// connection cannot change the file.
Layout build(int reportNumber, bool readOnly = false)
{
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        qFatal("%s", qPrintable(connection.error().description));
    if (readOnly && !(*connection)->execute(QStringLiteral("PRAGMA query_only = ON")))
        qFatal("query_only");
    ReportStore store(**connection);
    Result<Layout> layout = buildReport(reportNumber, store, QPageSize(QPageSize::Letter), kPrinted);
    if (!layout)
        qFatal("%s", qPrintable(layout.error().description));
    return std::move(layout).value();
}

// The group bands and detail lines of every page, top to bottom: a group
// band as '#' and its heading ('#' alone for an empty heading), a detail line
// as the text of one of its controls ("-" when that control prints nothing
// on the line).
QStringList outline(const Layout &layout, const QString &detailControl)
{
    const Definition &definition = *layout.definition;
    const Control *groupBox = &definition.section(SectionKind::GroupHeader).controls.front();
    const Section &detail = definition.section(SectionKind::Detail);
    const Control *wanted = definition.control(detailControl, SectionKind::Detail);
    QStringList result;
    for (const Page &page : layout.allPages()) {
        std::map<int, QString> rows; // by the top of the band or line
        for (const Item &item : page.items) {
            if (item.control == groupBox) {
                rows[item.y - groupBox->top] = QLatin1Char('#') + item.text.trimmed();
                continue;
            }
            for (const Control &control : detail.controls) {
                if (item.control != &control)
                    continue;
                QString &text = rows.try_emplace(item.y - control.top, QStringLiteral("-")).first->second;
                if (item.control == wanted)
                    text = item.text;
            }
        }
        for (const auto &entry : rows)
            result << entry.second;
    }
    return result;
}

// The tops of the lines on which a detail control prints.
std::vector<int> lineTops(const Layout &layout, int page, const QString &control)
{
    std::vector<int> tops;
    for (const Item *item : layout.itemsOf(page, control, SectionKind::Detail))
        tops.push_back(item->y);
    return tops;
}

void execute(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        qFatal("%s", qPrintable(sql));
}

} // namespace

// Every contact and every call is printed, and the order is the order of the
// user's language.
class ReportRowsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void contactsWithoutANamedTypeFollowTheNamedTypes();
    void callsOfDeletedContactsPrintWithoutAName();
    void everyRowPrintsAndNoHeadingStandsAlone();
    void callDatesWithATimeOfDayGroupByTheirDay();
    void aNoteTallerThanAPageContinuesOnTheNextPages();
    void datesFollowTheLocalesOrder_data();
    void datesFollowTheLocalesOrder();

    void listingOrderFollowsTheLocale_data();
    void listingOrderFollowsTheLocale();
    void callHistoryLettersFoldCaseAndAccents_data();
    void callHistoryLettersFoldCaseAndAccents();
    void phoneFormatFillsItsPlaceholders_data();
    void phoneFormatFillsItsPlaceholders();
    void captionsSortAsTheLocaleReads_data();
    void captionsSortAsTheLocaleReads();
    void rowTextsReadBackInTheirNewOrder();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
};

void ReportRowsTest::init()
{
    env.reset();
    db = TestData::openLive();
}

void ReportRowsTest::cleanup()
{
    QLocale::setDefault(QLocale::system());
    TestData::close(db);
}

void ReportRowsTest::contactsWithoutANamedTypeFollowTheNamedTypes()
{
    const qint64 supplier = TestData::addType(db, QStringLiteral("Supplier"));
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 gone = TestData::addType(db, QStringLiteral("Gone"));
    TestData::addContact(db, {{"FirstName", "Zed"}, {"LastName", "Young"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Carl"}, {"LastName", "Cole"}, {"ContactTypeID", supplier}});
    TestData::addContact(db, {{"FirstName", "No"}, {"LastName", "Type"}});
    TestData::addContact(db, {{"FirstName", "Was"}, {"LastName", "Gone"}, {"ContactTypeID", gone}});
    TestData::addContact(db, {{"FirstName", "Never"}, {"LastName", "Existed"}, {"ContactTypeID", 9999}});
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", customer}});
    execute(db, QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = %1").arg(gone));

    const Layout layout = build(1);
    QCOMPARE(layout.pageCount(), 1);
    QCOMPARE(outline(layout, QStringLiteral("Text1")),
             QStringList({"#Customer", "Ann Able", "Zed Young", "#Supplier", "Carl Cole", "#", "Never Existed",
                          "Was Gone", "No Type"}));
    // The last three stand in a group of their own: below a band with an empty heading.
    const std::vector<int> tops = lineTops(layout, 0, QStringLiteral("Text1"));
    QCOMPARE(tops.size(), size_t(6));
    QCOMPARE(tops[3] - tops[2], 285 + 330);
    QCOMPARE(tops[4] - tops[3], 285);
    QCOMPARE(layout.textsOf(0, QStringLiteral("txtContactType"), SectionKind::GroupHeader),
             QStringList({"Customer", "Supplier", ""}));
}

void ReportRowsTest::callsOfDeletedContactsPrintWithoutAName()
{
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"WorkPhone", "5551234567"}});
    const qint64 gone = TestData::addContact(db, {{"FirstName", "Gone"}, {"LastName", "Away"}, {"FaxNumber", "5559999999"}});
    TestData::addCall(db, ann, today(0), QStringLiteral("10:00:00"), QStringLiteral("ann today"));
    TestData::addCall(db, gone, today(-1), QStringLiteral("09:00:00"), QStringLiteral("orphan yesterday"));
    TestData::addCall(db, gone, today(0), QStringLiteral("08:00:00"), QStringLiteral("orphan today"));
    execute(db, QStringLiteral("DELETE FROM Contacts WHERE ContactID = %1").arg(gone));

    const Layout history = build(2);
    QCOMPARE(outline(history, QStringLiteral("Text4")),
             QStringList({"#A", "ann today", "#", "orphan yesterday", "orphan today"}));
    QCOMPARE(outline(history, QStringLiteral("Text1")), QStringList({"#A", "Ann Able", "#", "-", "-"}));

    const Layout weekly = build(3);
    QCOMPARE(outline(weekly, QStringLiteral("Text4")),
             QStringList({"#" + heading(-1).trimmed(), "orphan yesterday", "#" + heading(0).trimmed(), "orphan today",
                          "ann today"}));
    QCOMPARE(outline(weekly, QStringLiteral("Text1")),
             QStringList({"#" + heading(-1).trimmed(), "-", "#" + heading(0).trimmed(), "-", "Ann Able"}));
    // The contact's phone is gone with it.
    QCOMPARE(weekly.textsOf(0, QStringLiteral("Text5"), SectionKind::Detail), QStringList{"(555) 123-4567"});
    QVERIFY(weekly.textsOf(0, QStringLiteral("Text7"), SectionKind::Detail).isEmpty());
}

void ReportRowsTest::everyRowPrintsAndNoHeadingStandsAlone()
{
    // Saved queries whose groups and details do not match, in a file the
    // report cannot bring up to date: a group without calls prints no
    // heading, calls without a group print under an empty one.
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}});
    TestData::addCall(db, ann, today(0), QStringLiteral("10:00:00"), QStringLiteral("listed"));
    TestData::addCall(db, ann, today(-2), QStringLiteral("10:00:00"), QStringLiteral("no group"));
    execute(db, QStringLiteral("DROP VIEW qryRep3A"));
    execute(db, QStringLiteral("CREATE VIEW qryRep3A AS SELECT DATE('now', 'localtime') AS CallDate "
                               "UNION ALL SELECT '2001-01-01'"));
    const Layout weekly = build(3, true);
    QCOMPARE(outline(weekly, QStringLiteral("Text4")),
             QStringList({"#" + heading(0).trimmed(), "listed", "#", "no group"}));
    // Where the file can be changed, the report's own queries replace these.
    QCOMPARE(outline(build(3), QStringLiteral("Text4")),
             QStringList({"#" + heading(-2).trimmed(), "no group", "#" + heading(0).trimmed(), "listed"}));
}

void ReportRowsTest::callDatesWithATimeOfDayGroupByTheirDay()
{
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}});
    TestData::addCall(db, ann, today(0), QStringLiteral("09:00:00"), QStringLiteral("date only"));
    TestData::addCall(db, ann, today(0) + QStringLiteral("T10:15:00"), QStringLiteral("10:15:00"),
                      QStringLiteral("with a time"));
    TestData::addCall(db, ann, today(-6) + QStringLiteral("T23:59:59"), QStringLiteral("23:59:59"),
                      QStringLiteral("six days ago, late"));
    TestData::addCall(db, ann, today(-7) + QStringLiteral("T23:59:59"), QStringLiteral("23:59:59"),
                      QStringLiteral("seven days ago"));
    TestData::addCall(db, ann, today(1) + QStringLiteral("T00:00:00"), QStringLiteral("00:00:00"),
                      QStringLiteral("tomorrow"));

    const Layout weekly = build(3);
    QCOMPARE(outline(weekly, QStringLiteral("Text4")),
             QStringList({"#" + heading(-6).trimmed(), "six days ago, late", "#" + heading(0).trimmed(), "date only",
                          "with a time"}));
    const Layout history = build(2);
    QCOMPARE(history.textsOf(0, QStringLiteral("Text2"), SectionKind::Detail),
             QStringList({heading(-7), heading(-6), heading(0), heading(0), heading(1)}));
}

void ReportRowsTest::aNoteTallerThanAPageContinuesOnTheNextPages()
{
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    QStringList lines;
    for (int i = 1; i <= 120; ++i)
        lines << QStringLiteral("Line %1 of the note, with\ta TAB").arg(i);
    const QString note = lines.join(QLatin1Char('\n'));
    TestData::addCall(db, ann, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("before"));
    TestData::addCall(db, ann, QStringLiteral("2021-01-02"), QStringLiteral("10:00:00"), QStringLiteral("long"), note);
    TestData::addCall(db, bob, QStringLiteral("2021-01-03"), QStringLiteral("10:00:00"), QStringLiteral("after"));

    const Layout layout = build(2);
    QVERIFY2(layout.pageCount() >= 3, qPrintable(QString::number(layout.pageCount())));
    const int bodyHeight = int(layout.pageLayout.paintRect(QPageLayout::Point).height() * 20);
    QStringList parts;
    for (int page = 0; page < layout.pageCount(); ++page) {
        QCOMPARE(layout.textsOf(page, QStringLiteral("Label4"), SectionKind::PageHeader), QStringList{"Call Date"});
        QCOMPARE(layout.textsOf(page, QStringLiteral("Label10"), SectionKind::PageFooter),
                 QStringList{QStringLiteral("Page %1 of %2").arg(page + 1).arg(layout.pageCount())});
        for (const Item *item : layout.itemsOf(page, QStringLiteral("Text5"), SectionKind::Detail)) {
            QVERIFY(item->y + item->height <= bodyHeight - 435); // above the page footer
            QVERIFY(!item->clip);
            if (page > 0)
                QCOMPARE(item->y, 330); // right under the repeated page header
            parts << item->text;
        }
    }
    // Every TAB prints as a blank: none runs into the next column.
    QCOMPARE(parts.join(QLatin1Char('\n')), QString(note).replace(QLatin1Char('\t'), QLatin1Char(' ')));
    // The note starts on its own line, beside its subject.
    const auto subjects = layout.itemsOf(0, QStringLiteral("Text4"), SectionKind::Detail);
    const auto notes = layout.itemsOf(0, QStringLiteral("Text5"), SectionKind::Detail);
    QCOMPARE(subjects.size(), size_t(2));
    QCOMPARE(notes.size(), size_t(1));
    QCOMPARE(notes[0]->y, subjects[1]->y);
    QVERIFY(parts.first().startsWith(QLatin1String("Line 1 of the note")));
    // The other boxes of the line print once, on its first part; the next line follows the last part.
    QStringList expected{"#A", "before", "long"};
    for (qsizetype part = 1; part < parts.size(); ++part)
        expected << QStringLiteral("-");
    expected << "#B" << "after";
    QCOMPARE(outline(layout, QStringLiteral("Text4")), expected);
}

void ReportRowsTest::datesFollowTheLocalesOrder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("form");    // of a day group and a call date
    QTest::addColumn<QString>("heading"); // the date of printing in the heading
    QTest::newRow("en_US") << "en_US" << "MM/dd/yyyy " << "8/31/2021";
    QTest::newRow("de_DE") << "de_DE" << "dd.MM.yyyy " << "31.08.2021";
    // A short form with the month's name has no numeric order: the report's own.
    QTest::newRow("C") << "C" << "MM/dd/yyyy " << "31 Aug 2021";
}

// The weekly summary's day groups and the call dates read in the order of
// the date in the report's heading.
void ReportRowsTest::datesFollowTheLocalesOrder()
{
    QFETCH(QString, locale);
    QFETCH(QString, form);
    QFETCH(QString, heading);
    if (QLocale::system().name() != locale) {
        // The system's locale is read once per program: run this case again under it.
        QProcess again;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("CORVANTA_TEST_LOCALE"), locale + QStringLiteral(".UTF-8"));
        again.setProcessEnvironment(environment);
        again.setProcessChannelMode(QProcess::ForwardedChannels);
        again.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("datesFollowTheLocalesOrder:") + QString::fromLatin1(QTest::currentDataTag())});
        QVERIFY(again.waitForFinished(120000));
        QCOMPARE(again.exitStatus(), QProcess::NormalExit);
        QCOMPARE(again.exitCode(), 0);
        return;
    }
    const QDate day = QDate::currentDate();
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}});
    TestData::addCall(db, ann, today(-1), QStringLiteral("10:00:00"), QStringLiteral("yesterday"));
    TestData::addCall(db, ann, today(0), QStringLiteral("11:00:00"), QStringLiteral("today"));

    const Layout weekly = build(3);
    QCOMPARE(weekly.textsOf(0, QStringLiteral("Text2"), SectionKind::GroupHeader),
             QStringList({day.addDays(-1).toString(form), day.toString(form)}));
    const Layout history = build(2);
    QCOMPARE(history.textsOf(0, QStringLiteral("Text2"), SectionKind::Detail),
             QStringList({day.addDays(-1).toString(form), day.toString(form)}));
    // The heading's date of printing reads the same way.
    QCOMPARE(weekly.textsOf(0, QStringLiteral("Label1"), SectionKind::ReportHeader), QStringList{heading});
}

void ReportRowsTest::listingOrderFollowsTheLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("en_US") << "en_US";
    QTest::newRow("de_DE") << "de_DE";
}

void ReportRowsTest::listingOrderFollowsTheLocale()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    const qint64 friends = TestData::addType(db, QStringLiteral("friend"));
    const qint64 supplier = TestData::addType(db, QStringLiteral("Supplier"));
    const qint64 doctors = TestData::addType(db, QStringLiteral("Ärzte"));
    TestData::addContact(db, {{"FirstName", "Zed"}, {"LastName", "Zulu"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Mary"}, {"LastName", "mcDonald"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Émile"}, {"LastName", "Étienne"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Adam"}, {"LastName", "Abbott"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Eve"}, {"LastName", " Evans"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Олег"}, {"LastName", "Орлов"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Fay"}, {"LastName", "Fox"}, {"ContactTypeID", friends}});
    TestData::addContact(db, {{"FirstName", "Sam"}, {"LastName", "Sun"}, {"ContactTypeID", supplier}});
    TestData::addContact(db, {{"FirstName", "Doc"}, {"LastName", "Dunn"}, {"ContactTypeID", doctors}});

    const Layout layout = build(1);
    QCOMPARE(layout.textsOf(0, QStringLiteral("txtContactType"), SectionKind::GroupHeader),
             QStringList({"Ärzte", "Customer", "friend", "Supplier"}));
    QCOMPARE(outline(layout, QStringLiteral("Text1")),
             QStringList({"#Ärzte", "Doc Dunn", "#Customer", "Adam Abbott", "Ann Able", "Émile Étienne",
                          "Eve  Evans", "Mary mcDonald", "Zed Zulu", "Олег Орлов", "#friend", "Fay Fox", "#Supplier",
                          "Sam Sun"}));
}

void ReportRowsTest::callHistoryLettersFoldCaseAndAccents_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("expected");
    const QStringList folded{"#A", "Ann Able", "Ärne Ärger", "#E", "élodie ébert", "Émile Étienne", "eve evans",
                             "#Z", "zoe Zulu", "#", "-"};
    QTest::newRow("en_US") << "en_US" << folded;
    QTest::newRow("de_DE") << "de_DE" << folded;
    // Swedish has Ä as a letter of its own, after Z.
    QTest::newRow("sv_SE") << "sv_SE"
                           << QStringList({"#A", "Ann Able", "#E", "élodie ébert", "Émile Étienne", "eve evans", "#Z",
                                           "zoe Zulu", "#Ä", "Ärne Ärger", "#", "-"});
}

void ReportRowsTest::callHistoryLettersFoldCaseAndAccents()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, expected);
    QLocale::setDefault(QLocale(locale));
    for (const auto &[first, last] : std::initializer_list<std::pair<const char *, const char *>>{
             {"zoe", "Zulu"}, {"Émile", "Étienne"}, {"élodie", "ébert"}, {"eve", "evans"}, {"Ärne", "Ärger"},
             {"Ann", "Able"}, {"Nobody", ""}}) {
        const qint64 id = TestData::addContact(db, {{"FirstName", QString::fromUtf8(first)},
                                                    {"LastName", QString::fromUtf8(last)}});
        TestData::addCall(db, id, QStringLiteral("2021-03-04"), QStringLiteral("10:00:00"), QStringLiteral("x"));
    }
    // The contact without a last name prints in the group without a letter; its name is its first name.
    QStringList names = outline(build(2), QStringLiteral("Text1"));
    QCOMPARE(names.takeLast(), QStringLiteral("Nobody"));
    expected.removeLast();
    QCOMPARE(names, expected);
}

void ReportRowsTest::phoneFormatFillsItsPlaceholders_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ten digits") << "5551234567" << "(555) 123-4567";
    QTest::newRow("five digits") << "12345" << "() 001-2345";
    QTest::newRow("eleven digits") << "15551234567" << "(1555) 123-4567";
    QTest::newRow("leading zero") << "0301234567" << "(030) 123-4567";
    QTest::newRow("seven digits") << "1234567" << "() 123-4567";
    QTest::newRow("eight digits") << "91234567" << "(9) 123-4567";
    QTest::newRow("zero") << "0" << "() 000-0000";
    QTest::newRow("twelve digits") << "004930123456" << "(00493) 012-3456";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("typed with dashes") << "555-123-4567" << "555-123-4567";
    QTest::newRow("leading blank") << " 5551234567" << " 5551234567";
    QTest::newRow("trailing TAB") << "5551234567\t" << "5551234567\t";
    QTest::newRow("plus sign") << "+15551234567" << "+15551234567";
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٥٥٥١٢٣٤٥٦٧") << QString::fromUtf8("٥٥٥١٢٣٤٥٦٧");
    QTest::newRow("letters") << "call Ann" << "call Ann";
}

void ReportRowsTest::phoneFormatFillsItsPlaceholders()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(phoneDisplayText(stored), shown);
    // The reports print the same, through the same function.
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type},
                              {"WorkPhone", stored}, {"FaxNumber", stored}});
    const Layout layout = build(1);
    const QStringList expected = shown.isEmpty() ? QStringList() : QStringList{shown};
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text4"), SectionKind::Detail), expected);
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text6"), SectionKind::Detail), expected);
}

void ReportRowsTest::captionsSortAsTheLocaleReads_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("en_US") << "en_US" << QStringList({"apple", "Apricot", "Ärzte", "banana", "Business", "Zulu"});
    QTest::newRow("de_DE") << "de_DE" << QStringList({"apple", "Apricot", "Ärzte", "banana", "Business", "Zulu"});
    QTest::newRow("sv_SE") << "sv_SE" << QStringList({"apple", "Apricot", "banana", "Business", "Zulu", "Ärzte"});
}

void ReportRowsTest::captionsSortAsTheLocaleReads()
{
    QFETCH(QString, locale);
    QFETCH(QStringList, expected);
    QLocale::setDefault(QLocale(locale));
    QStringList captions{"Apricot", "Business", "Zulu", "apple", "banana", "Ärzte"};
    sortCaptions(captions);
    QCOMPARE(captions, expected);
    QCOMPARE(collatedOrder({"b", "a", "B", "a"}), QList<int>({1, 3, 0, 2}));
    QCOMPARE(groupLetter(QStringLiteral("  élodie"), userCollator()), QStringLiteral("E"));
    QCOMPARE(groupLetter(QString(), userCollator()), QString());
    QCOMPARE(groupLetter(QStringLiteral("e\u0301bert"), userCollator()), QStringLiteral("E"));
    QCOMPARE(groupLetter(QStringLiteral("орлов"), userCollator()), QStringLiteral("О"));
}

// The rows' texts survive being put in another order, whether the new file is
// gathered in one pass or in many, and read back in order or backwards.
void ReportRowsTest::rowTextsReadBackInTheirNewOrder()
{
    const auto textOf = [](int row, int column) {
        return column == 1 && row % 7 == 0 ? QString() : QStringLiteral("r%1c%2").arg(row).arg(column).repeated(row % 5 + 1);
    };
    const int rows = 2000;
    std::vector<int> order(rows);
    for (int i = 0; i < rows; ++i)
        order[size_t(i)] = int((qint64(i) * 769) % rows); // a permutation: 769 is prime to 2000
    for (const qint64 bytesPerPass : {qint64(1) << 30, qint64(1000), qint64(1)}) {
        report::DetailTexts texts;
        QString why;
        QVERIFY2(texts.open(3, &why), qPrintable(why));
        for (int row = 0; row < rows; ++row) {
            const QString row3[3] = {textOf(row, 0), textOf(row, 1), QString::number(row) + QStringLiteral("\tü")};
            texts.append(row3);
        }
        QVERIFY2(texts.finish(&why), qPrintable(why));
        QVERIFY2(texts.reorder(order, &why, bytesPerPass), qPrintable(why));
        QCOMPARE(texts.rowCount(), qsizetype(rows));
        report::DetailTexts::Buffer buffer;
        for (int i = rows - 1; i >= 0; i -= (i % 3 == 0 ? 1 : 2)) {
            const int was = order[size_t(i)];
            const QString *row = texts.row(i, buffer);
            QCOMPARE(row[0], textOf(was, 0));
            QCOMPARE(row[1], textOf(was, 1));
            QCOMPARE(row[2], QString::number(was) + QStringLiteral("\tü"));
        }
        for (int i = 0; i < rows; ++i)
            QCOMPARE(texts.row(i)[0], textOf(order[size_t(i)], 0));
        QVERIFY(texts.row(rows)[0].isEmpty());
    }
}

int main(int argc, char **argv)
{
    // en_US unless a test runs this program again under another locale.
    const QByteArray locale = qEnvironmentVariableIsSet("CORVANTA_TEST_LOCALE") ? qgetenv("CORVANTA_TEST_LOCALE")
                                                                                : QByteArray("en_US.UTF-8");
    qputenv("LC_ALL", locale);
    qputenv("TZ", "UTC");
    QTemporaryDir home;
    qputenv("CUPS_SERVER", QFile::encodeName(home.filePath(QStringLiteral("no-scheduler.sock"))));
    qputenv("CUPS_SERVERROOT", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    ReportRowsTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_report_rows.moc"
