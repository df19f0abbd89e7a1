#include "ContactsRecordset.h"

#include "store/ContactFields.h"
#include "frame/Failure.h"

#include <QSqlQuery>
#include <QSqlRecord>

namespace {
QString selectAll()
{
    return QStringLiteral("SELECT ") + contactFieldNames().join(QStringLiteral(", "))
        + QStringLiteral(" FROM Contacts ");
}

// Empty text is stored as Null: the program shows Null as empty everywhere.
QVariant storable(const QVariant &value)
{
    if (value.isNull())
        return QVariant(QMetaType::fromType<QString>());
    if (value.typeId() == QMetaType::QString && value.toString().isEmpty())
        return QVariant(QMetaType::fromType<QString>());
    return value;
}

class Transaction {
public:
    explicit Transaction(QSqlDatabase &db) : m_db(db)
    {
        if (!m_db.transaction())
            throwIfFailed(m_db.lastError());
    }
    ~Transaction()
    {
        if (!m_done)
            m_db.rollback();
    }
    void commit()
    {
        if (!m_db.commit())
            throwIfFailed(m_db.lastError());
        m_done = true;
    }

private:
    QSqlDatabase &m_db;
    bool m_done = false;
};
} // namespace

ContactsRecordset::ContactsRecordset(QObject *parent) : QAbstractTableModel(parent) {}

void ContactsRecordset::requireCurrent() const
{
    if (!m_hasCurrent)
        throw Failure(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                     "Requested operation requires a current record."));
}

void ContactsRecordset::open(const QSqlDatabase &db)
{
    beginResetModel();
    m_db = db;
    m_values.clear();
    m_changed.clear();
    m_hasCurrent = false;
    m_isNew = false;
    endResetModel();
}

qint64 ContactsRecordset::currentId() const
{
    if (!m_hasCurrent || m_isNew)
        return -1;
    return m_values.value(ContactField::ContactID).toLongLong();
}

QVariant ContactsRecordset::value(int field) const
{
    requireCurrent();
    return m_values.value(field);
}

void ContactsRecordset::setValue(int field, const QVariant &value)
{
    requireCurrent();
    if (field == ContactField::ContactID)
        throw Failure(QStringLiteral("Field 'ContactID' cannot be updated."));
    const QVariant newValue = storable(value);
    const QVariant &old = m_values[field];
    if (old.isNull() == newValue.isNull() && old.toString() == newValue.toString())
        return;
    m_values[field] = newValue;
    if (!m_changed.contains(field))
        m_changed.append(field);
    const QModelIndex cell = index(0, field);
    emit dataChanged(cell, cell);
}

void ContactsRecordset::loadRow(const QVector<QVariant> &values)
{
    beginResetModel();
    m_values = values;
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
    m_changed.clear();
    m_isNew = false;
    m_hasCurrent = false;
    endResetModel();
    emit currentRowChanged();
}

bool ContactsRecordset::seek(const QString &condition, const QVariant &bound, bool storeFirst)
{
    if (storeFirst && isEditing())
        update();
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    throwIfFailed(query.prepare(selectAll() + condition), query);
    if (bound.isValid())
        query.addBindValue(bound);
    throwIfFailed(query.exec(), query);
    if (!query.next())
        return false;
    QVector<QVariant> values(ContactField::Count);
    for (int i = 0; i < ContactField::Count; ++i)
        values[i] = query.value(i);
    loadRow(values);
    return true;
}

void ContactsRecordset::moveFirst()
{
    if (!seek(QStringLiteral("ORDER BY ContactID LIMIT 1"), {}, true) && m_hasCurrent)
        clearRow();
}

void ContactsRecordset::moveLast()
{
    if (!seek(QStringLiteral("ORDER BY ContactID DESC LIMIT 1"), {}, true) && m_hasCurrent)
        clearRow();
}

void ContactsRecordset::moveNext()
{
    if (!m_hasCurrent || m_isNew) {
        moveFirst();
        return;
    }
    seek(QStringLiteral("WHERE ContactID > ? ORDER BY ContactID LIMIT 1"), currentId(), true);
}

void ContactsRecordset::movePrevious()
{
    if (!m_hasCurrent || m_isNew) {
        moveFirst();
        return;
    }
    seek(QStringLiteral("WHERE ContactID < ? ORDER BY ContactID DESC LIMIT 1"), currentId(), true);
}

void ContactsRecordset::moveTo(qint64 contactId)
{
    if (!seek(QStringLiteral("WHERE ContactID = ?"), contactId, true))
        throw Failure(QStringLiteral("No contact with the key %1 was found.").arg(contactId));
}

void ContactsRecordset::addNew()
{
    if (isEditing())
        update();
    beginResetModel();
    m_values = QVector<QVariant>(ContactField::Count);
    m_changed.clear();
    m_isNew = true;
    m_hasCurrent = true;
    endResetModel();
    emit currentRowChanged();
}

void ContactsRecordset::update()
{
    requireCurrent();
    if (!isEditing())
        return;
    const QStringList &names = contactFieldNames();
    QSqlQuery query(m_db);
    if (m_isNew) {
        QStringList columns;
        QStringList marks;
        for (int i = 1; i < ContactField::Count; ++i) {
            columns << names[i];
            marks << QStringLiteral("?");
        }
        throwIfFailed(query.prepare(QStringLiteral("INSERT INTO Contacts (%1) VALUES (%2)")
                                        .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")))),
                      query);
        for (int i = 1; i < ContactField::Count; ++i)
            query.addBindValue(storable(m_values[i]));
        throwIfFailed(query.exec(), query);
        m_values[ContactField::ContactID] = query.lastInsertId();
        m_isNew = false;
        m_changed.clear();
        const QModelIndex cell = index(0, ContactField::ContactID);
        emit dataChanged(cell, cell);
        return;
    }
    QStringList assignments;
    for (int field : std::as_const(m_changed))
        assignments << names[field] + QStringLiteral(" = ?");
    throwIfFailed(query.prepare(QStringLiteral("UPDATE Contacts SET %1 WHERE ContactID = ?")
                                    .arg(assignments.join(QStringLiteral(", ")))),
                  query);
    for (int field : std::as_const(m_changed))
        query.addBindValue(storable(m_values[field]));
    query.addBindValue(currentId());
    throwIfFailed(query.exec(), query);
    if (query.numRowsAffected() == 0)
        throw Failure(QStringLiteral("Row cannot be located for updating. Some values may have been changed since it was last read."));
    m_changed.clear();
}

void ContactsRecordset::deleteCurrent()
{
    requireCurrent();
    if (!m_isNew) {
        const qint64 id = currentId();
        Transaction transaction(m_db);
        QSqlQuery query(m_db);
        throwIfFailed(query.prepare(QStringLiteral("DELETE FROM Calls WHERE ContactID = ?")), query);
        query.addBindValue(id);
        throwIfFailed(query.exec(), query);
        throwIfFailed(query.prepare(QStringLiteral("DELETE FROM Contacts WHERE ContactID = ?")), query);
        query.addBindValue(id);
        throwIfFailed(query.exec(), query);
        transaction.commit();
    }
    clearRow();
}

void ContactsRecordset::requery()
{
    if (!m_hasCurrent || m_isNew)
        return;
    const qint64 id = currentId();
    m_changed.clear();
    if (!seek(QStringLiteral("WHERE ContactID = ?"), id, false))
        clearRow();
}

qint64 ContactsRecordset::count() const
{
    QSqlQuery query(m_db);
    throwIfFailed(query.exec(QStringLiteral("SELECT COUNT(*) FROM Contacts")), query);
    query.next();
    return query.value(0).toLongLong();
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
    if (!index.isValid() || role != Qt::EditRole || !m_hasCurrent
        || index.column() == ContactField::ContactID)
        return false;
    setValue(index.column(), value);
    return true;
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
