#include "ContactsRecordset.h"

#include "base/ContactFields.h"
#include "store/ContactStore.h"
#include "store/Statement.h"

ContactsRecordset::ContactsRecordset(QObject *parent) : QAbstractTableModel(parent) {}

void ContactsRecordset::open(ContactStore *store)
{
    beginResetModel();
    m_store = store;
    m_values.clear();
    m_read.clear();
    m_changed.clear();
    m_hasCurrent = false;
    m_isNew = false;
    endResetModel();
}

Status ContactsRecordset::requireOpen() const
{
    if (!m_store)
        return closedObjectError();
    return {};
}

qint64 ContactsRecordset::currentId() const
{
    if (!m_hasCurrent || m_isNew)
        return -1;
    return m_values.value(ContactField::ContactID).toLongLong();
}

QVariant ContactsRecordset::value(int field) const
{
    if (!m_hasCurrent)
        return {};
    return m_values.value(field);
}

Status ContactsRecordset::setValue(int field, const QVariant &value)
{
    if (!m_hasCurrent)
        return noCurrentRecordError();
    if (field <= ContactField::ContactID || field >= ContactField::Count)
        return failure(QStringLiteral("Field '%1' cannot be updated.").arg(contactFieldNames().value(field)));
    const QVariant newValue = storableValue(value);
    const QVariant &old = m_values[field];
    if (old.isNull() == newValue.isNull() && old.toString() == newValue.toString())
        return {};
    m_values[field] = newValue;
    if (!m_changed.contains(field))
        m_changed.append(field);
    const QModelIndex cell = index(0, field);
    emit dataChanged(cell, cell);
    return {};
}

void ContactsRecordset::loadRow(const QVector<QVariant> &values)
{
    beginResetModel();
    m_values = values;
    m_read = values;
    m_changed.clear();
    m_isNew = false;
    m_hasCurrent = true;
    endResetModel();
    emit currentRowChanged();
}

void ContactsRecordset::clearRow()
{
    beginResetModel();
    m_values.clear();
    m_read.clear();
    m_changed.clear();
    m_isNew = false;
    m_hasCurrent = false;
    endResetModel();
    emit currentRowChanged();
}

Status ContactsRecordset::show(const Found &found, bool clearWhenNone)
{
    if (!found)
        return found.error();
    if (found->has_value())
        loadRow(**found);
    else if (clearWhenNone && m_hasCurrent)
        clearRow();
    return {};
}

Status ContactsRecordset::moveFirst()
{
    if (Status open = requireOpen(); !open)
        return open;
    if (Status stored = update(); !stored)
        return stored;
    return show(m_store->first(), true);
}

Status ContactsRecordset::moveLast()
{
    if (Status open = requireOpen(); !open)
        return open;
    if (Status stored = update(); !stored)
        return stored;
    return show(m_store->last(), true);
}

Status ContactsRecordset::moveNext()
{
    if (!m_hasCurrent || m_isNew)
        return moveFirst();
    if (Status stored = update(); !stored)
        return stored;
    return show(m_store->after(currentId()), false);
}

Status ContactsRecordset::movePrevious()
{
    if (!m_hasCurrent || m_isNew)
        return moveFirst();
    if (Status stored = update(); !stored)
        return stored;
    return show(m_store->before(currentId()), false);
}

Status ContactsRecordset::moveTo(qint64 contactId)
{
    if (Status open = requireOpen(); !open)
        return open;
    if (Status stored = update(); !stored)
        return stored;
    const Found found = m_store->byKey(contactId);
    if (!found)
        return found.error();
    if (!found->has_value())
        return failure(QStringLiteral("No contact with the key %1 was found.").arg(contactId));
    loadRow(**found);
    return {};
}

Status ContactsRecordset::addNew()
{
    if (Status open = requireOpen(); !open)
        return open;
    if (Status stored = update(); !stored)
        return stored;
    beginResetModel();
    m_values = QVector<QVariant>(ContactField::Count, storableValue(QVariant()));
    m_read = m_values;
    m_changed.clear();
    m_isNew = true;
    m_hasCurrent = true;
    endResetModel();
    emit currentRowChanged();
    return {};
}

Status ContactsRecordset::update()
{
    if (!isEditing())
        return {};
    if (Status open = requireOpen(); !open)
        return open;
    if (m_isNew) {
        const Result<qint64> key = m_store->insert(m_values);
        if (!key)
            return key.error();
        // The row as the database holds it now, with its key.
        m_values[ContactField::ContactID] = *key;
        m_read = m_values;
        m_isNew = false;
        m_changed.clear();
        const QModelIndex cell = index(0, ContactField::ContactID);
        emit dataChanged(cell, cell);
        return {};
    }
    if (Status written = m_store->update(currentId(), m_changed, m_values, m_read); !written)
        return written;
    for (int field : std::as_const(m_changed))
        m_read[field] = storableValue(m_values[field]);
    m_changed.clear();
    emit rowStored(currentId());
    return {};
}

Result<ContactConflict> ContactsRecordset::conflict() const
{
    if (!m_hasCurrent || m_isNew)
        return noCurrentRecordError();
    if (Status open = requireOpen(); !open)
        return open.error();
    const Found found = m_store->byKey(currentId());
    if (!found)
        return found.error();
    ContactConflict result;
    if (!found->has_value()) {
        result.deleted = true;
        return result;
    }
    result.theirs = **found;
    for (int field : m_changed) {
        const QVariant &before = m_read.value(field);
        const QVariant &now = result.theirs.value(field);
        if (before.isNull() != now.isNull() || before.toString() != now.toString())
            result.fields.append(field);
    }
    return result;
}

void ContactsRecordset::keepMine(const ContactConflict &conflict)
{
    for (int field : conflict.fields)
        m_read[field] = conflict.theirs.value(field);
}

void ContactsRecordset::takeTheirs(const ContactConflict &conflict)
{
    if (conflict.theirs.size() != ContactField::Count)
        return;
    QVector<QVariant> values = conflict.theirs;
    QVector<int> changed;
    for (int field : std::as_const(m_changed)) {
        if (!conflict.fields.contains(field)) {
            values[field] = m_values[field];
            changed.append(field);
        }
    }
    beginResetModel();
    m_values = values;
    m_read = conflict.theirs;
    m_changed = changed;
    endResetModel();
    emit currentRowChanged();
}

Status ContactsRecordset::saveAsNew()
{
    if (!m_hasCurrent)
        return noCurrentRecordError();
    m_isNew = true;
    if (Status stored = update(); !stored)
        return stored;
    emit currentRowChanged();
    return {};
}

void ContactsRecordset::discard()
{
    if (m_hasCurrent)
        clearRow();
}

Status ContactsRecordset::deleteCurrent()
{
    if (!m_hasCurrent)
        return noCurrentRecordError();
    if (!m_isNew) {
        if (Status open = requireOpen(); !open)
            return open;
        if (Status removed = m_store->remove(currentId()); !removed)
            return removed;
    }
    clearRow();
    return {};
}

Status ContactsRecordset::requery()
{
    if (!m_hasCurrent || m_isNew)
        return {};
    if (Status open = requireOpen(); !open)
        return open;
    const qint64 id = currentId();
    m_changed.clear();
    return show(m_store->byKey(id), true);
}

Result<qint64> ContactsRecordset::count() const
{
    if (Status open = requireOpen(); !open)
        return open.error();
    return m_store->count();
}

int ContactsRecordset::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() || !m_hasCurrent ? 0 : 1;
}

int ContactsRecordset::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ContactField::Count;
}

QVariant ContactsRecordset::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || !m_hasCurrent || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    return m_values.value(index.column());
}

bool ContactsRecordset::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole)
        return false;
    return bool(setValue(index.column(), value));
}

Qt::ItemFlags ContactsRecordset::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() != ContactField::ContactID)
        result |= Qt::ItemIsEditable;
    return result;
}

QVariant ContactsRecordset::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return contactFieldNames().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
