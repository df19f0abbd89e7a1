#pragma once

#include <QIdentityProxyModel>
#include <functional>

// The call grid's model: the calls of the contact and, after them, one empty
// row where the user can start a new call by typing its subject. The first
// value typed there creates the call with its defaults (see setNewRowHandler).
class NewCallRowModel : public QIdentityProxyModel {
    Q_OBJECT

public:
    using NewRowHandler = std::function<int(int column, const QVariant &value)>;

    explicit NewCallRowModel(QObject *parent = nullptr);

    // Called with the column and the typed value; stores the new call and
    // returns its row in the source model, or -1 when nothing was stored.
    void setNewRowHandler(NewRowHandler handler) { m_handler = std::move(handler); }
    void setNewRowEnabled(bool enabled);
    bool isNewRow(const QModelIndex &index) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    QModelIndex sibling(int row, int column, const QModelIndex &idx) const override;
    QModelIndex mapToSource(const QModelIndex &proxyIndex) const override;
    QModelIndex buddy(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int sourceRows() const;

    NewRowHandler m_handler;
    bool m_newRowEnabled = false;
};
