#include "Form2.h"

Form2::Form2(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Contact Types"));
}
