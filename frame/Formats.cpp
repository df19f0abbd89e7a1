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

QDate storedDate(const QVariant &value)
{
    if (value.isNull())
        return {};
    const QString text = value.toString();
    if (text.size() >= 10 && text.at(4) == QLatin1Char('-'))
        return QDate::fromString(text.left(10), Qt::ISODate);
    return {};
}

QTime storedTime(const QVariant &value)
{
    if (value.isNull())
        return {};
    QString text = value.toString();
    const qsizetype t = text.indexOf(QLatin1Char('T'));
    if (t >= 0)
        text = text.mid(t + 1);
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
