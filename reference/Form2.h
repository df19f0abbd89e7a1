#pragma once

#include <QDialog>

// Placeholder until the window is built.
class Form2 : public QDialog {
    Q_OBJECT

public:
    explicit Form2(QWidget *parent = nullptr);
};
