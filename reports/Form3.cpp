#include "Form3.h"

Form3::Form3(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Reports"));
}
