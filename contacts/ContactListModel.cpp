#include "ContactListModel.h"

#include "frame/Failure.h"

#include <QSqlQuery>

namespace {
constexpr int kPageSize = 128;

QString listText(const QVariant &value)
{
    if (value.isNull())
        return {};
    QString text = value.toString();
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text;
}
} // namespace

ContactListModel::ContactListModel(QObject *parent) : QAbstractTableModel(parent), m_pages(64) {}

void ContactListModel::reload()
{
    QVector<qint64> keys;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    throwIfFailed(query.exec(QStringLiteral("SELECT ContactID FROM Contacts ORDER BY ContactID")), query);
    while (query.next())
        keys.append(query.value(0).toLongLong());
    beginResetModel();
    m_keys = std::move(keys);
    m_pages.clear();
    endResetModel();
}

void ContactListModel::clear()
{
    beginResetModel();
    m_keys.clear();
    m_pages.clear();
    endResetModel();
}

qint64 ContactListModel::contactIdAt(int row) const
{
    return row >= 0 && row < m_keys.size() ? m_keys.at(row) : -1;
}

int ContactListModel::rowOfContact(qint64 contactId) const
{
    const auto found = std::lower_bound(m_keys.cbegin(), m_keys.cend(), contactId);
    if (found == m_keys.cend() || *found != contactId)
        return -1;
    return int(found - m_keys.cbegin());
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_keys.size());
}

int ContactListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 7;
}

const ContactListModel::Page *ContactListModel::page(int pageNumber) const
{
    if (const Page *cached = m_pages.object(pageNumber))
        return cached;
    const int first = pageNumber * kPageSize;
    const int last = std::min<int>(first + kPageSize, int(m_keys.size())) - 1;
    auto *rows = new Page(last - first + 1);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ContactID, FirstName, LastName, Address, City, Region, Country "
                                 "FROM Contacts WHERE ContactID BETWEEN ? AND ? ORDER BY ContactID"));
    query.addBindValue(m_keys.at(first));
    query.addBindValue(m_keys.at(last));
    if (query.exec()) {
        int row = first;
        while (query.next()) {
            const qint64 id = query.value(0).toLongLong();
            while (row <= last && m_keys.at(row) < id)
                ++row;
            if (row > last)
                break;
            if (m_keys.at(row) != id)
                continue;
            QStringList texts;
            for (int column = 0; column < 7; ++column)
                texts << listText(query.value(column));
            (*rows)[row - first] = texts;
            ++row;
        }
    }
    // A contact deleted meanwhile keeps its key in the list with empty texts
    // until the next rebuild.
    m_pages.insert(pageNumber, rows);
    return m_pages.object(pageNumber);
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_keys.size())
        return {};
    const Page *rows = page(index.row() / kPageSize);
    if (!rows)
        return {};
    const QStringList &texts = rows->at(index.row() % kPageSize);
    if (texts.isEmpty())
        return index.column() == 0 ? QVariant(QString::number(m_keys.at(index.row()))) : QVariant();
    return texts.value(index.column());
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const QStringList headers = {
        QStringLiteral("Address ID"), QStringLiteral("FirstName"), QStringLiteral("Lastname"),
        QStringLiteral("Address"),    QStringLiteral("City"),      QStringLiteral("Region"),
        QStringLiteral("Country"),
    };
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers.value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}
