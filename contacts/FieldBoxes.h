#pragma once

#include <QLineEdit>
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


// The birth date: stored as an ISO date, shown and typed as dd/MM/yyyy.
// A text that is not a date under that form is rejected with a message and
// the box goes back to its stored value.
class DateLineEdit : public FormattedLineEdit {
    Q_OBJECT
    Q_PROPERTY(QVariant value READ value WRITE setValue USER true)

public:
    explicit DateLineEdit(QWidget *parent = nullptr);

    QVariant value() const override;
    void setValue(const QVariant &value) override;

    static QString entryFormat() { return QStringLiteral("dd/MM/yyyy"); }

    // Takes over the typed text. A text that is not a date is refused with
    // the message, the box goes back to its stored value and false comes back.
    bool acceptTyped();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    QString displayText(const QString &stored) const override;

private:
    QVariant m_date; // ISO text or null
};
