#include "Form5.h"

Form5::Form5(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Edit Labels"));
}
