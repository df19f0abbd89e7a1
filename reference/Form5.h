#pragma once

#include <QDialog>

#include <memory>

class QLineEdit;

namespace Ui {
class Form5;
}

// "Edit Labels": one box per field caption of the main window. Every change of
// a box is stored at once as the setting "Label N"; the main window applies
// the stored captions whenever it becomes the active window.
class Form5 : public QDialog {
    Q_OBJECT

public:
    explicit Form5(QWidget *parent = nullptr);
    ~Form5() override;

    // Box N (0 to 27) of the window.
    QLineEdit *box(int index) const;

private:
    void Form_Load();
    void Text1_Change(int index);

    std::unique_ptr<Ui::Form5> ui;
};
