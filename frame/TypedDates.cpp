#include "TypedDates.h"

#include "Clock.h"
#include "Formats.h"

#include <algorithm>

namespace {

struct Token
{
    bool number = false;
    QString text; // a word, or the digits of a number
    int value = 0;
};

// The characters of a date or time format that are printed as they stand:
// quoted text, and letters and signs that are no field of the format.
QString formatLiterals(const QString &format, QStringView fieldLetters)
{
    QString literals;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            quoted = !quoted;
            continue;
        }
        if (quoted || !fieldLetters.contains(c))
            literals.append(c);
    }
    return literals;
}

// Splits typed text into numbers and words. Every other character must be
// white space or one of `separators`; nullopt when one is not.
std::optional<QList<Token>> tokens(const QString &text, const QString &separators)
{
    QList<Token> result;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c.isDigit()) {
            Token token{true, {}, 0};
            while (i < text.size() && text.at(i).isDigit()) {
                token.text.append(text.at(i));
                if (token.text.size() <= 4)
                    token.value = token.value * 10 + text.at(i).digitValue();
                ++i;
            }
            result.append(token);
        } else if (c.isLetter()) {
            Token token;
            while (i < text.size() && text.at(i).isLetter())
                token.text.append(text.at(i++));
            result.append(token);
        } else if (c.isSpace() || separators.contains(c)) {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return result;
}

bool sameWord(const QString &word, QString name)
{
    name.remove(QLatin1Char('.'));
    return !name.isEmpty() && word.compare(name.trimmed(), Qt::CaseInsensitive) == 0;
}

int monthOfWord(const QString &word, const QLocale &locale)
{
    for (int month = 1; month <= 12; ++month) {
        for (const auto form : {QLocale::LongFormat, QLocale::ShortFormat}) {
            if (sameWord(word, locale.monthName(month, form)) || sameWord(word, locale.standaloneMonthName(month, form)))
                return month;
        }
    }
    return 0;
}

bool isDayName(const QString &word, const QLocale &locale)
{
    for (int day = 1; day <= 7; ++day) {
        for (const auto form : {QLocale::LongFormat, QLocale::ShortFormat}) {
            if (sameWord(word, locale.dayName(day, form)) || sameWord(word, locale.standaloneDayName(day, form)))
                return true;
        }
    }
    return false;
}

// The order of day, month and year in the locale's short form, as a text of
// the letters d, M and y ("Mdy" in en_US, "dMy" in de_DE, "yMd" in ja_JP).
QString fieldOrder(const QLocale &locale)
{
    for (const auto form : {QLocale::ShortFormat, QLocale::LongFormat}) {
        QString order;
        bool quoted = false;
        for (const QChar c : locale.dateFormat(form)) {
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            else if (!quoted && QStringView(u"dMy").contains(c) && !order.contains(c))
                order.append(c);
        }
        if (order.size() == 3)
            return order;
    }
    return QStringLiteral("dMy");
}

// A year as typed: four digits as they stand, two digits in the window of
// a hundred years that starts 80 years before this year; 0 for others.
int typedYear(const Token &token)
{
    if (token.text.size() == 4)
        return token.value;
    if (token.text.size() != 2)
        return 0;
    const int first = Clock::now().date().year() - 80;
    int year = first - first % 100 + token.value;
    if (year < first)
        year += 100;
    return year;
}

bool isDayOrMonth(const Token &token)
{
    return token.text.size() == 1 || token.text.size() == 2;
}

std::optional<QDate> validDate(int year, int month, int day)
{
    const QDate date(year, month, day);
    if (year <= 0 || !date.isValid())
        return std::nullopt;
    return date;
}

// "a.m.", "A.M." and "am" are one marker.
QString markerKey(QString text, const QString &ignored)
{
    QString key;
    for (const QChar c : text) {
        if (c != QLatin1Char('.') && !c.isSpace() && !ignored.contains(c))
            key.append(c.toLower());
    }
    return key;
}

} // namespace

std::optional<QDate> readTypedDate(const QString &text, const QLocale &locale)
{
    const QString shortFormat = locale.dateFormat(QLocale::ShortFormat);
    const QString longFormat = locale.dateFormat(QLocale::LongFormat);
    const QString literals = formatLiterals(shortFormat + longFormat, u"dMy");
    const auto parts = tokens(text.trimmed(), QStringLiteral("/.-,") + literals);
    if (!parts)
        return std::nullopt;

    QList<Token> numbers;
    int namedMonth = 0;
    for (const Token &token : *parts) {
        if (token.number) {
            numbers.append(token);
            continue;
        }
        const int month = monthOfWord(token.text, locale);
        if (month != 0) {
            if (namedMonth != 0)
                return std::nullopt;
            namedMonth = month;
            continue;
        }
        const bool literal = std::all_of(token.text.cbegin(), token.text.cend(),
                                         [&](QChar c) { return literals.contains(c); });
        if (!literal && !isDayName(token.text, locale))
            return std::nullopt;
    }

    const QString order = fieldOrder(locale);
    if (namedMonth != 0) {
        // The two numbers are the day and the year.
        if (numbers.size() != 2)
            return std::nullopt;
        const bool yearFirst = numbers[0].text.size() == 4
                               || (numbers[1].text.size() != 4 && order.indexOf(u'y') < order.indexOf(u'd'));
        const Token &year = yearFirst ? numbers[0] : numbers[1];
        const Token &day = yearFirst ? numbers[1] : numbers[0];
        if (!isDayOrMonth(day))
            return std::nullopt;
        return validDate(typedYear(year), namedMonth, day.value);
    }

    if (numbers.size() != 3)
        return std::nullopt;
    if (numbers[0].text.size() == 4) {
        if (!isDayOrMonth(numbers[1]) || !isDayOrMonth(numbers[2]))
            return std::nullopt;
        return validDate(numbers[0].value, numbers[1].value, numbers[2].value);
    }
    int year = 0;
    int month = 0;
    int day = 0;
    for (int i = 0; i < 3; ++i) {
        const Token &token = numbers[i];
        switch (order.at(i).unicode()) {
        case u'y':
            year = typedYear(token);
            break;
        case u'M':
            month = isDayOrMonth(token) ? token.value : 0;
            break;
        default:
            day = isDayOrMonth(token) ? token.value : 0;
            break;
        }
    }
    return validDate(year, month, day);
}

std::optional<QTime> readTypedTime(const QString &text, const QLocale &locale)
{
    const QString timeFormats = locale.timeFormat(QLocale::ShortFormat) + locale.timeFormat(QLocale::LongFormat);
    QString separators = QStringLiteral(":");
    for (const QChar c : formatLiterals(timeFormats, u"hHmsapAPtz")) {
        if (!c.isLetter() && !c.isSpace() && c != QLatin1Char('\''))
            separators.append(c);
    }
    const QString literalLetters = formatLiterals(timeFormats, u"hHmsapAPtz");

    const QString trimmed = text.trimmed();
    qsizetype first = 0;
    while (first < trimmed.size() && !trimmed.at(first).isDigit())
        ++first;
    qsizetype last = trimmed.size() - 1;
    while (last >= 0 && !trimmed.at(last).isDigit())
        --last;
    if (first > last)
        return std::nullopt;

    // Hours, minutes and seconds, each only digits.
    const QString core = trimmed.mid(first, last - first + 1);
    QList<int> fields;
    QString digits;
    QList<qsizetype> widths;
    for (qsizetype i = 0; i <= core.size(); ++i) {
        if (i < core.size() && core.at(i).isDigit()) {
            digits.append(core.at(i));
            continue;
        }
        if (i < core.size() && !separators.contains(core.at(i)))
            return std::nullopt;
        if (digits.isEmpty() || digits.size() > 2)
            return std::nullopt;
        int value = 0;
        for (const QChar d : digits)
            value = value * 10 + d.digitValue();
        fields.append(value);
        widths.append(digits.size());
        digits.clear();
    }

    // The AM/PM marker, before or after the digits.
    const QString prefix = markerKey(trimmed.left(first), literalLetters);
    const QString suffix = markerKey(trimmed.mid(last + 1), literalLetters);
    if (!prefix.isEmpty() && !suffix.isEmpty())
        return std::nullopt;
    const QString marker = prefix.isEmpty() ? suffix : prefix;
    enum { None, Am, Pm } half = None;
    if (!marker.isEmpty()) {
        if (marker == markerKey(locale.amText(), {}) || marker == u"am" || marker == u"a")
            half = Am;
        else if (marker == markerKey(locale.pmText(), {}) || marker == u"pm" || marker == u"p")
            half = Pm;
        else
            return std::nullopt;
    }

    if (fields.size() > 3 || (fields.size() == 1 && half == None))
        return std::nullopt;
    for (qsizetype i = 1; i < widths.size(); ++i) {
        if (widths[i] != 2)
            return std::nullopt;
    }
    int hour = fields[0];
    const int minute = fields.size() > 1 ? fields[1] : 0;
    const int second = fields.size() > 2 ? fields[2] : 0;
    if (half != None) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + (half == Pm ? 12 : 0);
    }
    if (!QTime::isValid(hour, minute, second, 0))
        return std::nullopt;
    return QTime(hour, minute, second);
}

QString typedDateExample(const QLocale &locale)
{
    return locale.toString(QDate(2024, 12, 31), shortDateFormat(locale));
}

QString typedTimeExample(const QLocale &locale)
{
    return locale.toString(QTime(14, 30), locale.timeFormat(QLocale::ShortFormat));
}
