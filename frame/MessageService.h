#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// Every modal question or message of the program goes through this interface,
// so that tests can answer the boxes and read what they said.
class MessageService {
public:
    enum class Answer { Yes, No };

    virtual ~MessageService() = default;

    // Yes/No question, no icon, No is the default button.
    virtual Answer question(QWidget *parent, const QString &title, const QString &text) = 0;
    // Information with one OK button and no icon, titled with the application title.
    virtual void information(QWidget *parent, const QString &text) = 0;
    // The "Application Error" box: warning icon, one OK button.
    virtual void applicationError(QWidget *parent, const QString &text) = 0;
    // A question with buttons of its own, captioned as given; gives the
    // position of the button chosen. `escape` is the answer of Esc and of
    // closing the box, `preferred` the default button. A service that cannot
    // show such a box gives `escape`.
    virtual int choose(QWidget *parent, const QString &title, const QString &text, const QStringList &buttons,
                       int preferred, int escape);

    static MessageService &instance();
    // Replaces the service (tests); passing nullptr restores the real boxes.
    static void setInstance(MessageService *service);
};

// The real boxes, built with QMessageBox.
class DialogMessageService : public MessageService {
public:
    Answer question(QWidget *parent, const QString &title, const QString &text) override;
    void information(QWidget *parent, const QString &text) override;
    void applicationError(QWidget *parent, const QString &text) override;
    int choose(QWidget *parent, const QString &title, const QString &text, const QStringList &buttons,
               int preferred, int escape) override;
};
