// The main window's bound boxes, name banner and contact type box.

#include "Form1.h"
#include "ui_Form1.h"

#include "CallLogModel.h"
#include "ContactsRecordset.h"
#include "FieldBoxes.h"
#include "Form1Parts.h"
#include "frame/Theme.h"
#include "frame/Trap.h"
#include "reference/ContactTypesModel.h"

#include <QDataWidgetMapper>
#include <QPlainTextEdit>

using form1::kUnit;

void Form1::setUpFields()
{
    m_mapper = new QDataWidgetMapper;
    m_mapper->setModel(m_contactsRs);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::AutoSubmit);
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        Q_ASSERT(box);
        m_mapper->addMapping(box, binding.field);
        // Tab moves on from the multi-line boxes too.
        if (auto *lines = qobject_cast<QPlainTextEdit *>(box))
            lines->setTabChangesFocus(true);
    }
    connect(m_contactsRs, &ContactsRecordset::currentRowChanged, this, &Form1::onCurrentContactChanged);

    // The banner follows every keystroke in the name boxes; the text reaches
    // the contact when the box is left, so the caret stays where the user put it.
    auto followName = [this] {
        if (m_contactsRs->hasCurrent())
            showName(ui->Text1_0->text(), ui->Text1_1->text());
    };
    connect(ui->Text1_0, &QLineEdit::textEdited, this, followName);
    connect(ui->Text1_1, &QLineEdit::textEdited, this, followName);
    connect(ui->Text1_0, &QLineEdit::editingFinished, this,
            guarded(this, kUnit, QStringLiteral("Text1_LostFocus"), [this] { return SetFullName(); }));
    connect(ui->Text1_1, &QLineEdit::editingFinished, this,
            guarded(this, kUnit, QStringLiteral("Text1_LostFocus"), [this] { return SetFullName(); }));

    ui->dcbContactType->setModel(m_typesRs);
    ui->dcbContactType->setModelColumn(ContactTypesModel::ContactType);
    connect(ui->dcbContactType, &QComboBox::activated, this, &Form1::onContactTypeChosen);

    // The read-only "Full Name" box is white like the banner.
    makeWhite(ui->FullName);
    setBoxesEditable(false);
}

// The "Contacts" bar: every move first takes over what the boxes hold.
void Form1::connectNavigationBar()
{
    auto move = [this](const QString &procedure, Status (ContactsRecordset::*step)()) {
        return guarded(this, kUnit, procedure, [this, step]() -> Status {
            if (!commitEditors())
                return {};
            if (Status moved = (m_contactsRs->*step)(); !moved)
                return moved;
            return SetFullName();
        });
    };
    connect(ui->dc, &NavigationBar::firstClicked, this, move(QStringLiteral("dc_First"), &ContactsRecordset::moveFirst));
    connect(ui->dc, &NavigationBar::previousClicked, this,
            move(QStringLiteral("dc_Previous"), &ContactsRecordset::movePrevious));
    connect(ui->dc, &NavigationBar::nextClicked, this, move(QStringLiteral("dc_Next"), &ContactsRecordset::moveNext));
    connect(ui->dc, &NavigationBar::lastClicked, this, move(QStringLiteral("dc_Last"), &ContactsRecordset::moveLast));
}

Status Form1::SetFullName()
{
    if (!m_contactsRs->hasCurrent()) {
        // No current contact (empty table, last contact deleted): a quiet, empty banner.
        showName(QString(), QString());
        return {};
    }
    showName(form1::nullAsEmpty(m_contactsRs->value(ContactField::FirstName)),
             form1::nullAsEmpty(m_contactsRs->value(ContactField::LastName)));
    // The log belongs to the contact shown, also between two of the same name.
    // Until the log has its record set (start-up) it is built by SetCalls itself.
    if (m_callsRs->isOpen() && m_callsRs->contactId() != m_contactsRs->currentId() && m_contactsRs->currentId() >= 0)
        return SetCalls(false);
    return {};
}

void Form1::showName(const QString &firstName, const QString &lastName)
{
    const QString name = m_contactsRs->hasCurrent() ? firstName + QLatin1Char(' ') + lastName : QString();
    if (ui->FullName->text() == name)
        return;
    ui->FullName->setText(name);
    ui->FullName1->setText(name);
}

void Form1::onCurrentContactChanged()
{
    const bool current = m_contactsRs->hasCurrent();
    if (current) {
        m_mapper->setCurrentIndex(0);
        showContactType();
    } else {
        clearContactBoxes();
    }
    setBoxesEditable(current);
    // The banner and the call log are refreshed by whoever moved the row
    // (SetFullName), so that a failure is reported once, under its name.
}

void Form1::setBoxesEditable(bool editable)
{
    // Without a current contact nothing typed could be stored: the boxes wait.
    for (const form1::BoxBinding &binding : form1::kBoxBindings)
        findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box))->setEnabled(editable);
    ui->dcbContactType->setEnabled(editable);
}

void Form1::onContactTypeChosen(int comboIndex)
{
    if (!m_contactsRs->hasCurrent() || comboIndex < 0)
        return;
    runGuarded(this, kUnit, QStringLiteral("dcbContactType_Click"), [&] {
        return m_contactsRs->setValue(ContactField::ContactTypeID, m_typesRs->typeIdAt(comboIndex));
    });
}

void Form1::showContactType()
{
    ui->dcbContactType->setCurrentIndex(
        m_contactsRs->hasCurrent() ? m_typesRs->rowOfType(m_contactsRs->value(ContactField::ContactTypeID)) : -1);
}

void Form1::clearContactBoxes()
{
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        const QByteArray property = m_mapper->mappedPropertyName(box);
        box->setProperty(property.constData(), QVariant(QMetaType::fromType<QString>()));
    }
    ui->dcbContactType->setCurrentIndex(-1);
}

bool Form1::commitBoxes()
{
    if (!m_contactsRs->hasCurrent())
        return true;
    // A birth date that is not a date is refused as when the box is left.
    if (ui->Text1_22->hasFocus() && !ui->Text1_22->acceptTyped())
        return false;
    m_mapper->submit();
    return true;
}

bool Form1::commitEditors()
{
    commitCallEditors();
    return commitBoxes();
}

Status Form1::storeCurrentContact()
{
    if (!commitBoxes())
        return {};
    if (m_contactsRs->hasCurrent() && m_contactsRs->isEditing() && !m_contactsRs->isNewRow())
        return m_contactsRs->update();
    return {};
}

Status Form1::reloadTypes()
{
    if (Status loaded = m_typesRs->load(); !loaded)
        return loaded;
    showContactType();
    return {};
}
