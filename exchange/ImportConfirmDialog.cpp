#include "ImportConfirmDialog.h"
#include "ui_ImportConfirmDialog.h"

#include "frame/Theme.h"

#include <QPushButton>

namespace exchange {

namespace {
constexpr int kNamesShown = 10;

QString listed(const QStringList &items)
{
    QStringList shown = items.mid(0, kNamesShown);
    if (items.size() > kNamesShown)
        shown << QObject::tr("and %1 more").arg(items.size() - kNamesShown);
    return shown.join(QStringLiteral("\n"));
}
} // namespace

ImportConfirmDialog::ImportConfirmDialog(const ImportSurvey &survey, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::ImportConfirmDialog>())
{
    ui->setupUi(this);
    ApplyFormColorWhite(this);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(tr("Import"));
    QString found = survey.found == 1 ? tr("1 contact found.") : tr("%1 contacts found.").arg(survey.found);
    if (survey.duplicates == 0)
        found += QLatin1Char(' ') + tr("None of them looks like a contact already in the database.");
    else if (survey.duplicates == 1)
        found += QLatin1Char(' ') + tr("1 of them looks like a contact already in the database "
                                       "(the same e-mail address, or the same name and phone number).");
    else
        found += QLatin1Char(' ') + tr("%1 of them look like contacts already in the database "
                                       "(the same e-mail address, or the same name and phone number).")
                                        .arg(survey.duplicates);
    ui->labelFound->setText(found);
    ui->groupDuplicates->setVisible(survey.duplicates > 0);

    QStringList notes;
    if (!survey.notKept.isEmpty())
        notes << tr("These cannot be kept and are left out:") + QLatin1Char('\n') + listed(survey.notKept);
    if (!survey.problems.isEmpty())
        notes << listed(survey.problems);
    ui->labelNotKept->setText(notes.join(QStringLiteral("\n\n")));
    ui->labelNotKept->setVisible(!notes.isEmpty());
    applyHandCursor(this);
    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setMinimumWidth(440);
    adjustSize();
}

ImportConfirmDialog::~ImportConfirmDialog() = default;

DuplicatePolicy ImportConfirmDialog::policy() const
{
    if (ui->radioFill->isChecked())
        return DuplicatePolicy::FillEmpty;
    if (ui->radioAdd->isChecked())
        return DuplicatePolicy::AddNew;
    return DuplicatePolicy::Skip;
}

} // namespace exchange
