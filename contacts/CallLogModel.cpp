#include "CallLogModel.h"

#include "frame/Formats.h"
#include "store/Statement.h"

CallLogModel::CallLogModel(QObject *parent) : QAbstractTableModel(parent) {}

Status CallLogModel::showContact(qint64 contactId)
{
    QVector<CallValues> calls;
    if (contactId >= 0) {
        if (!m_store)
            return closedObjectError();
        Result<QVector<CallValues>> read = m_store->callsOf(contactId);
        if (!read)
            return read.error();
        calls = std::move(read).value();
    }
    beginResetModel();
    m_contactId = contactId;
    m_calls = std::move(calls);
    endResetModel();
    return {};
}

Result<int> CallLogModel::addCall(const QDateTime &when)
{
    if (!m_store)
        return closedObjectError();
    if (m_contactId < 0)
        return noCurrentRecordError();
    const Result<qint64> key = m_store->add(m_contactId, when);
    if (!key)
        return key.error();
    CallValues call(CallStore::FieldCount);
    call[CallID] = *key;
    call[ContactID] = m_contactId;
    call[CallDate] = when.date().toString(Qt::ISODate);
    call[CallTime] = when.time().toString(QStringLiteral("HH:mm:ss"));
    const int row = int(m_calls.size());
    beginInsertRows({}, row, row);
    m_calls.append(call);
    endInsertRows();
    return row;
}

Status CallLogModel::removeCall(int row)
{
    if (row < 0 || row >= m_calls.size())
        return noCurrentRecordError();
    if (!m_store)
        return closedObjectError();
    if (Status removed = m_store->remove(m_calls.at(row).value(CallID).toLongLong()); !removed)
        return removed;
    beginRemoveRows({}, row, row);
    m_calls.remove(row);
    endRemoveRows();
    return {};
}

int CallLogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_calls.size());
}

int CallLogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : CallStore::FieldCount;
}

QVariant CallLogModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_calls.size() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const QVariant value = m_calls.at(index.row()).value(index.column());
    if (role != Qt::DisplayRole)
        return value;
    switch (index.column()) {
    case CallDate:
        return formatShortDate(storedDate(value), QLocale());
    case CallTime:
        return formatTimeAmPm(storedTime(value));
    default:
        return value.isNull() ? QVariant() : value;
    }
}

bool CallLogModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || index.row() >= m_calls.size() || index.column() < CallDate)
        return false;
    CallValues &call = m_calls[index.row()];
    const QVariant stored = storableValue(value);
    const QVariant &old = call[index.column()];
    if (old.isNull() == stored.isNull() && old.toString() == stored.toString())
        return true;
    const Status written = m_store ? m_store->setField(call.value(CallID).toLongLong(), index.column(), stored)
                                   : Status(closedObjectError());
    if (!written) {
        emit writeFailed(written.error());
        return false;
    }
    call[index.column()] = stored;
    emit dataChanged(index, index);
    return true;
}

Qt::ItemFlags CallLogModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags result = QAbstractTableModel::flags(index);
    if (index.isValid() && index.column() >= CallDate)
        result |= Qt::ItemIsEditable;
    return result;
}

QVariant CallLogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList captions = {
        QStringLiteral("CallID"),    QStringLiteral("ContactID"), QStringLiteral("Call Date"),
        QStringLiteral("Call Time"), QStringLiteral("Subject"),   QStringLiteral("Notes"),
    };
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return captions.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
