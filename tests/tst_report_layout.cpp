#include "support/TestSupport.h"

#include "reports/ReportRenderer.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "store/ReportStore.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>

#include <string_view>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QApplication>
#include <QCursor>
#include <QPdfWriter>
#include <QtTest>

using namespace report;

namespace {

const QDateTime kPrinted(QDate(2021, 8, 31), QTime(21, 5));

QString today(int offsetDays = 0)
{
    return QDate::currentDate().addDays(offsetDays).toString(Qt::ISODate);
}

Layout build(int reportNumber)
{
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        qFatal("%s", qPrintable(connection.error().description));
    ReportStore store(**connection);
    Result<Layout> layout = buildReport(reportNumber, store, QPageSize(QPageSize::Letter), kPrinted);
    if (!layout)
        qFatal("%s", qPrintable(layout.error().description));
    return std::move(layout).value();
}

// Group headings (marked with '#') and the first detail column, top to bottom.
QStringList outline(const Layout &layout, int page, const QString &groupControl, const QString &detailControl)
{
    std::vector<const Item *> items = layout.itemsOf(page, groupControl, SectionKind::GroupHeader);
    for (const Item *item : layout.itemsOf(page, detailControl, SectionKind::Detail))
        items.push_back(item);
    std::stable_sort(items.begin(), items.end(), [](const Item *a, const Item *b) { return a->y < b->y; });
    QStringList result;
    for (const Item *item : items)
        result << (item->control->kind == ControlKind::TextBox && item->control->name == groupControl
                       ? QLatin1Char('#') + item->text.trimmed()
                       : item->text);
    return result;
}

// The text a detail control prints on the line at the given height, or null.
const Item *detailAt(const Layout &layout, int page, const QString &control, int y)
{
    for (const Item *item : layout.itemsOf(page, control, SectionKind::Detail)) {
        if (item->y == y)
            return item;
    }
    return nullptr;
}

struct PdfInfo {
    int pages = 0;
    QList<QSizeF> mediaBoxes;
};

PdfInfo readPdf(const QString &path)
{
    QFile file(path);
    PdfInfo info;
    if (!file.open(QIODevice::ReadOnly))
        return info;
    const QString text = QString::fromLatin1(file.readAll());
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?![s\\w])"));
    static const QRegularExpression box(
        QStringLiteral("/MediaBox\\s*\\[\\s*([\\d.]+)\\s+([\\d.]+)\\s+([\\d.]+)\\s+([\\d.]+)\\s*\\]"));
    for (auto it = page.globalMatch(text); it.hasNext(); it.next())
        ++info.pages;
    for (auto it = box.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        info.mediaBoxes << QSizeF(m.captured(3).toDouble() - m.captured(1).toDouble(),
                                  m.captured(4).toDouble() - m.captured(2).toDouble());
    }
    return info;
}

} // namespace

class ReportLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void listingGroupsContactsUnderTheirType();
    void nullPrintsNothingAndPhonesAreFormatted();
    void callHistoryFormatsAndGrowsLongText();
    void weeklySummaryGroupsTheLastSevenDays();
    void headerAndFooterOfAOnePageReport();
    void pageBreaksRepeatThePageHeader();
    void groupHeaderStaysWithItsFirstLine();
    void pageLayoutOfEachReport_data();
    void pageLayoutOfEachReport();
    void paintedPageMatchesTheLayout();
    void pdfPagesAndOrientation_data();
    void pdfPagesAndOrientation();
    void pagesPaintedOneByOneUnderTheHourglass();
    void pdfTextKeepsItsCharactersInReadingOrder();
    void brokenQueryFails();

private:
    IsolatedEnvironment env;
    QSqlDatabase db;
};

void ReportLayoutTest::init()
{
    env.reset();
    db = TestData::openLive();
}

void ReportLayoutTest::cleanup()
{
    TestData::close(db);
}

// Contacts without a type follow the named types under an empty heading.
void ReportLayoutTest::listingGroupsContactsUnderTheirType()
{
    const qint64 supplier = TestData::addType(db, QStringLiteral("Supplier"));
    const qint64 customer = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addType(db, QStringLiteral("Friend")); // no contacts: no group
    TestData::addContact(db, {{"FirstName", "Zed"}, {"LastName", "Young"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "Carl"}, {"LastName", "Cole"}, {"ContactTypeID", supplier}});
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", customer}});
    TestData::addContact(db, {{"FirstName", "No"}, {"LastName", "Type"}});

    const Layout layout = build(1);
    QCOMPARE(layout.pageCount(), 1);
    QCOMPARE(outline(layout, 0, QStringLiteral("txtContactType"), QStringLiteral("Text1")),
             QStringList({"#Customer", "Ann Able", "Zed Young", "#Supplier", "Carl Cole", "#", "No Type"}));

    // Detail lines follow each other at the detail height, below the group header.
    const auto names = layout.itemsOf(0, QStringLiteral("Text1"), SectionKind::Detail);
    const auto groups = layout.itemsOf(0, QStringLiteral("txtContactType"), SectionKind::GroupHeader);
    QCOMPARE(names.size(), size_t(4));
    QCOMPARE(names[1]->y - names[0]->y, 285);
    QCOMPARE(names[0]->y, groups[0]->y - 15 + 330);
    QCOMPARE(names[0]->x, 900);
    QCOMPARE(groups[0]->x, 75);
}

void ReportLayoutTest::nullPrintsNothingAndPhonesAreFormatted()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type},
                              {"WorkPhone", "5551234567"}, {"FaxNumber", "12345"}, {"WorkExtension", "12"}});
    TestData::addContact(db, {{"FirstName", "Bea"}, {"LastName", "Burr"}, {"ContactTypeID", type},
                              {"CompanyName", "Acme"}, {"Title", "Buyer"}});

    const Layout layout = build(1);
    const auto names = layout.itemsOf(0, QStringLiteral("Text1"), SectionKind::Detail);
    QCOMPARE(names.size(), size_t(2));
    const int ann = names[0]->y;
    const int bea = names[1]->y;
    QVERIFY(!detailAt(layout, 0, QStringLiteral("Text2"), ann));
    QVERIFY(!detailAt(layout, 0, QStringLiteral("Text3"), ann));
    QCOMPARE(detailAt(layout, 0, QStringLiteral("Text4"), ann)->text, QStringLiteral("(555) 123-4567"));
    QCOMPARE(detailAt(layout, 0, QStringLiteral("Text5"), ann)->text, QStringLiteral("12"));
    QCOMPARE(detailAt(layout, 0, QStringLiteral("Text6"), ann)->text, QStringLiteral("() 001-2345"));
    QCOMPARE(detailAt(layout, 0, QStringLiteral("Text2"), bea)->text, QStringLiteral("Acme"));
    QCOMPARE(detailAt(layout, 0, QStringLiteral("Text3"), bea)->text, QStringLiteral("Buyer"));
    QVERIFY(!detailAt(layout, 0, QStringLiteral("Text4"), bea));
    QVERIFY(!detailAt(layout, 0, QStringLiteral("Text6"), bea));
    QCOMPARE(formatValue(QVariant(QMetaType::fromType<QString>()), Format::Phone), QString());
}

void ReportLayoutTest::callHistoryFormatsAndGrowsLongText()
{
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    const qint64 amy = TestData::addContact(db, {{"FirstName", "Amy"}, {"LastName", "adams"}});
    const QString longNote = QStringLiteral("A long note about the order that was discussed at length. ").repeated(6);
    TestData::addCall(db, bob, QStringLiteral("2021-08-31"), QStringLiteral("21:05:00"), QStringLiteral("First"));
    TestData::addCall(db, bob, QStringLiteral("2021-09-01"), QStringLiteral("09:30:00"), QStringLiteral("Second"),
                      longNote);
    TestData::addCall(db, bob, QStringLiteral("2021-09-02"), QStringLiteral("00:15:00"), QStringLiteral("Third"));
    TestData::addCall(db, amy, QStringLiteral("2021-07-04"), QStringLiteral("12:00:00"), QVariant().toString());

    const Layout layout = build(2);
    QCOMPARE(layout.pageCount(), 1);
    QCOMPARE(outline(layout, 0, QStringLiteral("txtFirstLetter"), QStringLiteral("Text4")),
             QStringList({"#A", "#B", "First", "Second", "Third"}));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text2"), SectionKind::Detail),
             QStringList({"07/04/2021 ", "08/31/2021 ", "09/01/2021 ", "09/02/2021 "}));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text3"), SectionKind::Detail),
             QStringList({"12:00 PM", "9:05 PM", "9:30 AM", "12:15 AM"}));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text1"), SectionKind::Detail),
             QStringList({"Amy adams", "Bob Baker", "Bob Baker", "Bob Baker"}));

    const auto subjects = layout.itemsOf(0, QStringLiteral("Text4"), SectionKind::Detail);
    const auto notes = layout.itemsOf(0, QStringLiteral("Text5"), SectionKind::Detail);
    QCOMPARE(notes.size(), size_t(1));
    const Item *grown = notes[0];
    QCOMPARE(grown->y, subjects[1]->y);
    QVERIFY(grown->wrap);
    QVERIFY2(grown->height >= 3 * 200, qPrintable(QString::number(grown->height)));
    // The lines around it: one ordinary height before, the grown height after.
    QCOMPARE(subjects[1]->y - subjects[0]->y, 285);
    QCOMPARE(subjects[2]->y - subjects[1]->y, grown->height);
    QVERIFY(!subjects[0]->wrap);
    QCOMPARE(subjects[0]->height, 285);
}

void ReportLayoutTest::weeklySummaryGroupsTheLastSevenDays()
{
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"},
                                                 {"WorkPhone", "5551234567"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    TestData::addCall(db, ann, today(0), QStringLiteral("10:00:00"), QStringLiteral("today ann"));
    TestData::addCall(db, bob, today(-6), QStringLiteral("08:00:00"), QStringLiteral("six days ago"));
    TestData::addCall(db, bob, today(0), QStringLiteral("09:00:00"), QStringLiteral("today bob"));
    TestData::addCall(db, ann, today(-7), QStringLiteral("08:00:00"), QStringLiteral("too old"));
    TestData::addCall(db, ann, today(1), QStringLiteral("08:00:00"), QStringLiteral("tomorrow"));
    const QString longSubject = QStringLiteral("A subject much longer than its column can hold on one line");
    TestData::addCall(db, ann, today(-3), QStringLiteral("13:00:00"), longSubject);

    const Layout layout = build(3);
    const auto heading = [](int offset) {
        return QLatin1Char('#') + QDate::currentDate().addDays(offset).toString(QStringLiteral("MM/dd/yyyy"));
    };
    QCOMPARE(outline(layout, 0, QStringLiteral("Text2"), QStringLiteral("Text4")),
             QStringList({heading(-6), "six days ago", heading(-3), longSubject, heading(0), "today bob",
                          "today ann"}));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text3"), SectionKind::Detail),
             QStringList({"8:00 AM", "1:00 PM", "9:00 AM", "10:00 AM"}));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Text5"), SectionKind::Detail),
             QStringList({"(555) 123-4567", "(555) 123-4567"}));
    const auto subjects = layout.itemsOf(0, QStringLiteral("Text4"), SectionKind::Detail);
    QVERIFY(subjects[1]->wrap);
    QVERIFY(subjects[1]->height > 285);
    // The group header after the grown line starts below it.
    const auto groups = layout.itemsOf(0, QStringLiteral("Text2"), SectionKind::GroupHeader);
    QCOMPARE(groups[2]->y, subjects[1]->y + subjects[1]->height);
}

void ReportLayoutTest::headerAndFooterOfAOnePageReport()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type}});
    const Layout layout = build(1);
    QCOMPARE(layout.pageCount(), 1);
    QCOMPARE(layout.textsOf(0, QStringLiteral("Label3"), SectionKind::ReportHeader),
             QStringList{"Alphabetical Contact Listing"});
    QCOMPARE(layout.textsOf(0, QStringLiteral("Label1"), SectionKind::ReportHeader), QStringList{"8/31/2021"});
    const QString time = layout.textsOf(0, QStringLiteral("Label2"), SectionKind::ReportHeader).value(0);
    QVERIFY2(time.startsWith(QLatin1String("9:05")) && time.endsWith(QLatin1String("PM")), qPrintable(time));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Label10"), SectionKind::PageFooter), QStringList{"Page 1 of 1"});
    QCOMPARE(layout.itemsOf(0, QStringLiteral("Shape1"), SectionKind::ReportHeader).size(), size_t(1));
    QCOMPARE(layout.textsOf(0, QStringLiteral("Label4"), SectionKind::PageHeader), QStringList{"Contact Name"});

    // The page header follows the report header; the footer sits at the foot of the page.
    const Item *heading = layout.itemsOf(0, QStringLiteral("Label4"), SectionKind::PageHeader).front();
    QCOMPARE(heading->y, 1380 + 30);
    const Item *footer = layout.itemsOf(0, QStringLiteral("Label10"), SectionKind::PageFooter).front();
    const int bodyHeight = int(layout.pageLayout.paintRect(QPageLayout::Point).height() * 20);
    QCOMPARE(footer->y, bodyHeight - 435 + 165);
}

void ReportLayoutTest::pageBreaksRepeatThePageHeader()
{
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    const QDate first(2021, 1, 1);
    for (int i = 0; i < 100; ++i) {
        TestData::addCall(db, bob, first.addDays(i).toString(Qt::ISODate), QStringLiteral("10:00:00"),
                          QStringLiteral("Call %1").arg(i + 1));
    }
    const Layout layout = build(2);
    QCOMPARE(layout.pageCount(), 3);
    QStringList all;
    const int bodyHeight = int(layout.pageLayout.paintRect(QPageLayout::Point).height() * 20);
    for (int page = 0; page < 3; ++page) {
        QCOMPARE(layout.textsOf(page, QStringLiteral("Label4"), SectionKind::PageHeader), QStringList{"Call Date"});
        QCOMPARE(layout.textsOf(page, QStringLiteral("Label7"), SectionKind::PageHeader), QStringList{"Notes"});
        QCOMPARE(layout.textsOf(page, QStringLiteral("Label10"), SectionKind::PageFooter),
                 QStringList{QStringLiteral("Page %1 of 3").arg(page + 1)});
        QCOMPARE(layout.itemsOf(page, QStringLiteral("Label3"), SectionKind::ReportHeader).size(),
                 size_t(page == 0 ? 1 : 0));
        const auto lines = layout.itemsOf(page, QStringLiteral("Text4"), SectionKind::Detail);
        QVERIFY(!lines.empty());
        QVERIFY(lines.back()->y + 285 <= bodyHeight - 435);
        if (page > 0)
            QCOMPARE(lines.front()->y, 330); // right under the repeated page header
        all << layout.textsOf(page, QStringLiteral("Text4"), SectionKind::Detail);
    }
    QCOMPARE(layout.textsOf(1, QStringLiteral("Label10"), SectionKind::PageFooter), QStringList{"Page 2 of 3"});
    QCOMPARE(all.size(), 100);
    for (int i = 0; i < 100; ++i)
        QCOMPARE(all[i], QStringLiteral("Call %1").arg(i + 1));
}

void ReportLayoutTest::groupHeaderStaysWithItsFirstLine()
{
    // Fill the first page so that exactly the room for one group header is left.
    const qint64 ann = TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}});
    const qint64 bob = TestData::addContact(db, {{"FirstName", "Bob"}, {"LastName", "Baker"}});
    const Layout empty = build(2);
    const int bodyHeight = int(empty.pageLayout.paintRect(QPageLayout::Point).height() * 20);
    const int room = bodyHeight - 435 - 1380 - 330 - 270;
    const int rows = (room - 270) / 285;
    for (int i = 0; i < rows; ++i)
        TestData::addCall(db, ann, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("a"));
    TestData::addCall(db, bob, QStringLiteral("2021-01-01"), QStringLiteral("10:00:00"), QStringLiteral("b"));
    QVERIFY(room - rows * 285 >= 270); // the "B" header alone would still fit
    QVERIFY(room - rows * 285 < 270 + 285); // but not with its line

    const Layout layout = build(2);
    QCOMPARE(layout.pageCount(), 2);
    QCOMPARE(layout.textsOf(0, QStringLiteral("txtFirstLetter"), SectionKind::GroupHeader), QStringList{"A"});
    QCOMPARE(outline(layout, 1, QStringLiteral("txtFirstLetter"), QStringLiteral("Text4")),
             QStringList({"#B", "b"}));
}

void ReportLayoutTest::pageLayoutOfEachReport_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("title");
    QTest::newRow("listing") << 1 << int(QPageLayout::Landscape) << "Alphabetical Contact Listing";
    QTest::newRow("history") << 2 << int(QPageLayout::Portrait) << "Call History";
    QTest::newRow("weekly") << 3 << int(QPageLayout::Landscape) << "Weekly Call Summary";
}

void ReportLayoutTest::pageLayoutOfEachReport()
{
    QFETCH(int, number);
    QFETCH(int, orientation);
    QFETCH(QString, title);
    const Layout layout = build(number);
    QCOMPARE(layout.definition->title, title);
    QCOMPARE(int(layout.pageLayout.orientation()), orientation);
    QCOMPARE(layout.pageLayout.pageSize().id(), QPageSize::Letter);
    QCOMPARE(layout.pageLayout.margins(QPageLayout::Point), QMarginsF(45, 72, 30, 72));
    // The report's width fits between the margins.
    QVERIFY(layout.pageLayout.paintRect(QPageLayout::Point).width() * 20 >= layout.definition->width);
    QCOMPARE(layout.pageCount(), 1); // an empty report still has its headers and "Page 1 of 1"
    QCOMPARE(layout.textsOf(0, QStringLiteral("Label10"), SectionKind::PageFooter), QStringList{"Page 1 of 1"});
    QVERIFY(!build(4).definition);
}

void ReportLayoutTest::paintedPageMatchesTheLayout()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    TestData::addContact(db, {{"FirstName", "Ann"}, {"LastName", "Able"}, {"ContactTypeID", type}});
    const Layout layout = build(1);
    const double dpi = 144; // 10 twips to the pixel
    const QSizeF area = layout.pageLayout.paintRect(QPageLayout::Inch).size() * dpi;
    QImage image(area.toSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    paintPage(painter, layout, 0, dpi);
    painter.end();

    // The extent of the ink inside a box given in twips.
    const auto ink = [&image](int x, int y, int width, int height, auto isInk) {
        QRect found;
        for (int py = y / 10; py < (y + height) / 10 && py < image.height(); ++py) {
            for (int px = x / 10; px < (x + width) / 10 && px < image.width(); ++px) {
                if (isInk(QColor(image.pixel(px, py))))
                    found |= QRect(px, py, 1, 1);
            }
        }
        return found;
    };
    const auto dark = [](const QColor &c) { return c.lightness() < 128; };
    const auto navy = [](const QColor &c) { return c.blue() > 60 && c.red() < 60 && c.green() < 60; };

    // The grey bar across the report.
    const QRect bar = ink(0, 0, 14000, 400, [](const QColor &c) { return c == QColor(224, 224, 224); });
    QVERIFY(bar.left() <= 1); // inside its white outline
    QVERIFY(qAbs(bar.right() - 1300) <= 1);
    QVERIFY(qAbs(bar.top() - 8) <= 1 && qAbs(bar.bottom() - 28) <= 1);

    // The title in black in its box; date and page number right-aligned in navy.
    const QRect title = ink(675, 390, 6105, 555, dark);
    QVERIFY(title.isValid());
    QVERIFY(title.left() < 675 / 10 + 5);
    const QRect date = ink(10080, 405, 2940, 240, navy);
    QVERIFY(date.isValid());
    QVERIFY2(qAbs(date.right() - (10080 + 2940) / 10) <= 3, qPrintable(QString::number(date.right())));
    const Item *footer = layout.itemsOf(0, QStringLiteral("Label10"), SectionKind::PageFooter).front();
    const QRect page = ink(footer->x, footer->y, footer->width, footer->height, navy);
    QVERIFY(page.isValid());
    QVERIFY2(qAbs(page.right() - (footer->x + footer->width) / 10) <= 3, qPrintable(QString::number(page.right())));
    QVERIFY(page.left() > footer->x / 10 + 100); // "Page 1 of 1" is far narrower than its box

    // The detail line in black at its column.
    const Item *name = layout.itemsOf(0, QStringLiteral("Text1"), SectionKind::Detail).front();
    const QRect nameInk = ink(name->x, name->y, name->width, name->height, dark);
    QVERIFY(nameInk.isValid());
    QVERIFY(qAbs(nameInk.left() - 90) <= 2);
}

void ReportLayoutTest::pdfPagesAndOrientation_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("landscape");
    QTest::newRow("listing") << 1 << true;
    QTest::newRow("history") << 2 << false;
    QTest::newRow("weekly") << 3 << true;
}

void ReportLayoutTest::pdfPagesAndOrientation()
{
    QFETCH(int, number);
    QFETCH(bool, landscape);
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    for (int i = 0; i < 60; ++i) {
        const qint64 id = TestData::addContact(db, {{"FirstName", QStringLiteral("First%1").arg(i)},
                                                    {"LastName", QStringLiteral("Last%1").arg(i, 2, 10, QLatin1Char('0'))},
                                                    {"ContactTypeID", type}});
        TestData::addCall(db, id, today(-(i % 7)), QStringLiteral("10:00:00"), QStringLiteral("Subject"));
    }
    const Layout layout = build(number);
    QVERIFY(layout.pageCount() >= 2);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    const Status written = writeReportPdf(number, path);
    QVERIFY2(written, qPrintable(written ? QString() : written.error().description));
    const PdfInfo pdf = readPdf(path);
    QCOMPARE(pdf.pages, layout.pageCount());
    QVERIFY(!pdf.mediaBoxes.isEmpty());
    for (const QSizeF &box : pdf.mediaBoxes) {
        QCOMPARE(box.width() > box.height(), landscape);
        QCOMPARE(qRound(qMax(box.width(), box.height())), 792); // Letter, 11 inches
    }
}

namespace {
// The contents of every Flate stream of a PDF file.
QList<QByteArray> pdfStreams(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray pdf = file.readAll();
    QList<QByteArray> streams;
    static const QRegularExpression start(QStringLiteral("/FlateDecode[^>]*>>\\s*stream\\r?\\n"));
    for (QRegularExpressionMatchIterator it = start.globalMatch(QString::fromLatin1(pdf)); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const qsizetype from = match.capturedEnd();
        const qsizetype to = pdf.indexOf("endstream", from);
        QByteArray zlib("\x01\x00\x00\x00", 4); // qUncompress's size hint (16 MB), then the zlib stream
        streams << qUncompress(zlib + pdf.mid(from, to - from));
    }
    return streams;
}
} // namespace

// The report's own PDF shows each text with embedded glyphs and tells a
// reader its characters: right-to-left names in reading order (their glyphs
// stand in visual order), every other text through the fonts' maps.
void ReportLayoutTest::pdfTextKeepsItsCharactersInReadingOrder()
{
    // Hebrew letters have no contextual forms: each glyph maps to one character.
    const QString hebrew = QString::fromUtf8("דוד לוי");
    TestData::addContact(db, {{"FirstName", QStringLiteral("Ann")}, {"LastName", QStringLiteral("Able")}});
    const qint64 id = TestData::addContact(db, {{"FirstName", hebrew.section(u' ', 0, 0)}, {"LastName", hebrew.section(u' ', 1)}});
    TestData::addCall(db, id, today(0), QStringLiteral("10:00:00"), QStringLiteral("Ünïcødé"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.pdf"));
    QVERIFY(writeReportPdf(2, path));
    const QList<QByteArray> streams = pdfStreams(path);
    QVERIFY(!streams.isEmpty());
    QByteArray actualTexts;
    QByteArray maps;
    for (const QByteArray &stream : streams) {
        for (qsizetype at = stream.indexOf("/ActualText "); at >= 0; at = stream.indexOf("/ActualText ", at + 1))
            actualTexts += stream.mid(at, stream.indexOf('>', at) - at + 1) + '\n';
        if (stream.contains("beginbfchar"))
            maps += stream;
    }
    QByteArray logical("<FEFF");
    for (const QChar c : hebrew)
        logical += QByteArray::number(c.unicode(), 16).toUpper().rightJustified(4, '0');
    QVERIFY2(actualTexts.contains("/ActualText " + logical + '>'), actualTexts.constData());
    QVERIFY2(!actualTexts.contains("/ActualText <FEFF0041006E006E"), actualTexts.constData()); // "Ann" needs none
    // Left-to-right text is read through the character maps of the embedded subsets.
    for (const char16_t c : std::u16string_view(u"AnÜïøé"))
        QVERIFY2(maps.contains("> <" + QByteArray::number(int(c), 16).toUpper().rightJustified(4, '0') + ">\n"),
                 qPrintable(QString(QChar(c))));
}

namespace {
// A PDF writer that notes the pointer shown whenever a new sheet starts.
class WatchedPdfWriter : public QPdfWriter {
public:
    using QPdfWriter::QPdfWriter;
    bool newPage() override
    {
        const QCursor *pointer = QGuiApplication::overrideCursor();
        shapes << (pointer ? int(pointer->shape()) : -1);
        return QPdfWriter::newPage();
    }
    QList<int> shapes;
};
} // namespace

// Every page is laid out again when painted, with the same page breaks and
// texts as the whole layout; the hourglass shows while it is done.
void ReportLayoutTest::pagesPaintedOneByOneUnderTheHourglass()
{
    const qint64 type = TestData::addType(db, QStringLiteral("Customer"));
    for (int i = 0; i < 80; ++i) {
        const qint64 id = TestData::addContact(db, {{"FirstName", QStringLiteral("First%1").arg(i)},
                                                    {"LastName", QStringLiteral("Last%1").arg(i, 2, 10, QLatin1Char('0'))},
                                                    {"ContactTypeID", type}});
        TestData::addCall(db, id, today(-(i % 3)), QStringLiteral("10:00:00"),
                          i % 7 == 0 ? QStringLiteral("A subject long enough to need a second line in its column")
                                     : QStringLiteral("Short"),
                          i % 5 == 0 ? QStringLiteral("Note\nwith\nfour lines") : QString());
    }
    const Layout layout = build(2);
    QVERIFY(layout.pageCount() >= 3);
    // Page by page, in order, each as in the whole layout.
    const std::vector<Page> &all = layout.allPages();
    QCOMPARE(int(all.size()), layout.pageCount());
    QList<int> seen;
    layout.forEachPage({}, [&](int index, const Page &page) {
        seen << index;
        QCOMPARE(page.items.size(), all[size_t(index)].items.size());
        QCOMPARE(page.items.back().text, all[size_t(index)].items.back().text);
    });
    QCOMPARE(seen.size(), layout.pageCount());
    QCOMPARE(seen.last(), layout.pageCount() - 1);
    QList<int> some;
    layout.forEachPage([](int page) { return page == 1; }, [&](int index, const Page &) { some << index; });
    QCOMPARE(some, QList<int>{1});

    QTemporaryDir dir;
    WatchedPdfWriter writer(dir.filePath(QStringLiteral("watched.pdf")));
    writer.setPageLayout(layout.pageLayout);
    QVERIFY(paintLayout(layout, writer));
    QCOMPARE(writer.shapes.size(), layout.pageCount() - 1);
    for (const int shape : std::as_const(writer.shapes))
        QCOMPARE(shape, int(Qt::WaitCursor));
    QVERIFY(!QGuiApplication::overrideCursor());
}

void ReportLayoutTest::brokenQueryFails()
{
    QSqlQuery drop(db);
    QVERIFY(drop.exec(QStringLiteral("DROP VIEW qryRep2B")));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    QVERIFY(connection);
    ReportStore store(**connection);
    const Result<Layout> layout = buildReport(2, store, QPageSize(), kPrinted);
    QVERIFY(!layout);
    QVERIFY2(layout.error().description.contains(QLatin1String("no such table: qryRep2B")),
             qPrintable(layout.error().description));
    QTemporaryDir dir;
    const Status written = writeReportPdf(2, dir.filePath(QStringLiteral("x.pdf")));
    QVERIFY(!written);
    QVERIFY2(written.error().description.contains(QLatin1String("qryRep2B")), qPrintable(written.error().description));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.pdf"))));
}

int main(int argc, char **argv)
{
    // English dates and Letter paper whatever the machine's locale, and no
    // printer of the machine deciding the paper.
    qputenv("LC_ALL", "en_US.UTF-8");
    qputenv("TZ", "UTC");
    QTemporaryDir home;
    qputenv("CUPS_SERVER", QFile::encodeName(home.filePath(QStringLiteral("no-scheduler.sock"))));
    qputenv("CUPS_SERVERROOT", QFile::encodeName(home.path()));
    qputenv("HOME", QFile::encodeName(home.path()));
    unsetenv("PRINTER");
    unsetenv("LPDEST");
    QApplication app(argc, argv);
    ReportLayoutTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_report_layout.moc"
