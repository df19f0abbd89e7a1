#pragma once

#include <QLineEdit>
#include <QLocale>
#include <QVariant>

// A box that shows its value through a display format while it does not have
// the focus, and the stored text while the user edits it. The stored value is
// the text as typed.
class FormattedLineEdit : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)

public:
    explicit FormattedLineEdit(QWidget *parent = nullptr);

    virtual QVariant value() const;
    virtual void setValue(const QVariant &value);

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

    // Text shown while the box has no focus.
    virtual QString displayText(const QString &stored) const;

    QString m_stored;
    bool m_isNull = true;
    // True from focus-in until focus-out has finished: the data mapper reads
    // value() from its focus-out filter, before our own handler runs.
    bool m_editing = false;

private:
    void showStored();
    void showFormatted();
};


// The birth date: stored as an ISO date, shown and typed in the user's
// locale's short form with a four-digit year (12/31/1980 in en_US,
// 31.12.1980 in de_DE); ISO dates and two-digit years are read as well.
// A stored text that is not a date is shown as it stands and given back
// unchanged until the user types into the box. Typed text that is not a
// date is refused with a message naming an accepted example, and the box
// goes back to what it showed before.
class DateLineEdit : public FormattedLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)

public:
    explicit DateLineEdit(QWidget *parent = nullptr);

    QVariant value() const override;
    void setValue(const QVariant &value) override;

    // The text the box shows for a stored value.
    static QString shownText(const QVariant &stored, const QLocale &locale);

    // Takes over the typed text. A text that is not a date is refused with
    // the message, the box goes back to what it showed before and false
    // comes back; typedTextRefused() is sent when no typed date was taken
    // over since the value was set. True when nothing was typed.
    bool acceptTyped();

signals:
    void typedTextRefused();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    QString displayText(const QString &stored) const override;

private:
    QVariant m_value;     // what value() gives: the stored value, or the ISO date typed
    bool m_typed = false; // the text was edited since the value was set or taken over
    bool m_taken = false; // a typed date was taken over since the value was set
};
