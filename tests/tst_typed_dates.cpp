#include "frame/Clock.h"
#include "frame/TypedDates.h"

#include <QtTest>

// How typed dates and times are read, under the locales users have.
class TypedDatesTest : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        Clock::setSource([] { return QDateTime(QDate(2026, 3, 14), QTime(13, 5, 42)); });
    }
    void cleanup() { Clock::setSource({}); }

    void dates_data();
    void dates();
    void times_data();
    void times();
    void examplesAreAcceptedAndRoundTrip_data();
    void examplesAreAcceptedAndRoundTrip();
    void twoDigitYearsFollowTheClock();
};

void TypedDatesTest::dates_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("read"); // invalid: refused

    const QDate newYearsEve(2024, 12, 31);
    const QDate none;
    // The locale's short form, month first in en_US, day first elsewhere.
    QTest::newRow("en_US short") << "en_US" << "12/31/2024" << newYearsEve;
    QTest::newRow("en_US no leading zeros") << "en_US" << "2/3/2024" << QDate(2024, 2, 3);
    QTest::newRow("en_US day first is refused") << "en_US" << "31/12/2024" << none;
    QTest::newRow("en_GB short") << "en_GB" << "31/12/2024" << newYearsEve;
    QTest::newRow("en_GB dots") << "en_GB" << "31.12.2024" << newYearsEve;
    QTest::newRow("en_GB month first is a different date") << "en_GB" << "12/11/2024" << QDate(2024, 11, 12);
    QTest::newRow("de_DE short") << "de_DE" << "31.12.2024" << newYearsEve;
    QTest::newRow("de_DE slashes") << "de_DE" << "31/12/2024" << newYearsEve;
    QTest::newRow("de_DE blanks around") << "de_DE" << "  1.2.2024 " << QDate(2024, 2, 1);
    QTest::newRow("C numeric") << "C" << "31/12/2024" << newYearsEve;
    QTest::newRow("C month name") << "C" << "31 Dec 2024" << newYearsEve;
    QTest::newRow("en_US long form") << "en_US" << "Tuesday, December 31, 2024" << newYearsEve;
    QTest::newRow("de_DE month name") << "de_DE" << "31. Dezember 2024" << newYearsEve;
    QTest::newRow("de_DE month abbreviation") << "de_DE" << "31. Dez. 2024" << newYearsEve;

    // ISO 8601 everywhere.
    for (const char *locale : {"C", "en_US", "en_GB", "de_DE"}) {
        QTest::addRow("%s ISO", locale) << locale << "2024-12-31" << newYearsEve;
        QTest::addRow("%s ISO impossible", locale) << locale << "2024-02-30" << none;
        QTest::addRow("%s ISO leap day", locale) << locale << "2024-02-29" << QDate(2024, 2, 29);
    }

    // Two-digit years: 80 years back, 20 ahead of 2026.
    QTest::newRow("en_US two-digit recent") << "en_US" << "12/31/24" << newYearsEve;
    QTest::newRow("en_US two-digit last century") << "en_US" << "7/4/76" << QDate(1976, 7, 4);
    QTest::newRow("de_DE two-digit") << "de_DE" << "31.12.24" << newYearsEve;
    QTest::newRow("en_GB window start") << "en_GB" << "01/01/46" << QDate(1946, 1, 1);
    QTest::newRow("en_GB window end") << "en_GB" << "31/12/45" << QDate(2045, 12, 31);
    QTest::newRow("C month name two-digit") << "C" << "31 Dec 24" << newYearsEve;

    // Impossible and unreadable.
    QTest::newRow("en_US Feb 30") << "en_US" << "2/30/2024" << none;
    QTest::newRow("en_US Feb 29 of a common year") << "en_US" << "2/29/2023" << none;
    QTest::newRow("en_GB Feb 30") << "en_GB" << "30/02/2024" << none;
    QTest::newRow("de_DE month 13") << "de_DE" << "01.13.2024" << none;
    QTest::newRow("word") << "en_US" << "tomorrow" << none;
    QTest::newRow("word with date") << "en_GB" << "about 31/12/1975" << none;
    QTest::newRow("empty") << "en_US" << "" << none;
    QTest::newRow("blanks") << "de_DE" << "   " << none;
    QTest::newRow("two fields") << "en_US" << "12/31" << none;
    QTest::newRow("four fields") << "en_US" << "12/31/2024/1" << none;
    QTest::newRow("three-digit year") << "en_US" << "12/31/202" << none;
    QTest::newRow("one-digit year") << "de_DE" << "31.12.4" << none;
    QTest::newRow("three-digit day") << "de_DE" << "031.12.2024" << none;
    QTest::newRow("digits run together") << "en_US" << "12312024" << none;
    QTest::newRow("other sign") << "en_US" << "12+31+2024" << none;
    QTest::newRow("two month names") << "C" << "Dec Jan 2024" << none;
    QTest::newRow("year zero") << "C" << "0000-01-01" << none;
}

void TypedDatesTest::dates()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(QDate, read);
    const std::optional<QDate> date = readTypedDate(typed, QLocale(locale));
    if (!read.isValid()) {
        QVERIFY2(!date, qPrintable(date ? date->toString(Qt::ISODate) : QString()));
        return;
    }
    QVERIFY(date.has_value());
    QCOMPARE(*date, read);
}

void TypedDatesTest::times_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QTime>("read"); // invalid: refused

    const QTime none;
    for (const char *locale : {"C", "en_US", "en_GB", "de_DE"}) {
        QTest::addRow("%s hours and minutes", locale) << locale << "14:30" << QTime(14, 30);
        QTest::addRow("%s with seconds", locale) << locale << "14:30:15" << QTime(14, 30, 15);
        QTest::addRow("%s PM", locale) << locale << "2:30 PM" << QTime(14, 30);
        QTest::addRow("%s pm run together", locale) << locale << "2:30pm" << QTime(14, 30);
        QTest::addRow("%s hour and AM", locale) << locale << "9 am" << QTime(9, 0);
        QTest::addRow("%s midnight", locale) << locale << "12:00 AM" << QTime(0, 0);
        QTest::addRow("%s noon", locale) << locale << "12:05 PM" << QTime(12, 5);
        QTest::addRow("%s early", locale) << locale << "0:05" << QTime(0, 5);
        QTest::addRow("%s 25:61", locale) << locale << "25:61" << none;
        QTest::addRow("%s minute 60", locale) << locale << "10:60" << none;
        QTest::addRow("%s 13 PM", locale) << locale << "13:00 PM" << none;
        QTest::addRow("%s 0 AM", locale) << locale << "0:30 AM" << none;
        QTest::addRow("%s hour alone", locale) << locale << "14" << none;
        QTest::addRow("%s one-digit minutes", locale) << locale << "14:3" << none;
        QTest::addRow("%s word", locale) << locale << "tomorrow" << none;
        QTest::addRow("%s noon word", locale) << locale << "noon" << none;
        QTest::addRow("%s empty", locale) << locale << "" << none;
        QTest::addRow("%s marker on both sides", locale) << locale << "PM 2:30 PM" << none;
        QTest::addRow("%s other marker", locale) << locale << "2:30 XM" << none;
        QTest::addRow("%s four fields", locale) << locale << "1:02:03:04" << none;
    }
    QTest::newRow("en_GB lower-case marker") << "en_GB" << "2:30 pm" << QTime(14, 30);
    QTest::newRow("en_CA dotted marker") << "en_CA" << "2:30 p.m." << QTime(14, 30);
    QTest::newRow("fi_FI own separator") << "fi_FI" << "14.30" << QTime(14, 30);
    QTest::newRow("en_US dot is no separator") << "en_US" << "14.30" << none;
}

void TypedDatesTest::times()
{
    QFETCH(QString, locale);
    QFETCH(QString, typed);
    QFETCH(QTime, read);
    const std::optional<QTime> time = readTypedTime(typed, QLocale(locale));
    if (!read.isValid()) {
        QVERIFY2(!time, qPrintable(time ? time->toString(Qt::ISODate) : QString()));
        return;
    }
    QVERIFY(time.has_value());
    QCOMPARE(*time, read);
}

void TypedDatesTest::examplesAreAcceptedAndRoundTrip_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("dateExample");
    QTest::addColumn<QString>("timeExample");
    QTest::newRow("C") << "C" << "31 Dec 2024" << "14:30:00";
    QTest::newRow("en_US") << "en_US" << "12/31/2024" << "2:30 PM";
    QTest::newRow("en_GB") << "en_GB" << "31/12/2024" << "14:30";
    QTest::newRow("de_DE") << "de_DE" << "31.12.2024" << "14:30";
    // Locales whose forms carry words, markers in front or other separators.
    QTest::newRow("bg_BG") << "bg_BG" << "31.12.2024 г." << "14:30 ч.";
    QTest::newRow("ko_KR") << "ko_KR" << "2024. 12. 31." << "오후 2:30";
    QTest::newRow("hu_HU") << "hu_HU" << "2024. 12. 31." << "14:30";
    QTest::newRow("da_DK") << "da_DK" << "31.12.2024" << "14.30";
    QTest::newRow("en_CA") << "en_CA" << "2024-12-31" << "2:30 P.M.";
}

void TypedDatesTest::examplesAreAcceptedAndRoundTrip()
{
    QFETCH(QString, locale);
    QFETCH(QString, dateExample);
    QFETCH(QString, timeExample);
    const QLocale l(locale);
    QCOMPARE(typedDateExample(l), dateExample);
    QCOMPARE(typedTimeExample(l), timeExample);
    QCOMPARE(readTypedDate(dateExample, l), std::optional<QDate>(QDate(2024, 12, 31)));
    QCOMPARE(readTypedTime(timeExample, l), std::optional<QTime>(QTime(14, 30)));
    // What the locale itself prints with its own short and long forms reads back.
    const QDate day(1987, 6, 5);
    QCOMPARE(readTypedDate(l.toString(day, QLocale::ShortFormat), l), std::optional<QDate>(day));
    QCOMPARE(readTypedDate(l.toString(day, QLocale::LongFormat), l), std::optional<QDate>(day));
    const QTime time(21, 7);
    QCOMPARE(readTypedTime(l.toString(time, l.timeFormat(QLocale::ShortFormat)), l), std::optional<QTime>(QTime(21, 7)));
}

void TypedDatesTest::twoDigitYearsFollowTheClock()
{
    const QLocale us(QStringLiteral("en_US"));
    QCOMPARE(readTypedDate(QStringLiteral("1/1/45"), us), std::optional<QDate>(QDate(2045, 1, 1)));
    Clock::setSource([] { return QDateTime(QDate(2030, 6, 1), QTime(12, 0)); });
    QCOMPARE(readTypedDate(QStringLiteral("1/1/45"), us), std::optional<QDate>(QDate(2045, 1, 1)));
    QCOMPARE(readTypedDate(QStringLiteral("1/1/49"), us), std::optional<QDate>(QDate(2049, 1, 1)));
    QCOMPARE(readTypedDate(QStringLiteral("1/1/50"), us), std::optional<QDate>(QDate(1950, 1, 1)));
}

QTEST_GUILESS_MAIN(TypedDatesTest)
#include "tst_typed_dates.moc"
