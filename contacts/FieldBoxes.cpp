#include "FieldBoxes.h"

#include "frame/Formats.h"
#include "frame/MessageService.h"
#include "frame/TypedDates.h"

#include <QDate>
#include <QRegularExpression>

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
QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}
} // namespace

DateLineEdit::DateLineEdit(QWidget *parent) : FormattedLineEdit(parent)
{
    setPlaceholderText(typedDateExample(locale()));
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
            return formatShortDate(date, locale);
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
    if (const std::optional<QDate> date = readTypedDate(typed, locale()))
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
    if (const std::optional<QDate> date = readTypedDate(typed, locale())) {
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
                      .arg(typed, typedDateExample(locale()), QStringLiteral("2024-12-31")));
    return false;
}

void DateLineEdit::focusOutEvent(QFocusEvent *event)
{
    acceptTyped();
    m_editing = false;
    QLineEdit::focusOutEvent(event);
}
