#include "FieldBoxes.h"

#include "frame/Formats.h"
#include "frame/MessageService.h"

#include <QDate>
#include <QRegularExpression>

#include <algorithm>
#include <optional>

FormattedLineEdit::FormattedLineEdit(QWidget *parent) : QLineEdit(parent) {}

QVariant FormattedLineEdit::value() const
{
    const QString current = m_editing ? text() : m_stored;
    if (current.isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    return current;
}

void FormattedLineEdit::setValue(const QVariant &value)
{
    m_isNull = value.isNull();
    m_stored = value.toString();
    if (m_editing)
        showStored();
    else
        showFormatted();
}

QString FormattedLineEdit::displayText(const QString &stored) const
{
    return phoneDisplayText(stored);
}

void FormattedLineEdit::showStored()
{
    setText(m_stored);
}

void FormattedLineEdit::showFormatted()
{
    setText(displayText(m_stored));
}

void FormattedLineEdit::focusInEvent(QFocusEvent *event)
{
    m_editing = true;
    showStored();
    QLineEdit::focusInEvent(event);
}

void FormattedLineEdit::focusOutEvent(QFocusEvent *event)
{
    m_stored = text();
    m_editing = false;
    QLineEdit::focusOutEvent(event);
    showFormatted();
}

namespace {
// The locale's short date form with its year written out in full.
QString fullYearShortFormat(const QLocale &locale)
{
    QString format = locale.dateFormat(QLocale::ShortFormat);
    if (!format.contains(QLatin1String("yyyy")))
        format.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return format;
}

// A typed birth date: ISO 8601, or day, month and year in the order of the
// locale's short form, separated by / . or -, with a two- or four-digit year.
// A two-digit year falls into the hundred years that start 80 years ago.
std::optional<QDate> readBirthDate(const QString &text, const QLocale &locale)
{
    const QString typed = text.trimmed();
    static const QRegularExpression iso(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
    if (const QRegularExpressionMatch match = iso.match(typed); match.hasMatch()) {
        const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
        return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
    }
    static const QRegularExpression parts(QStringLiteral("^(\\d{1,4})[/.-](\\d{1,2})[/.-](\\d{1,4})\\.?$"));
    const QRegularExpressionMatch match = parts.match(typed);
    if (!match.hasMatch())
        return std::nullopt;
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    const qsizetype day = format.indexOf(QLatin1Char('d'));
    const qsizetype month = format.indexOf(QLatin1Char('M'));
    const qsizetype year = format.indexOf(QLatin1Char('y'));
    QList<std::pair<qsizetype, char>> order = {{day, 'd'}, {month, 'M'}, {year, 'y'}};
    std::sort(order.begin(), order.end());
    int d = 0, m = 0, y = 0;
    for (int part = 0; part < 3; ++part) {
        const QString digits = match.captured(part + 1);
        switch (order[part].second) {
        case 'd': d = digits.toInt(); break;
        case 'M': m = digits.toInt(); break;
        default:
            if (digits.size() != 2 && digits.size() != 4)
                return std::nullopt;
            y = digits.toInt();
            if (digits.size() == 2) {
                const int start = QDate::currentDate().year() - 80;
                y += start - start % 100;
                if (y < start)
                    y += 100;
            }
        }
    }
    const QDate date(y, m, d);
    return date.isValid() ? std::optional<QDate>(date) : std::nullopt;
}

QString birthDateExample(const QLocale &locale)
{
    return QDate(2024, 12, 31).toString(fullYearShortFormat(locale));
}

QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}
} // namespace

DateLineEdit::DateLineEdit(QWidget *parent) : FormattedLineEdit(parent)
{
    setPlaceholderText(birthDateExample(locale()));
    connect(this, &QLineEdit::textEdited, this, [this] { m_typed = true; });
}

QString DateLineEdit::shownText(const QVariant &stored, const QLocale &locale)
{
    if (stored.isNull())
        return QString();
    const QString text = stored.toString();
    // A date, or a date with a time of day: the date is shown.
    static const QRegularExpression isoDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}(T\\d{2}:\\d{2}(:\\d{2})?)?$"));
    if (isoDate.match(text).hasMatch()) {
        const QDate date = QDate::fromString(text.left(10), Qt::ISODate);
        if (date.isValid())
            return date.toString(fullYearShortFormat(locale));
    }
    return text;
}

QVariant DateLineEdit::value() const
{
    if (!m_typed)
        return m_value;
    const QString typed = text().trimmed();
    if (typed.isEmpty())
        return nullText();
    if (const std::optional<QDate> date = readBirthDate(typed, locale()))
        return date->toString(Qt::ISODate);
    return m_value;
}

void DateLineEdit::setValue(const QVariant &value)
{
    m_value = value.isNull() ? nullText() : value;
    m_typed = false;
    m_taken = false;
    m_stored = shownText(m_value, locale());
    setText(m_stored);
}

QString DateLineEdit::displayText(const QString &stored) const
{
    return stored;
}

bool DateLineEdit::acceptTyped()
{
    if (!m_typed)
        return true;
    const QString typed = text().trimmed();
    if (typed.isEmpty()) {
        m_value = nullText();
        m_stored = QString();
        m_typed = false;
        m_taken = true;
        return true;
    }
    if (const std::optional<QDate> date = readBirthDate(typed, locale())) {
        m_value = date->toString(Qt::ISODate);
        m_stored = shownText(m_value, locale());
        setText(m_stored);
        m_typed = false;
        m_taken = true;
        return true;
    }
    m_typed = false;
    setText(m_stored);
    if (!m_taken)
        emit typedTextRefused();
    MessageService::instance().information(
        window(), tr("\"%1\" is not a date. Please type the birth date like %2 or %3.")
                      .arg(typed, birthDateExample(locale()), QStringLiteral("2024-12-31")));
    return false;
}

void DateLineEdit::focusOutEvent(QFocusEvent *event)
{
    acceptTyped();
    m_editing = false;
    QLineEdit::focusOutEvent(event);
}
