#pragma once

#include "frame/Accessibility.h"

#include <QDialog>
#include <QStringList>

#include <memory>

class QLineEdit;

namespace Ui {
class Form5;
}

// "Edit Labels": one box per field caption of the main window, filled with
// the captions the opener passes in (0 to 27). Every change of a box is stored
// at once as the setting "Label N"; the opener applies the stored captions
// when the window has closed (and whenever it becomes the active window).
class Form5 : public QDialog {
    Q_OBJECT

public:
    explicit Form5(QStringList captions, QWidget *parent = nullptr);
    ~Form5() override;

    // Box N (0 to 27) of the window.
    QLineEdit *box(int index) const;
    // The captions as the boxes hold them now, the same texts as stored.
    QStringList captions() const;

protected:
    // Says once, as the window closes, when the captions could not be stored.
    void done(int result) override;

private:
    void Form_Load();
    void Text1_Change(int index);
    bool m_loaded = false;   // the boxes hold their captions; changes are the user's
    bool m_notSaved = false; // a change by the user could not be stored
    bool m_toldNotSaved = false;

    std::unique_ptr<Ui::Form5> ui;
    QStringList m_shownCaptions;
    CaptionNames m_captionNames;
};
