#pragma once

#include <QDialog>

namespace Ui {
class Form3;
}

// The reports window: starts the three printed reports.
class Form3 : public QDialog {
    Q_OBJECT

public:
    explicit Form3(QWidget *parent = nullptr);
    ~Form3() override;

private:
    void Form_Load();
    void PushButton1_Click();
    void PushButton2_Click();
    void PushButton3_Click();
    void PushButton4_Click();
    void showReportFromButton(const QString &procedure, int reportNumber);

    Ui::Form3 *ui;
};
