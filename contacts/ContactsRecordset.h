#pragma once

#include "base/Result.h"

#include <QAbstractTableModel>
#include <QVector>

#include <optional>

class ContactStore;

// What another window did to the current contact since it was read here.
struct ContactConflict {
    bool deleted = false;
    // The fields edited here that the other window changed too.
    QVector<int> fields;
    // The row as the database holds it now; empty when it was deleted.
    QVector<QVariant> theirs;
};

// The contact record set: one current row of the Contacts table, edited in
// place and written back on update(). It walks the table in key order with
// indexed seeks, so it costs the same for ten contacts as for a million.
//
// As a model it has one row (the current contact) or none, and one column per
// field, so that a QDataWidgetMapper binds the boxes of the main window to it.
// data() and setData() only touch the row in memory; every operation that
// reaches the database returns its outcome.
class ContactsRecordset : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ContactsRecordset(QObject *parent = nullptr);

    // Works on the store given; without one the record set is closed and
    // every operation fails with the database's "closed" message.
    void open(ContactStore *store);
    bool isOpen() const { return m_store != nullptr; }

    // Neither before the first nor after the last row: there is a current contact.
    bool hasCurrent() const { return m_hasCurrent; }
    qint64 currentId() const;
    bool isNewRow() const { return m_isNew; }
    // A change pending on the current row, or a new row not yet stored.
    bool isEditing() const { return m_isNew || !m_changed.isEmpty(); }

    // The value of a field of the current row; nothing without one.
    QVariant value(int field) const;
    Status setValue(int field, const QVariant &value);

    // Moves store a pending change first, as the record set always has; when
    // that fails, the row stays current with its edit.
    Status moveFirst();
    Status moveLast();
    Status moveNext();      // stays on the last row at the end
    Status movePrevious();  // stays on the first row at the start
    Status moveTo(qint64 contactId);

    Status addNew();        // a new row, stored by update()
    // Writes the pending changes. When another program changed one of the
    // edited fields (or the row is gone) nothing is written and the edit stays.
    Status update();
    Status deleteCurrent(); // deletes the contact and its calls; no current row after
    Status requery();       // re-reads the current row from the database

    // The fields edited on the current row and not yet stored.
    const QVector<int> &changedFields() const { return m_changed; }
    // After update() failed because the row changed elsewhere: what changed.
    Result<ContactConflict> conflict() const;
    // The edits go over the other window's values at the next update().
    void keepMine(const ContactConflict &conflict);
    // The edits of the conflicting fields are dropped; the row shows what is
    // stored now, with the edits of the other fields still pending.
    void takeTheirs(const ContactConflict &conflict);
    // The row was deleted elsewhere: stores it with its edits as a new contact.
    Status saveAsNew();
    // The row was deleted elsewhere: forgets it and its edits.
    void discard();
    Result<qint64> count() const;

    // QAbstractItemModel
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The current row is another one (or there is none any more).
    void currentRowChanged();
    // Edits of an existing contact were written to the database.
    void rowStored(qint64 contactId);

private:
    using Found = Result<std::optional<QVector<QVariant>>>;
    Status requireOpen() const;
    // Shows the row found; when none was found the current row stays or, with clearWhenNone, goes.
    Status show(const Found &found, bool clearWhenNone);
    void loadRow(const QVector<QVariant> &values);
    void clearRow();

    ContactStore *m_store = nullptr;
    QVector<QVariant> m_values;
    QVector<QVariant> m_read; // the row as it was read, for the optimistic check
    QVector<int> m_changed;
    bool m_hasCurrent = false;
    bool m_isNew = false;
};
