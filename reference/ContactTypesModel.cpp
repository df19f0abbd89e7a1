#include "ContactTypesModel.h"

#include "frame/Failure.h"
#include "frame/Trap.h"

#include <QSqlQuery>

ContactTypesModel::ContactTypesModel(QWidget *window, QObject *parent)
    : QAbstractTableModel(parent), m_window(window)
{
}

void ContactTypesModel::load(const QSqlDatabase &db)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    throwIfFailed(query.exec(QStringLiteral("SELECT ContactTypeID, ContactType FROM \"Contact Types\" "
                                            "ORDER BY ContactType, ContactTypeID")),
                  query);
    QVector<Row> rows;
    while (query.next())
        rows.append({query.value(0).toLongLong(), query.value(1).toString(), query.value(1).isNull()});
    beginResetModel();
    m_db = db;
    m_rows = std::move(rows);
    endResetModel();
}

int ContactTypesModel::addType(const QString &name)
{
    QSqlQuery query(m_db);
    throwIfFailed(query.prepare(QStringLiteral("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)")), query);
    query.addBindValue(name);
    throwIfFailed(query.exec(), query);
    const int row = int(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append({query.lastInsertId().toLongLong(), name, false});
    endInsertRows();
    return row;
}

void ContactTypesModel::removeType(int row)
{
    if (row < 0 || row >= m_rows.size())
        throw Failure(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                     "Requested operation requires a current record."));
    QSqlQuery query(m_db);
    throwIfFailed(query.prepare(QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = ?")), query);
    query.addBindValue(m_rows.at(row).id);
    throwIfFailed(query.exec(), query);
    beginRemoveRows({}, row, row);
    m_rows.remove(row);
    endRemoveRows();
}

qint64 ContactTypesModel::typeIdAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : -1;
}

QString ContactTypesModel::nameAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).name : QString();
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
    const Row &row = m_rows.at(index.row());
    if (index.column() == ContactTypeID)
        return row.id;
    return row.name;
}

bool ContactTypesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.column() != ContactType || role != Qt::EditRole
        || index.row() >= m_rows.size())
        return false;
    const QString name = value.toString();
    Row &row = m_rows[index.row()];
    if (name == row.name && !row.nameIsNull)
        return true;
    if (name.trimmed().isEmpty()) {
        emit emptyNameRefused(index.row());
        return false;
    }
    Trap trap(m_window, QStringLiteral("Form2"), QStringLiteral("DataGrid1_AfterColEdit"));
    const bool stored = trap.step(100, [&] {
        QSqlQuery query(m_db);
        throwIfFailed(query.prepare(QStringLiteral("UPDATE \"Contact Types\" SET ContactType = ? "
                                                   "WHERE ContactTypeID = ?")),
                      query);
        query.addBindValue(name);
        query.addBindValue(row.id);
        throwIfFailed(query.exec(), query);
    });
    if (!stored)
        return false;
    row.name = name;
    row.nameIsNull = false;
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
