#include "FieldBoxes.h"

#include "frame/Formats.h"
#include "frame/MessageService.h"

#include <QDate>
#include <QRegularExpression>

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

DateLineEdit::DateLineEdit(QWidget *parent) : FormattedLineEdit(parent)
{
    setPlaceholderText(QStringLiteral("dd/mm/yyyy"));
}

QVariant DateLineEdit::value() const
{
    if (m_editing) {
        const QString typed = text().trimmed();
        if (typed.isEmpty())
            return QVariant(QMetaType::fromType<QString>());
        const QDate date = QDate::fromString(typed, entryFormat());
        if (date.isValid())
            return date.toString(Qt::ISODate);
    }
    return m_date.isValid() && !m_date.isNull() ? m_date : QVariant(QMetaType::fromType<QString>());
}

void DateLineEdit::setValue(const QVariant &value)
{
    const QDate date = QDate::fromString(value.toString().left(10), Qt::ISODate);
    m_date = date.isValid() ? QVariant(date.toString(Qt::ISODate)) : QVariant();
    m_stored = date.isValid() ? date.toString(entryFormat()) : QString();
    setText(m_stored);
}

QString DateLineEdit::displayText(const QString &stored) const
{
    return stored;
}

bool DateLineEdit::acceptTyped()
{
    const QString typed = text().trimmed();
    if (typed.isEmpty()) {
        m_date = QVariant();
        m_stored = QString();
        return true;
    }
    const QDate date = QDate::fromString(typed, entryFormat());
    if (date.isValid()) {
        m_date = date.toString(Qt::ISODate);
        m_stored = text();
        return true;
    }
    setText(m_stored);
    MessageService::instance().information(
        window(), tr("\"%1\" is not a date. Please type the birth date as dd/mm/yyyy, for example 31/01/1980.")
                      .arg(typed));
    return false;
}

void DateLineEdit::focusOutEvent(QFocusEvent *event)
{
    acceptTyped();
    m_stored = text();
    m_editing = false;
    QLineEdit::focusOutEvent(event);
}
