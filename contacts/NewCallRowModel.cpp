#include "NewCallRowModel.h"

NewCallRowModel::NewCallRowModel(QObject *parent) : QIdentityProxyModel(parent) {}

void NewCallRowModel::setNewRowEnabled(bool enabled)
{
    if (enabled == m_newRowEnabled)
        return;
    const int row = sourceRows();
    if (enabled) {
        beginInsertRows({}, row, row);
        m_newRowEnabled = true;
        endInsertRows();
    } else {
        beginRemoveRows({}, row, row);
        m_newRowEnabled = false;
        endRemoveRows();
    }
}

int NewCallRowModel::sourceRows() const
{
    return sourceModel() ? sourceModel()->rowCount() : 0;
}

bool NewCallRowModel::isNewRow(const QModelIndex &index) const
{
    return m_newRowEnabled && index.isValid() && index.row() == sourceRows();
}

int NewCallRowModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return sourceRows() + (m_newRowEnabled ? 1 : 0);
}

QModelIndex NewCallRowModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || !sourceModel() || column < 0 || column >= columnCount())
        return {};
    if (m_newRowEnabled && row == sourceRows())
        return createIndex(row, column, nullptr);
    return QIdentityProxyModel::index(row, column, parent);
}

QModelIndex NewCallRowModel::parent(const QModelIndex &) const
{
    return {};
}

QModelIndex NewCallRowModel::sibling(int row, int column, const QModelIndex &) const
{
    return index(row, column);
}

QModelIndex NewCallRowModel::mapToSource(const QModelIndex &proxyIndex) const
{
    if (isNewRow(proxyIndex))
        return {};
    return QIdentityProxyModel::mapToSource(proxyIndex);
}

QModelIndex NewCallRowModel::buddy(const QModelIndex &index) const
{
    return isNewRow(index) ? index : QIdentityProxyModel::buddy(index);
}

QVariant NewCallRowModel::data(const QModelIndex &index, int role) const
{
    if (isNewRow(index))
        return role == Qt::EditRole ? QVariant(QString()) : QVariant(); // a text editor for the new row
    return QIdentityProxyModel::data(index, role);
}

bool NewCallRowModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!isNewRow(index))
        return QIdentityProxyModel::setData(index, value, role);
    if (role != Qt::EditRole || !m_handler || value.toString().isEmpty())
        return false;
    return m_handler(index.column(), value) >= 0;
}

Qt::ItemFlags NewCallRowModel::flags(const QModelIndex &index) const
{
    if (isNewRow(index))
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
    return QIdentityProxyModel::flags(index);
}

QVariant NewCallRowModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Vertical && role == Qt::DisplayRole && m_newRowEnabled && section == sourceRows())
        return QStringLiteral("*");
    return QIdentityProxyModel::headerData(section, orientation, role);
}
