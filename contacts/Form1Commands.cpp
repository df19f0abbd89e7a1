// The main window's command buttons: the contact commands and the buttons
// that open the other windows.

#include "Form1.h"
#include "ui_Form1.h"

#include "CallLogModel.h"
#include "ContactListModel.h"
#include "ContactsRecordset.h"
#include "Form1Parts.h"
#include "backup/Form6.h"
#include "frame/MessageService.h"
#include "base/Paths.h"
#include "frame/Settings.h"
#include "frame/Trap.h"
#include "reference/ContactTypesModel.h"
#include "reference/Form2.h"
#include "reference/Form5.h"
#include "reports/Form3.h"
#include "search/Form4.h"

#include <QDataWidgetMapper>
#include <QLabel>

#include <optional>

using form1::kUnit;

void connectCommandButtons(Ui::Form1 *ui, Form1 *window)
{
    QObject::connect(ui->PushButton1, &QPushButton::clicked, window, &Form1::PushButton1_Click);
    QObject::connect(ui->PushButton2, &QPushButton::clicked, window, &Form1::PushButton2_Click);
    QObject::connect(ui->PushButton3, &QPushButton::clicked, window, &Form1::PushButton3_Click);
    QObject::connect(ui->PushButton4, &QPushButton::clicked, window, &Form1::PushButton4_Click);
    QObject::connect(ui->PushButton5, &QPushButton::clicked, window, &Form1::PushButton5_Click);
    QObject::connect(ui->PushButton6, &QPushButton::clicked, window, &Form1::PushButton6_Click);
    QObject::connect(ui->PushButton7, &QPushButton::clicked, window, &Form1::PushButton7_Click);
    QObject::connect(ui->PushButton8, &QPushButton::clicked, window, &Form1::PushButton8_Click);
    QObject::connect(ui->PushButton9, &QPushButton::clicked, window, &Form1::PushButton9_Click);
    QObject::connect(ui->PushButton10, &QPushButton::clicked, window, &Form1::PushButton10_Click);
}

// Delete Current Contact
void Form1::PushButton3_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton3_Click"));
    if (!m_contactsRs->hasCurrent())
        return;
    if (!commitEditors())
        return;
    const bool yes = trap.confirm(100, [this] {
        const QString text = QStringLiteral("Do you really want to delete this Contact ?\r\nFor: ")
            + ui->FullName->text();
        return MessageService::instance().question(this, QStringLiteral("Question"), text)
            == MessageService::Answer::Yes;
    });
    if (!yes)
        return;
    trap.step(102, [this] { return m_contactsRs->deleteCurrent(); });
    // 104: no contact is current now; the rebuilt list chooses the next one
    // (the row last clicked, or the first).
    trap.step(106, [this]() -> Status {
        const Result<qint64> left = m_contactsRs->count();
        if (!left)
            return left.error();
        if (*left > 0) {
            listContacts();
        } else {
            m_list->clear();
            m_contactCount = 0;
        }
        return {};
    });
    trap.step(108, [this] { return SetFullName(); });
}

// Create New Contact
void Form1::PushButton4_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton4_Click"));
    if (!storeEditsInStep(trap, 106))
        return;
    m_addingContact = true;                // 100
    ui->PushButton4->setEnabled(false);    // 102
    ui->PushButton3->setEnabled(false);    // 104
    trap.step(106, [this] { return m_contactsRs->addNew(); });
    trap.step(108, [this] { return m_contactsRs->setValue(ContactField::FirstName, QStringLiteral("New Contact")); });
    trap.step(110, [this]() -> Status {
        if (Status stored = m_contactsRs->update(); !stored)
            return stored;
        showContactBoxes();
        selectCurrentInList(); // none: the list shows the new contact from Save on
        return {};
    });
    trap.step(112, [this] { return SetCalls(false); });
    trap.step(114, [this] { return SetFullName(); });
    // 116: typing replaces the default name.
    ui->SSTab1->setCurrentWidget(ui->tabGeneral);
    ui->Text1_0->setFocus();
    ui->Text1_0->selectAll();
}

bool Form1::storeEditsInStep(Trap &trap, int step)
{
    bool goOn = false;
    trap.step(step, [&]() -> Status {
        const Result<bool> stored = storeEdits();
        if (!stored)
            return stored.error();
        goOn = *stored;
        return {};
    });
    return goOn;
}

// Edit Contact Types
void Form1::PushButton5_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton5_Click"));
    commitEditors();
    trap.step(100, [this] {
        Form2 dialog(m_typesRs, [this] { return storeCurrentContact(); }, this);
        dialog.exec();
    });
    reloadContactTypes();
}

// Steps 102 to 106 of Edit Contact Types, after the window has closed.
void Form1::reloadContactTypes()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton5_Click"));
    trap.step(102, [this] { return storeCurrentContact(); });
    trap.step(104, [this] { return reloadTypes(); });
}

// View Reports
void Form1::PushButton6_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton6_Click"));
    commitEditors();
    trap.step(100, [this] {
        Form3 dialog(this);
        dialog.exec();
    });
}

// Save Contact
void Form1::PushButton7_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton7_Click"));
    if (!commitEditors())
        return;
    const bool hasType = trap.test(100, [this] { return !ui->dcbContactType->currentText().isEmpty(); });
    if (hasType) {
        // A contact the database did not take is not reported as saved;
        // Cancel in the question about another window's changes stays.
        bool stay = false;
        const bool stored = trap.step(102, [&]() -> Status {
            const Result<bool> written = storeEdits();
            if (!written)
                return written.error();
            stay = !*written;
            return {};
        }) && m_contactsRs->hasCurrent();
        if (stay)
            return;
        trap.step(104, [this] { return SetFullName(); });
        if (stored)
            MessageService::instance().information(this, ui->FullName1->text() + QStringLiteral("\r\n   saved.")); // 106
        m_addingContact = false;               // 108
        trap.step(110, [this] { listContacts(); });
        ui->PushButton3->setEnabled(true);     // 112
        ui->PushButton4->setEnabled(true);     // 114
        return;
    }
    MessageService::instance().information(this, QStringLiteral("Please select contact type.")); // 116
    ui->SSTab1->setCurrentWidget(ui->tabGeneral);                                          // 118
    ui->dcbContactType->setFocus();
}

// Search
void Form1::PushButton8_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton8_Click"));
    m_skipReselect = true; // 100
    if (!commitEditors())
        return;
    std::optional<qint64> chosen;
    trap.step(102, [&] {
        Form4 dialog(liveDatabasePath(), this);
        dialog.exec();
        chosen = dialog.selectedContactKey();
    });
    if (chosen) {
        // The search window's Select, steps 102 to 114, once it has closed.
        Trap select(this, QStringLiteral("Form4"), QStringLiteral("PushButton1_Click"));
        select.step(102, [&] { return showContact(*chosen); });
    }
}

// Edit Labels
void Form1::PushButton9_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton9_Click"));
    commitEditors();
    trap.step(100, [this] {
        QStringList captions;
        for (int index = 0; index < kLabelCount; ++index) {
            const QLabel *label = fieldLabel(index);
            captions << (label ? label->text() : defaultLabelCaption(index));
        }
        Form5 dialog(captions, this);
        dialog.exec();
        loadLabels();
    });
}

// Backup Database
void Form1::PushButton10_Click()
{
    Trap trap(this, kUnit, QStringLiteral("PushButton10_Click"));
    if (!commitEditors())
        return;
    if (!storeEditsInStep(trap, 100))
        return;
    trap.step(100, [this] {
        Form6 dialog(this);
        dialog.exec();
    });
    reloadAll(QStringLiteral("PushButton10_Click"));
}

// Steps 102 to 110 of Backup Database, after the window has closed: a
// restore may have replaced every row. An import ends the same way.
void Form1::reloadAll(const QString &procedure)
{
    Trap trap(this, kUnit, procedure);
    trap.step(102, [this] { return storeCurrentContact(); });
    trap.step(104, [this] { return reloadTypes(); });
    trap.step(106, [this]() -> Status {
        if (m_contactsRs->hasCurrent())
            if (Status read = m_contactsRs->requery(); !read)
                return read;
        if (!m_contactsRs->hasCurrent())
            return m_contactsRs->moveFirst();
        return {};
    });
    trap.step(108, [this] { listContacts(); });
    trap.step(110, [this]() -> Status {
        if (Status named = SetFullName(); !named)
            return named;
        return SetCalls(false);
    });
}
