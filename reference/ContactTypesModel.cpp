#include "ContactTypesModel.h"

#include "frame/Collation.h"
#include "store/Statement.h"

ContactTypesModel::ContactTypesModel(QObject *parent) : QAbstractTableModel(parent) {}

Status ContactTypesModel::load()
{
    if (!m_store)
        return closedObjectError();
    Result<QVector<ContactTypeRow>> rows = m_store->all();
    if (!rows)
        return rows.error();
    // The store reads them in key order of the caption's bytes; a person reads
    // them in the order of the user's locale.
    QStringList captions;
    captions.reserve(rows->size());
    for (const ContactTypeRow &row : *rows)
        captions << row.name.toString();
    QVector<ContactTypeRow> ordered;
    ordered.reserve(rows->size());
    for (int position : collatedOrder(captions))
        ordered.append(rows->at(position));
    beginResetModel();
    m_rows = std::move(ordered);
    endResetModel();
    return {};
}

Result<int> ContactTypesModel::addType(const QString &name)
{
    if (!m_store)
        return closedObjectError();
    const Result<qint64> key = m_store->add(name);
    if (!key)
        return key.error();
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append({*key, name});
    endInsertRows();
    return row;
}

Status ContactTypesModel::removeType(int row)
{
    if (row < 0 || row >= m_rows.size())
        return noCurrentRecordError();
    if (!m_store)
        return closedObjectError();
    if (Status removed = m_store->remove(m_rows.at(row).id); !removed)
        return removed;
    beginRemoveRows({}, row, row);
    m_rows.remove(row);
    endRemoveRows();
    return {};
}

Result<qint64> ContactTypesModel::contactCount(int row)
{
    if (row < 0 || row >= m_rows.size())
        return noCurrentRecordError();
    if (!m_store)
        return closedObjectError();
    return m_store->contactCount(m_rows.at(row).id);
}

qint64 ContactTypesModel::typeIdAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : -1;
}

QString ContactTypesModel::nameAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).name.toString() : QString();
}

int ContactTypesModel::rowOfType(const QVariant &typeId) const
{
    if (typeId.isNull() || !typeId.isValid())
        return -1;
    bool isNumber = false;
    const qint64 id = typeId.toLongLong(&isNumber);
    if (!isNumber)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        if (m_rows.at(row).id == id)
            return row;
    }
    return -1;
}

int ContactTypesModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int ContactTypesModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant ContactTypesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const ContactTypeRow &row = m_rows.at(index.row());
    if (index.column() == ContactTypeID)
        return row.id;
    return row.name.toString();
}

bool ContactTypesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != ContactType || role != Qt::EditRole
        || index.row() >= m_rows.size())
        return false;
    const QString name = value.toString();
    ContactTypeRow &row = m_rows[index.row()];
    if (!row.name.isNull() && name == row.name.toString())
        return true;
    if (name.trimmed().isEmpty()) {
        emit emptyNameRefused(index.row());
        return false;
    }
    const Status stored = m_store ? m_store->rename(row.id, name) : Status(closedObjectError());
    if (!stored) {
        emit writeFailed(stored.error());
        return false;
    }
    row.name = name;
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags ContactTypesModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() == ContactType)
        result |= Qt::ItemIsEditable;
    return result;
}

QVariant ContactTypesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical)
        return section + 1;
    return section == ContactTypeID ? QStringLiteral("ContactTypeID") : QStringLiteral("Contact Type");
}
