#pragma once

#include <QDialog>

// Placeholder until the window is built.
class Form6 : public QDialog {
    Q_OBJECT

public:
    explicit Form6(QWidget *parent = nullptr);
};
