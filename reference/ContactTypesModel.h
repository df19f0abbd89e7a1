#pragma once

#include "base/Result.h"
#include "store/TypeStore.h"

#include <QAbstractTableModel>
#include <QVector>

// The contact types, as one model for both the main window's type box and
// the types window's grid: read in alphabetical order by load(), new types
// appended at the end where they were added until the next load(). Every
// change is written to the database at once: a new type and a deletion by
// their command, a changed name when the cell's edit is committed. data()
// and setData() never show a box; a refused write is announced by
// writeFailed().
class ContactTypesModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { ContactTypeID = 0, ContactType = 1 };

    explicit ContactTypesModel(QObject *parent = nullptr);

    // Works on the store given; without one every operation fails as closed.
    void setStore(TypeStore *store) { m_store = store; }
    Status load();
    Result<int> addType(const QString &name); // the new row
    Status removeType(int row);
    // How many contacts have the type of the row.
    Result<qint64> contactCount(int row);

    qint64 typeIdAt(int row) const;
    QString nameAt(int row) const;
    int rowOfType(const QVariant &typeId) const; // -1 when no row has that key

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // A name without any text was typed; the stored name stays.
    void emptyNameRefused(int row);
    void writeFailed(const Error &error);

private:
    TypeStore *m_store = nullptr;
    QVector<ContactTypeRow> m_rows;
};
