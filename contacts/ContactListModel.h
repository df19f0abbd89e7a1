#pragma once

#include "base/Result.h"
#include "store/ContactStore.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QVector>

// The contact list: one row per contact, with the columns "Address ID",
// "FirstName", "Lastname", "Address", "City", "Region", "Country"; in key
// order, or in the order of one column (sortBy).
// Filling the list only counts the contacts; keys and texts are read a block
// at a time as the view shows them, so a million contacts fill as fast as ten.
// A block that cannot be read shows empty rows and is read again the next
// time it is shown; the failure is announced once by readFailed().
class ContactListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    void setStore(ContactStore *store) { m_store = store; }
    // Re-reads the contacts in key order.
    Status reload();
    void clear();

    // Re-reads the contacts in the given order; nothing changes when that fails.
    Status sortBy(const ContactListOrder &order);
    const ContactListOrder &order() const { return m_order; }

    qint64 contactIdAt(int row) const;         // -1 outside the list
    int rowOfContact(qint64 contactId) const; // -1 when not listed
    // The row the contact has once the list is back in key order; -1 when unknown.
    int keyOrderRowOf(qint64 contactId) const;
    // Reads the contact's row again (after its edits were stored).
    void refreshContact(qint64 contactId);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // A read of keys or texts failed; the rows show blank until a read succeeds.
    // Sent once per run of failures; connect it queued, as it comes while
    // the view paints.
    void readFailed(const QString &description);

private:
    using Keys = QVector<qint64>;
    using Page = QVector<QStringList>;
    const Keys *keyBlock(int block) const;
    const Page *page(int pageNumber) const;
    Status fillSortedPage(Page &rows, int first, int last) const;

    Status resetTo(const ContactListOrder &order);
    void noteRead(const Status &outcome) const;

    ContactStore *m_store = nullptr;
    ContactListOrder m_order;
    int m_rows = 0;
    mutable QCache<int, Keys> m_keyBlocks;
    mutable QCache<int, Page> m_pages;
    // What a block shows while it cannot be read; never cached.
    mutable Keys m_unreadKeys;
    mutable Page m_unreadPage;
    mutable bool m_failing = false;
};
