#pragma once

#include <QDialog>

// Placeholder until the window is built.
class Form3 : public QDialog {
    Q_OBJECT

public:
    explicit Form3(QWidget *parent = nullptr);
};
