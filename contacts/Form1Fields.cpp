// The main window's bound boxes, name banner and contact type box.

#include "Form1.h"
#include "ui_Form1.h"

#include "CallLogModel.h"
#include "ContactsRecordset.h"
#include "FieldBoxes.h"
#include "Form1Parts.h"
#include "frame/Theme.h"
#include "frame/Trap.h"
#include "store/Statement.h"
#include "reference/ContactTypesModel.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QDataWidgetMapper>
#include <QPlainTextEdit>

#include <utility>

using form1::kUnit;

void Form1::setUpFields()
{
    // The mapper shows the current contact in the boxes; it never writes.
    // What the user types is tracked box by box (markEdited) and only those
    // fields go into the contact (commitBoxes), so that looking at a contact
    // leaves every byte of it as it was.
    m_mapper = new QDataWidgetMapper(this);
    m_mapper->setModel(m_contactsRs);
    m_mapper->setSubmitPolicy(QDataWidgetMapper::ManualSubmit);
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        Q_ASSERT(box);
        m_mapper->addMapping(box, binding.field);
        const int field = binding.field;
        if (auto *line = qobject_cast<QLineEdit *>(box)) {
            connect(line, &QLineEdit::textEdited, this, [this, field] { markEdited(field); });
        } else if (auto *lines = qobject_cast<QPlainTextEdit *>(box)) {
            // Tab moves on from the multi-line boxes too.
            lines->setTabChangesFocus(true);
            connect(lines, &QPlainTextEdit::textChanged, this, [this, field] {
                if (!m_showingContact)
                    markEdited(field);
            });
        }
    }
    // Esc in a box puts the stored value back: the box holds no edit any more.
    connect(m_mapper->itemDelegate(), &QAbstractItemDelegate::closeEditor, this,
            [this](QWidget *box, QAbstractItemDelegate::EndEditHint hint) {
                if (hint == QAbstractItemDelegate::RevertModelCache)
                    m_editedFields.remove(m_mapper->mappedSection(box));
            });
    // A birth date refused goes back to what was shown: no edit is left.
    connect(ui->Text1_22, &DateLineEdit::typedTextRefused, this,
            [this] { m_editedFields.remove(ContactField::Birthdate); });
    connect(m_contactsRs, &ContactsRecordset::currentRowChanged, this, &Form1::onCurrentContactChanged);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget *old, QWidget *) { onFocusChanged(old); });

    // The banner follows every keystroke in the name boxes; the text reaches
    // the contact when the row moves or is saved, so the caret stays where the user put it.
    auto followName = [this] {
        if (m_contactsRs->hasCurrent())
            showName(ui->Text1_0->text(), ui->Text1_1->text());
    };
    connect(ui->Text1_0, &QLineEdit::textEdited, this, followName);
    connect(ui->Text1_1, &QLineEdit::textEdited, this, followName);
    auto nameShown = [this]() -> Status {
        // An edited name shows as typed; an untouched one as stored.
        if (m_editedFields.contains(ContactField::FirstName) || m_editedFields.contains(ContactField::LastName)) {
            showName(ui->Text1_0->text(), ui->Text1_1->text());
            return {};
        }
        return SetFullName();
    };
    connect(ui->Text1_0, &QLineEdit::editingFinished, this, guarded(this, kUnit, QStringLiteral("Text1_LostFocus"), nameShown));
    connect(ui->Text1_1, &QLineEdit::editingFinished, this, guarded(this, kUnit, QStringLiteral("Text1_LostFocus"), nameShown));

    ui->dcbContactType->setModel(m_typesRs);
    ui->dcbContactType->setModelColumn(ContactTypesModel::ContactType);
    connect(ui->dcbContactType, &QComboBox::activated, this, &Form1::onContactTypeChosen);

    // The read-only "Full Name" box is white like the banner.
    makeWhite(ui->FullName);
    setBoxesEditable(false);
}

void Form1::markEdited(int field)
{
    if (m_contactsRs->hasCurrent())
        m_editedFields.insert(field);
}

void Form1::showContactBoxes()
{
    m_showingContact = true;
    m_mapper->setCurrentIndex(0);
    m_showingContact = false;
    m_editedFields.clear();
}

// The "Contacts" bar: every move first takes over what the boxes hold.
void Form1::connectNavigationBar()
{
    auto move = [this](const QString &procedure, Status (ContactsRecordset::*step)()) {
        return guarded(this, kUnit, procedure, [this, step]() -> Status {
            const Result<bool> stored = storeEdits();
            if (!stored)
                return stored.error();
            if (!*stored)
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
        showContactBoxes();
        showContactType();
    } else {
        clearContactBoxes();
    }
    setBoxesEditable(current);
    selectCurrentInList();
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
    m_showingContact = true;
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        const QByteArray property = m_mapper->mappedPropertyName(box);
        box->setProperty(property.constData(), QVariant(QMetaType::fromType<QString>()));
    }
    m_showingContact = false;
    m_editedFields.clear();
    ui->dcbContactType->setCurrentIndex(-1);
}

bool Form1::commitBoxes()
{
    if (!m_contactsRs->hasCurrent()) {
        m_editedFields.clear();
        return true;
    }
    // A birth date that is not a date is refused as when the box is left.
    if (m_editedFields.contains(ContactField::Birthdate) && !ui->Text1_22->acceptTyped())
        return false;
    // Only what the user typed goes into the contact, as the box holds it.
    const QSet<int> edited = std::exchange(m_editedFields, {});
    takeOverBoxes(edited);
    return true;
}

void Form1::takeOverBoxes(const QSet<int> &fields)
{
    m_showingContact = true;
    for (const form1::BoxBinding &binding : form1::kBoxBindings) {
        if (!fields.contains(binding.field))
            continue;
        QWidget *box = findChild<QWidget *>(QStringLiteral("Text1_%1").arg(binding.box));
        const QByteArray property = m_mapper->mappedPropertyName(box);
        (void)m_contactsRs->setValue(binding.field, box->property(property.constData()));
    }
    m_showingContact = false;
}

// A box the user typed into hands its text to the contact when it is left.
void Form1::onFocusChanged(QWidget *old)
{
    if (!old || !m_contactsRs->hasCurrent() || old->window() != this)
        return;
    const int field = m_mapper->mappedSection(old);
    if (field < 0 || !m_editedFields.contains(field))
        return;
    m_editedFields.remove(field);
    takeOverBoxes({field});
}

bool Form1::commitEditors()
{
    commitCallEditors();
    return commitBoxes();
}

Result<bool> Form1::storeEdits()
{
    if (!commitEditors())
        return false;
    // A new contact is stored by Create itself; its edits go with Save or a move.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!m_contactsRs->hasCurrent() || !m_contactsRs->isEditing())
            return true;
        const Status written = m_contactsRs->update();
        if (written)
            return true;
        if (!isRowChanged(written.error()))
            return written.error();
        const Result<ContactConflict> conflict = m_contactsRs->conflict();
        if (!conflict)
            return conflict.error();
        const Result<bool> settled = settleConflict(*conflict);
        if (!settled || !*settled)
            return settled;
    }
    return rowChangedError();
}

Status Form1::storeCurrentContact()
{
    const Result<bool> stored = storeEdits();
    return stored ? Status() : Status(stored.error());
}

Status Form1::reloadTypes()
{
    if (Status loaded = m_typesRs->load(); !loaded)
        return loaded;
    showContactType();
    return {};
}
