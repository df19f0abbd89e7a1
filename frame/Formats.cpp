#include "Formats.h"

#include <QLocale>
#include <QRegularExpression>
#include <QVariant>

QString shortDateFormat()
{
    QString format = QLocale::system().dateFormat(QLocale::ShortFormat);
    static const QRegularExpression years(QStringLiteral("y+"));
    format.replace(years, QStringLiteral("yyyy"));
    return format;
}

QString formatShortDate(const QDate &date)
{
    return date.isValid() ? QLocale::system().toString(date, shortDateFormat()) : QString();
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

QString phoneDisplayText(const QString &stored)
{
    static const QRegularExpression tenDigits(QStringLiteral("^[0-9]{10}$"));
    if (!tenDigits.match(stored).hasMatch())
        return stored;
    return QStringLiteral("(%1) %2-%3").arg(stored.left(3), stored.mid(3, 3), stored.mid(6));
}
