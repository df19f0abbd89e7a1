#pragma once

#include <QSqlDatabase>
#include <QWidget>

#include <memory>

class CallLogModel;
class ContactListModel;
class ContactsRecordset;
class NewCallRowModel;
class QDataWidgetMapper;
class QLabel;
class QSqlQueryModel;

namespace Ui {
class Form1;
}

// The main window: the contact list, the name banner, the current contact's
// fields on three tab pages and the commands that open the other windows.
class Form1 : public QWidget {
    Q_OBJECT

public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Rebuilds the contact list and puts the current contact on the selected row.
    void listContacts();
    // Refreshes the name banner from the current contact.
    void SetFullName();
    // Rebuilds the call log for the current contact.
    void SetCalls(bool blnStart);
    // Applies the field captions saved in the settings store.
    void loadLabels();

    // Makes the contact current, shows it and selects its list row (search).
    // Throws Failure when the contact is not there any more.
    void showContact(qint64 contactId);
    // Stores the pending change of the current contact and re-reads the types.
    void reloadContactTypes();
    // Re-reads contacts, types and the call log (after a restore).
    void reloadAll();

    ContactsRecordset *contactsRs() const { return m_contactsRs; }
    CallLogModel *callsRs() const { return m_callsRs; }
    QSqlQueryModel *typesRs() const { return m_typesRs; }
    ContactListModel *contactList() const { return m_list; }
    QSqlDatabase database() const { return m_db; }

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
    void Form_Load();
    void Form_Activate();
    void setUpBindings();
    void onCurrentContactChanged();
    void onListRowChosen(int row);
    void onNameTyped(int field, const QString &text);
    void onContactTypeChosen(int comboIndex);
    void showContactType();
    void clearContactBoxes();
    void commitBoxes();
    void selectListRow(int row);
    void reloadTypes();
    void storePendingCallEdits();
    void setUpCallLogView();
    void onCurrentCallChanged();
    int startCallInGrid(int column, const QVariant &value);
    void setCurrentCall(int row);

    std::unique_ptr<Ui::Form1> ui;
    QSqlDatabase m_db;
    ContactsRecordset *m_contactsRs = nullptr;
    CallLogModel *m_callsRs = nullptr;
    NewCallRowModel *m_callGrid = nullptr;
    QSqlQueryModel *m_typesRs = nullptr;
    ContactListModel *m_list = nullptr;
    QDataWidgetMapper *m_mapper = nullptr;
    QDataWidgetMapper *m_callNotesMapper = nullptr;

    qint64 m_contactCount = 0;
    bool m_addingContact = false;
    int m_lastListIndex = 0;
    bool m_skipReselect = false;
    bool m_fillingList = false;
    bool m_closing = false;
};
