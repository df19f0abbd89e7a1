#include "Form4.h"

Form4::Form4(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Search"));
}
