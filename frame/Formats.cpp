#include "Formats.h"

#include <QLocale>
#include <QRegularExpression>
#include <QVariant>

#include <algorithm>

QString shortDateFormat()
{
    return shortDateFormat(QLocale::system());
}

QString formatShortDate(const QDate &date)
{
    return formatShortDate(date, QLocale::system());
}

QString shortDateFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    static const QRegularExpression years(QStringLiteral("y+"));
    format.replace(years, QStringLiteral("yyyy"));
    return format;
}

QString formatShortDate(const QDate &date, const QLocale &locale)
{
    return date.isValid() ? locale.toString(date, shortDateFormat(locale)) : QString();
}

QString formatTimeAmPm(const QTime &time)
{
    return time.isValid() ? QLocale::c().toString(time, QStringLiteral("h:mm AP")) : QString();
}

namespace {
// The number written with exactly `count` ASCII digits at `at`, or -1.
int digitsAt(const QString &text, qsizetype at, int count)
{
    if (at + count > text.size())
        return -1;
    int number = 0;
    for (qsizetype i = at; i < at + count; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c < u'0' || c > u'9')
            return -1;
        number = number * 10 + (c - u'0');
    }
    return number;
}
} // namespace

QDate storedDate(const QVariant &value)
{
    if (value.isNull())
        return {};
    const QString text = value.toString();
    if (text.size() < 10 || text.at(4) != QLatin1Char('-'))
        return {};
    // The stored form, yyyy-MM-dd, read directly: reports read millions.
    const int year = digitsAt(text, 0, 4);
    const int month = digitsAt(text, 5, 2);
    const int day = digitsAt(text, 8, 2);
    if (year >= 0 && month >= 0 && day >= 0 && text.at(7) == QLatin1Char('-')
        && (text.size() == 10 || !text.at(10).isDigit()))
        return QDate(year, month, day);
    return QDate::fromString(text.left(10), Qt::ISODate);
}

QTime storedTime(const QVariant &value)
{
    if (value.isNull())
        return {};
    QString text = value.toString();
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t >= 0)
        text = text.mid(t + 1);
    // The stored form, HH:mm:ss, read directly: reports read millions.
    const int hours = digitsAt(text, 0, 2);
    const int minutes = digitsAt(text, 3, 2);
    const int seconds = digitsAt(text, 6, 2);
    if (hours >= 0 && minutes >= 0 && seconds >= 0 && text.at(2) == QLatin1Char(':') && text.at(5) == QLatin1Char(':')
        && QTime::isValid(hours, minutes, seconds))
        return QTime(hours, minutes, seconds);
    QTime time = QTime::fromString(text.left(8), QStringLiteral("HH:mm:ss"));
    if (!time.isValid())
        time = QTime::fromString(text.left(5), QStringLiteral("HH:mm"));
    return time;
}

QString counted(qint64 count, QStringView one, QStringView many)
{
    return QString::number(count) + QLatin1Char(' ') + (count == 1 ? one : many).toString();
}

QString phoneDisplayText(const QString &stored)
{
    if (stored.isEmpty())
        return stored;
    for (const QChar c : stored) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return stored;
    }
    constexpr qsizetype kTail = 7; // the "000-0000" placeholders
    const qsizetype split = std::max<qsizetype>(0, stored.size() - kTail);
    const QString tail = stored.mid(split).rightJustified(kTail, QLatin1Char('0'));
    return QLatin1Char('(') + stored.left(split) + QStringLiteral(") ") + tail.left(3) + QLatin1Char('-') + tail.mid(3);
}
