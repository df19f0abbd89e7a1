#include "Form6.h"

Form6::Form6(QWidget *parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Backup/Restore Database"));
}
