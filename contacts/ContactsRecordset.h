#pragma once

#include <QAbstractTableModel>
#include <QSqlDatabase>
#include <QVector>

// The contact record set: one current row of the Contacts table, edited in
// place and written back on update(). It walks the table in key order with
// indexed seeks, so it costs the same for ten contacts as for a million.
//
// As a model it has one row (the current contact) or none, and one column per
// field, so that a QDataWidgetMapper binds the boxes of the main window to it.
class ContactsRecordset : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ContactsRecordset(QObject *parent = nullptr);

    void open(const QSqlDatabase &db);
    QSqlDatabase database() const { return m_db; }

    // Neither before the first nor after the last row: there is a current contact.
    bool hasCurrent() const { return m_hasCurrent; }
    qint64 currentId() const;
    bool isNewRow() const { return m_isNew; }
    // A change pending on the current row, or a new row not yet stored.
    bool isEditing() const { return m_isNew || !m_changed.isEmpty(); }

    QVariant value(int field) const;
    void setValue(int field, const QVariant &value);

    // Moves store a pending change first, as the record set always has.
    // All of them throw Failure with the database's message.
    void moveFirst();
    void moveLast();
    void moveNext();      // stays on the last row at the end
    void movePrevious();  // stays on the first row at the start
    void moveTo(qint64 contactId);

    void addNew();        // a new row, stored by update()
    void update();        // writes the pending changes
    void deleteCurrent(); // deletes the contact and its calls; no current row after
    void requery();       // re-reads the current row from the database
    qint64 count() const;

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

private:
    // Throws Failure when there is no current row.
    void requireCurrent() const;
    bool seek(const QString &condition, const QVariant &bound, bool storeFirst);
    void loadRow(const QVector<QVariant> &values);
    void clearRow();

    QSqlDatabase m_db;
    QVector<QVariant> m_values;
    QVector<int> m_changed;
    bool m_hasCurrent = false;
    bool m_isNew = false;
};
