#pragma once

#include <QAbstractTableModel>
#include <QCache>
#include <QSqlDatabase>
#include <QVector>

// The contact list: one row per contact in key order, with the columns
// "Address ID", "FirstName", "Lastname", "Address", "City", "Region", "Country".
// Only the keys are read when the list is filled; the texts are fetched a page
// at a time as the view shows them.
class ContactListModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit ContactListModel(QObject *parent = nullptr);

    void setDatabase(const QSqlDatabase &db) { m_db = db; }
    // Re-reads the keys; throws Failure with the database's message.
    void reload();
    void clear();

    qint64 contactIdAt(int row) const;
    int rowOfContact(qint64 contactId) const; // -1 when not listed

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    using Page = QVector<QStringList>;
    const Page *page(int pageNumber) const;

    QSqlDatabase m_db;
    QVector<qint64> m_keys;
    mutable QCache<int, Page> m_pages;
};
