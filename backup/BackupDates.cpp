#include "BackupDates.h"

#include "BackupText.h"

#include <QDate>
#include <QRegularExpression>
#include <QTime>

#include <algorithm>

namespace backup {

namespace {

// The stored parts, read by hand: this runs for every date of a backup.
struct StoredDate {
    int year = 0, month = 0, day = 0;
    int hour = 0, minute = 0, second = 0;
    bool hasDate = false, hasTime = false;
};

bool digitsAt(QByteArrayView text, qsizetype at, int count, int *value)
{
    int result = 0;
    for (int i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9')
            return false;
        result = result * 10 + (c - '0');
    }
    *value = result;
    return true;
}

int daysInMonth(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month == 2 && (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)))
        return 29;
    return days[month - 1];
}

bool readDate(QByteArrayView text, StoredDate *date)
{
    if (text.size() < 10 || text[4] != '-' || text[7] != '-' || !digitsAt(text, 0, 4, &date->year)
        || !digitsAt(text, 5, 2, &date->month) || !digitsAt(text, 8, 2, &date->day))
        return false;
    // The range of the Date/Time type: years 100 to 9999.
    if (date->year < 100 || date->month < 1 || date->month > 12 || date->day < 1
        || date->day > daysInMonth(date->year, date->month))
        return false;
    date->hasDate = true;
    return true;
}

// 'HH:MM' or 'HH:MM:SS'.
bool readTime(QByteArrayView text, StoredDate *date)
{
    if ((text.size() != 5 && text.size() != 8) || text[2] != ':' || !digitsAt(text, 0, 2, &date->hour)
        || !digitsAt(text, 3, 2, &date->minute))
        return false;
    date->second = 0;
    if (text.size() == 8 && (text[5] != ':' || !digitsAt(text, 6, 2, &date->second)))
        return false;
    if (date->hour > 23 || date->minute > 59 || date->second > 59)
        return false;
    date->hasTime = true;
    return true;
}

QByteArrayView trimmed(QByteArrayView text)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; };
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.sliced(first, last - first);
}

// A stored value in the forms the database holds.
bool readStored(QByteArrayView raw, StoredDate *date)
{
    const QByteArrayView text = trimmed(raw);
    if (text.size() == 10)
        return readDate(text, date);
    if (text.size() == 8 || text.size() == 5)
        return readTime(text, date);
    if (text.size() >= 16 && (text[10] == 'T' || text[10] == ' ')) {
        // Only the date and the clock are read, so no time zone can shift them.
        const QByteArrayView clock = text.sliced(11, text.size() >= 19 ? 8 : text.size() - 11);
        if (!readDate(text.first(10), date) || !readTime(clock, date))
            return false;
        // The General Date form: no time of day gives the date alone, the
        // zero date gives the time alone.
        if (date->hour == 0 && date->minute == 0 && date->second == 0)
            date->hasTime = false;
        else if (date->year == 1899 && date->month == 12 && date->day == 30)
            date->hasDate = false;
        return true;
    }
    return false;
}

// Writes the number with at least width digits; returns the end.
char *putNumber(char *at, int value, int width)
{
    char digits[8];
    int n = 0;
    do {
        digits[n++] = char('0' + value % 10);
        value /= 10;
    } while (value > 0 || n < width);
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

QString isoDate(int year, int month, int day)
{
    return QDate(year, month, day).toString(Qt::ISODate);
}

QString isoTime(int hour, int minute, int second)
{
    return QTime(hour, minute, second).toString(QStringLiteral("HH:mm:ss"));
}

// Reads 1 to maxDigits digits at text[*at]; false without a digit.
bool readDigits(QByteArrayView text, qsizetype *at, int minDigits, int maxDigits, int *value)
{
    int count = 0;
    int result = 0;
    while (*at < text.size() && count < maxDigits && text[*at] >= '0' && text[*at] <= '9') {
        result = result * 10 + (text[*at] - '0');
        ++*at;
        ++count;
    }
    *value = result;
    return count >= minDigits;
}

// M/D/YYYY with a year of three or four digits, from *at.
bool readUsDate(QByteArrayView text, qsizetype *at, StoredDate *date)
{
    if (!readDigits(text, at, 1, 2, &date->month) || *at >= text.size() || text[(*at)++] != '/'
        || !readDigits(text, at, 1, 2, &date->day) || *at >= text.size() || text[(*at)++] != '/'
        || !readDigits(text, at, 3, 4, &date->year))
        return false;
    if (*at < text.size() && text[*at] >= '0' && text[*at] <= '9')
        return false;
    return date->year >= 100 && date->month >= 1 && date->month <= 12 && date->day >= 1
        && date->day <= daysInMonth(date->year, date->month);
}

// h:mm:ss AM or PM, from *at.
bool readUsTime(QByteArrayView text, qsizetype *at, StoredDate *date)
{
    int hour = 0;
    if (!readDigits(text, at, 1, 2, &hour) || *at >= text.size() || text[(*at)++] != ':'
        || !readDigits(text, at, 2, 2, &date->minute) || *at >= text.size() || text[(*at)++] != ':'
        || !readDigits(text, at, 2, 2, &date->second) || *at + 3 > text.size() || text[(*at)++] != ' ')
        return false;
    const char a = char(text[*at] & ~0x20);
    const char m = char(text[*at + 1] & ~0x20);
    if ((a != 'A' && a != 'P') || m != 'M')
        return false;
    *at += 2;
    if (hour < 1 || hour > 12 || date->minute > 59 || date->second > 59)
        return false;
    date->hour = hour % 12 + (a == 'P' ? 12 : 0);
    return true;
}

// The US-English General Date form; the stored form into *iso.
bool parseUs(QByteArrayView raw, QByteArray *iso)
{
    const QByteArrayView text = trimmed(raw);
    StoredDate date;
    qsizetype at = 0;
    if (readUsDate(text, &at, &date)) {
        date.hasDate = true;
        if (at < text.size()) {
            if (text[at++] != ' ' || !readUsTime(text, &at, &date) || at != text.size())
                return false;
            date.hasTime = true;
        }
    } else {
        at = 0;
        if (!readUsTime(text, &at, &date) || at != text.size())
            return false;
        date.hasTime = true;
    }
    char out[24];
    char *p = out;
    if (date.hasDate) {
        p = putNumber(p, date.year, 4);
        *p++ = '-';
        p = putNumber(p, date.month, 2);
        *p++ = '-';
        p = putNumber(p, date.day, 2);
    }
    if (date.hasTime) {
        if (date.hasDate)
            *p++ = 'T';
        p = putNumber(p, date.hour, 2);
        *p++ = ':';
        p = putNumber(p, date.minute, 2);
        *p++ = ':';
        p = putNumber(p, date.second, 2);
    }
    iso->resize(0);
    appendBytes(*iso, out, p - out);
    return true;
}

// The locale's long time form without its time-zone part.
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        result.append(c);
    }
    return result.simplified();
}

QString fourDigitYears(QString format)
{
    static const QRegularExpression years(QStringLiteral("y+"));
    return format.replace(years, QStringLiteral("yyyy"));
}

void addOnce(QStringList &list, const QString &format)
{
    if (!format.isEmpty() && !list.contains(format))
        list << format;
}

constexpr qsizetype kCacheLimit = 100000;

} // namespace

char *putUsDate(char *at, QByteArrayView stored, bool *canonical)
{
    StoredDate date;
    if (!readStored(stored, &date))
        return nullptr;
    // What isCanonicalStoredDate answers, from what readStored has read: a
    // date or a time is canonical when it is all the text, without blanks
    // around it.
    if (stored.size() == 19 && stored[10] == 'T')
        *canonical = date.hasDate && date.hasTime;
    else
        *canonical = (stored.size() == 10 || stored.size() == 8) && trimmed(stored).size() == stored.size();
    if (date.hasDate) {
        at = putNumber(at, date.month, 1);
        *at++ = '/';
        at = putNumber(at, date.day, 1);
        *at++ = '/';
        at = putNumber(at, date.year, 4);
    }
    if (date.hasTime) {
        if (date.hasDate)
            *at++ = ' ';
        at = putNumber(at, date.hour % 12 == 0 ? 12 : date.hour % 12, 1);
        *at++ = ':';
        at = putNumber(at, date.minute, 2);
        *at++ = ':';
        at = putNumber(at, date.second, 2);
        std::memcpy(at, date.hour < 12 ? " AM" : " PM", 3);
        at += 3;
    }
    return at;
}

bool appendUsDate(QByteArray &out, QByteArrayView stored)
{
    char text[kUsDateRoom];
    bool canonical = false;
    const char *end = putUsDate(text, stored, &canonical);
    if (!end)
        return false;
    appendBytes(out, text, end - text);
    return true;
}

QString canonicalStoredDate(QByteArrayView stored)
{
    StoredDate date;
    if (!readStored(stored, &date))
        return {};
    if (date.hasDate && date.hasTime)
        return isoDate(date.year, date.month, date.day) + QLatin1Char('T') + isoTime(date.hour, date.minute, date.second);
    if (date.hasDate)
        return isoDate(date.year, date.month, date.day);
    return isoTime(date.hour, date.minute, date.second);
}

bool isCanonicalStoredDate(QByteArrayView stored)
{
    StoredDate date;
    if (stored.size() == 10)
        return readDate(stored, &date);
    if (stored.size() == 8)
        return readTime(stored, &date);
    return stored.size() == 19 && stored[10] == 'T' && readStored(stored, &date) && date.hasDate && date.hasTime;
}

DateReader DateReader::fixedForm()
{
    return DateReader();
}

DateReader DateReader::guessing(const QLocale &locale)
{
    DateReader reader;
    reader.m_fixed = false;
    // The forms an older writer used under this locale come first: the
    // short date with four-digit years and the long time without its zone.
    Form local{locale, {}, {}};
    addOnce(local.dates, fourDigitYears(locale.dateFormat(QLocale::ShortFormat)));
    addOnce(local.dates, locale.dateFormat(QLocale::ShortFormat));
    addOnce(local.dates, locale.dateFormat(QLocale::LongFormat));
    addOnce(local.times, timeFormatWithoutZone(locale));
    addOnce(local.times, locale.timeFormat(QLocale::LongFormat));
    addOnce(local.times, locale.timeFormat(QLocale::ShortFormat));
    reader.m_forms << local;
    return reader;
}

bool DateReader::parse(QByteArrayView text, QByteArray *iso)
{
    if (m_fixed)
        return parseUs(text, iso);
    const QString key = QString::fromUtf8(text);
    auto cached = m_cache.constFind(key);
    if (cached == m_cache.constEnd()) {
        if (m_cache.size() >= kCacheLimit)
            m_cache.clear();
        cached = m_cache.insert(key, parseGuessing(key.trimmed()));
    }
    if (cached->isNull())
        return false;
    *iso = cached->toUtf8();
    return true;
}

QString DateReader::parseGuessing(const QString &text) const
{
    if (text.isEmpty() || std::none_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return {};
    // Years outside four digits are not written by the writer; refusing them
    // keeps every date the reader accepts writable again.
    auto acceptable = [](const QDate &date) { return date.isValid() && date.year() >= 100 && date.year() <= 9999; };
    for (const Form &form : m_forms) {
        for (const QString &format : form.dates) {
            const QDate date = form.locale.toDate(text, format);
            if (acceptable(date))
                return date.toString(Qt::ISODate);
        }
        for (const QString &format : form.times) {
            const QTime time = form.locale.toTime(text, format);
            if (time.isValid())
                return time.toString(QStringLiteral("HH:mm:ss"));
        }
        // Date and time: the date text ends at one of the blanks.
        for (qsizetype blank = text.indexOf(QLatin1Char(' ')); blank > 0;
             blank = text.indexOf(QLatin1Char(' '), blank + 1)) {
            const QString datePart = text.left(blank);
            const QString timePart = text.mid(blank + 1);
            for (const QString &dateFormat : form.dates) {
                const QDate date = form.locale.toDate(datePart, dateFormat);
                if (!acceptable(date))
                    continue;
                for (const QString &timeFormat : form.times) {
                    const QTime time = form.locale.toTime(timePart, timeFormat);
                    if (time.isValid())
                        return date.toString(Qt::ISODate) + QLatin1Char('T') + time.toString(QStringLiteral("HH:mm:ss"));
                }
            }
        }
    }
    // Then the US-English form the writer uses now.
    if (QByteArray us; parseUs(text.toUtf8(), &us))
        return QString::fromLatin1(us);
    // Then ISO 8601, the stored forms themselves.
    return canonicalStoredDate(text.toUtf8());
}

} // namespace backup
