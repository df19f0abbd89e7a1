#pragma once

#include <QDialog>

// Placeholder until the window is built.
class Form4 : public QDialog {
    Q_OBJECT

public:
    explicit Form4(QWidget *parent = nullptr);
};
