#include "Form5.h"
#include "ui_Form5.h"

#include "frame/DialogFrame.h"
#include "frame/MessageService.h"
#include "frame/Settings.h"
#include "frame/Theme.h"
#include "frame/Trap.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>

Form5::Form5(QStringList captions, QWidget *parent)
    : QDialog(parent), ui(std::make_unique<Ui::Form5>()), m_shownCaptions(std::move(captions)),
      m_captionNames(this)
{
    ui->setupUi(this);
    setUpDialogFrame(this, QSize(536, 385));
    for (int index = 0; index < kLabelCount; ++index) {
        QLineEdit *edit = box(index);
        if (index > 0)
            setTabOrder(box(index - 1), edit);
        connect(edit, &QLineEdit::textChanged, this, [this, index] { Text1_Change(index); });
        // Each box is announced by the caption it was opened with, so that
        // its name stays put while the user rewrites the caption.
        m_captionNames.name(edit, m_shownCaptions.value(index));
    }
    m_captionNames.apply();
    Form_Load();
    m_loaded = true;
}

Form5::~Form5() = default;

QLineEdit *Form5::box(int index) const
{
    return findChild<QLineEdit *>(QStringLiteral("Text1_%1").arg(index));
}

QStringList Form5::captions() const
{
    QStringList texts;
    for (int index = 0; index < kLabelCount; ++index)
        texts << box(index)->text();
    return texts;
}

void Form5::Form_Load()
{
    Trap trap(this, QStringLiteral("Form5"), QStringLiteral("Form_Load"));
    trap.step(100, [this] { ApplyFormColorWhite(this); });
    trap.step(102, [this] { setWindowIcon(QApplication::windowIcon()); });
    trap.step(104, [this] { applyHandCursor(this); });
    for (int index = 0; index < kLabelCount; ++index) {
        trap.step(110, [&] {
            const QString caption = m_shownCaptions.value(index);
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
    if (!SaveSetting(labelSettingKey(index), box(index)->text()) && m_loaded)
        m_notSaved = true;
}

void Form5::done(int result)
{
    if (m_notSaved && !m_toldNotSaved) {
        m_toldNotSaved = true;
        MessageService::instance().information(
            this, QStringLiteral("The captions could not be saved: the settings file %1 cannot be written. "
                                 "They are lost when Corvanta ends.")
                      .arg(QDir::toNativeSeparators(settingsFilePath())));
    }
    QDialog::done(result);
}
