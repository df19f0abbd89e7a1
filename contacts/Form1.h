#pragma once

#include "base/Result.h"

#include <QSet>
#include <QWidget>

#include <memory>

class CallLogModel;
class CallStore;
class Connection;
class ContactListModel;
class ContactStore;
struct ContactConflict;
class ContactTypesModel;
class ContactsRecordset;
class NewCallRowModel;
class QDataWidgetMapper;
class QLabel;
class Trap;
class TypeStore;

namespace Ui {
class Form1;
}

// The main window: the contact list, the name banner, the current contact's
// fields on three tab pages and the commands that open the other windows.
//
// Its parts live in one file each: Form1.cpp (start-up, labels, closing),
// Form1Fields.cpp (bound boxes, banner, type box), Form1List.cpp (the
// contact list), Form1Calls.cpp (the call log) and Form1Commands.cpp (the
// command buttons).
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Rebuilds the contact list and puts the current contact on the selected row.
    void listContacts();
    // Refreshes the name banner from the current contact.
    Status SetFullName();
    // Rebuilds the call log for the current contact.
    Status SetCalls(bool blnStart);
    // Applies the field captions saved in the settings store.
    void loadLabels();

    // Makes the contact current, shows it and selects its list row (search).
    Status showContact(qint64 contactId);

    ContactsRecordset *contactsRs() const { return m_contactsRs; }
    CallLogModel *callsRs() const { return m_callsRs; }
    ContactTypesModel *typesRs() const { return m_typesRs; }
    ContactListModel *contactList() const { return m_list; }

    bool addingContact() const { return m_addingContact; }
    int lastListIndex() const { return m_lastListIndex; }
    bool skipReselect() const { return m_skipReselect; }
    void setSkipReselect(bool skip) { m_skipReselect = skip; }
    qint64 contactCount() const { return m_contactCount; }

    // The built-in caption of field label N (0 to 27).
    static QString defaultLabelCaption(int index);
    QLabel *fieldLabel(int index) const;

public slots:
    void PushButton1_Click();  // Delete Current Call
    void PushButton2_Click();  // Add New Call
    void PushButton3_Click();  // Delete Current Contact
    void PushButton4_Click();  // Create New Contact
    void PushButton5_Click();  // Edit Contact Types
    void PushButton6_Click();  // View Reports
    void PushButton7_Click();  // Save Contact
    void PushButton8_Click();  // Search
    void PushButton9_Click();  // Edit Labels
    void PushButton10_Click(); // Backup Database

protected:
    bool event(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Form1.cpp
    void Form_Load();
    void Form_Activate();
    void openContacts(Trap &trap);
    void openCalls(Trap &trap);
    void openTypes(Trap &trap);

    // Form1Fields.cpp
    void setUpFields();
    void nameBoxesAfterCaptions();
    void connectNavigationBar();
    void onCurrentContactChanged();
    void showName(const QString &firstName, const QString &lastName);
    void onContactTypeChosen(int comboIndex);
    void showContactType();
    void clearContactBoxes();
    void setBoxesEditable(bool editable);
    // Hands every open editor's text over: the bound boxes to the current
    // contact, the grid's cell and the notes box to the call. False when a
    // box refused its text (the user has been told why).
    bool commitEditors();
    bool commitBoxes();
    // Stores what the user changed on the current contact, settling with the
    // user what another window did meanwhile. False when the contact stays
    // current with its edits (the user chose Cancel).
    Result<bool> storeEdits();
    Status storeCurrentContact();
    // storeEdits() as a step of a trapped procedure: true when the command goes on.
    bool storeEditsInStep(Trap &trap, int step);
    // A box's text was changed by the user: its field is stored with the next write.
    void markEdited(int field);
    // The boxes of these fields hand their text to the current contact.
    void takeOverBoxes(const QSet<int> &fields);
    void onFocusChanged(QWidget *old);
    // Shows the current contact in the boxes; nothing counts as typed.
    void showContactBoxes();
    Status reloadTypes();

    // Form1List.cpp
    void setUpList();
    Status onListRowChosen(int row);
    Status sortListBy(int column);
    void selectListRow(int row);
    // The list selects the current contact's row (none when it is not listed).
    void selectCurrentInList();
    // The list row under a point of the list's viewport; -1 when none.
    qint64 contactAtListPoint(const QPoint &point) const;

    // Form1Calls.cpp
    void setUpCallLog();
    void onCurrentCallChanged();
    void reportCallWriteFailure(const Error &error);
    int startCallInGrid(int column, const QVariant &value);
    void setCurrentCall(int row);
    void commitCallEditors();
    void submitCallNotes(); // only a changed text

    // Form1Conflicts.cpp
    Result<bool> settleConflict(const ContactConflict &conflict);
    QString fieldCaption(int field) const;
    QString fieldText(int field, const QVariant &value) const;

    // Form1Commands.cpp
    void reloadContactTypes();
    // Reads everything again after the rows may have changed under the
    // window; failures are reported under `procedure`.
    void reloadAll(const QString &procedure);

    std::unique_ptr<Ui::Form1> ui;
    std::unique_ptr<Connection> m_contactsConnection;
    std::unique_ptr<Connection> m_callsConnection;
    std::unique_ptr<Connection> m_typesConnection;
    std::unique_ptr<ContactStore> m_contactStore;
    std::unique_ptr<CallStore> m_callStore;
    std::unique_ptr<TypeStore> m_typeStore;
    ContactsRecordset *m_contactsRs = nullptr;
    CallLogModel *m_callsRs = nullptr;
    NewCallRowModel *m_callGrid = nullptr;
    ContactTypesModel *m_typesRs = nullptr;
    ContactListModel *m_list = nullptr;
    QDataWidgetMapper *m_mapper = nullptr;
    QDataWidgetMapper *m_callNotesMapper = nullptr;

    qint64 m_contactCount = 0;
    bool m_addingContact = false;
    int m_lastListIndex = 0;
    bool m_skipReselect = false;
    bool m_fillingList = false;
    // A row of the list is being chosen by the user (click or key).
    bool m_choosingInList = false;
    bool m_closing = false;
    // Fields the user changed in the boxes since the contact was shown.
    QSet<int> m_editedFields;
    // The boxes are being filled from the contact, not typed into.
    bool m_showingContact = false;
    // The contact of the list row last right-clicked (the menu acts on it).
    qint64 m_menuContactId = -1;
};
