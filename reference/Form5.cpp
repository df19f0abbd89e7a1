#include "Form5.h"
#include "ui_Form5.h"

#include "DialogFrame.h"
#include "contacts/Form1.h"
#include "frame/Settings.h"
#include "frame/Theme.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>

Form5::Form5(QWidget *parent) : QDialog(parent), ui(std::make_unique<Ui::Form5>())
{
    ui->setupUi(this);
    setUpDialogFrame(this, QSize(536, 385));
    for (int index = 0; index < kLabelCount; ++index) {
        QLineEdit *edit = box(index);
        if (index > 0)
            setTabOrder(box(index - 1), edit);
        connect(edit, &QLineEdit::textChanged, this, [this, index] { Text1_Change(index); });
    }
    Form_Load();
}

Form5::~Form5() = default;

QLineEdit *Form5::box(int index) const
{
    return findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(index));
}

void Form5::Form_Load()
{
    Trap trap(this, QStringLiteral("Form5"), QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    trap.step(104, [this] { applyHandCursor(this); });
    const auto *mainWindow = qobject_cast<const Form1 *>(parentWidget());
    for (int index = 0; index < kLabelCount; ++index) {
        trap.step(110, [&] {
            QString caption = Form1::defaultLabelCaption(index);
            if (mainWindow) {
                if (const QLabel *label = mainWindow->fieldLabel(index))
                    caption = label->text();
            }
            QLineEdit *edit = box(index);
            // Filling the box counts as a change, so the caption shown now is
            // stored even when it is the same text the box already holds.
            if (edit->text() == caption)
                Text1_Change(index);
            else
                edit->setText(caption);
        });
    }
}

void Form5::Text1_Change(int index)
{
    SaveSetting(labelSettingKey(index), box(index)->text());
}
