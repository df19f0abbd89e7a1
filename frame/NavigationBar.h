#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

// A record navigation bar: first, previous, a caption, next, last.
// The same widget serves the contacts, the calls and the contact types.
class NavigationBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString caption READ caption WRITE setCaption)

public:
    explicit NavigationBar(QWidget *parent = nullptr);

    QString caption() const;
    void setCaption(const QString &caption);

    QToolButton *firstButton() const { return m_first; }
    QToolButton *previousButton() const { return m_previous; }
    QToolButton *nextButton() const { return m_next; }
    QToolButton *lastButton() const { return m_last; }

signals:
    void firstClicked();
    void previousClicked();
    void nextClicked();
    void lastClicked();

private:
    QToolButton *m_first;
    QToolButton *m_previous;
    QToolButton *m_next;
    QToolButton *m_last;
    QLabel *m_caption;
};
