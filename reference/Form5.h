#pragma once

#include <QDialog>

// Placeholder until the window is built.
class Form5 : public QDialog {
    Q_OBJECT

public:
    explicit Form5(QWidget *parent = nullptr);
};
