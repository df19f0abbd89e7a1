#include "ContactListModel.h"

#include "frame/Failure.h"

#include <QSqlQuery>

namespace {
constexpr int kKeyBlockSize = 4096;
constexpr int kPageSize = 128;
static_assert(kKeyBlockSize % kPageSize == 0);

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

ContactListModel::ContactListModel(QObject *parent)
    : QAbstractTableModel(parent), m_keyBlocks(256), m_pages(64)
{
}

void ContactListModel::reload()
{
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    throwIfFailed(query.exec(QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder")), query);
    query.next();
    const qint64 rows = query.value(0).toLongLong();
    beginResetModel();
    m_rows = int(std::min<qint64>(rows, std::numeric_limits<int>::max()));
    m_keyBlocks.clear();
    m_pages.clear();
    endResetModel();
}

void ContactListModel::clear()
{
    beginResetModel();
    m_rows = 0;
    m_keyBlocks.clear();
    m_pages.clear();
    endResetModel();
}

const ContactListModel::Keys *ContactListModel::keyBlock(int block) const
{
    if (const Keys *cached = m_keyBlocks.object(block))
        return cached;
    auto *keys = new Keys;
    keys->reserve(kKeyBlockSize);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    // Walking on from the previous block is a seek; only a jump needs the offset.
    if (const Keys *previous = block > 0 ? m_keyBlocks.object(block - 1) : nullptr; previous && !previous->isEmpty()) {
        query.prepare(QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                     "WHERE ContactID > ? ORDER BY ContactID LIMIT ?"));
        query.addBindValue(previous->last());
        query.addBindValue(kKeyBlockSize);
    } else {
        query.prepare(QStringLiteral("SELECT ContactID FROM Contacts INDEXED BY idxContactsOrder "
                                     "ORDER BY ContactID LIMIT ? OFFSET ?"));
        query.addBindValue(kKeyBlockSize);
        query.addBindValue(qint64(block) * kKeyBlockSize);
    }
    if (query.exec()) {
        while (query.next())
            keys->append(query.value(0).toLongLong());
    }
    m_keyBlocks.insert(block, keys);
    return m_keyBlocks.object(block);
}

qint64 ContactListModel::contactIdAt(int row) const
{
    if (row < 0 || row >= m_rows)
        return -1;
    const Keys *keys = keyBlock(row / kKeyBlockSize);
    return keys ? keys->value(row % kKeyBlockSize, -1) : -1;
}

int ContactListModel::rowOfContact(qint64 contactId) const
{
    if (m_rows == 0)
        return -1;
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT COUNT(*) FROM Contacts INDEXED BY idxContactsOrder WHERE ContactID < ?"));
    query.addBindValue(contactId);
    if (!query.exec() || !query.next())
        return -1;
    const qint64 row = query.value(0).toLongLong();
    if (row >= m_rows || contactIdAt(int(row)) != contactId)
        return -1;
    return int(row);
}

int ContactListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
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
    const int last = std::min(first + kPageSize, m_rows) - 1;
    const qint64 firstKey = contactIdAt(first);
    const qint64 lastKey = contactIdAt(last);
    auto *rows = new Page(last - first + 1);
    QSqlQuery query(m_db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT ContactID, FirstName, LastName, Address, City, Region, Country "
                                 "FROM Contacts WHERE ContactID BETWEEN ? AND ? ORDER BY ContactID"));
    query.addBindValue(firstKey);
    query.addBindValue(lastKey);
    if (firstKey >= 0 && lastKey >= 0 && query.exec()) {
        int row = first;
        while (query.next() && row <= last) {
            const qint64 id = query.value(0).toLongLong();
            while (row <= last && contactIdAt(row) < id)
                ++row;
            if (row > last || contactIdAt(row) != id)
                continue;
            QStringList texts;
            for (int column = 0; column < 7; ++column)
                texts << listText(query.value(column));
            (*rows)[row - first] = texts;
            ++row;
        }
    }
    // A contact deleted meanwhile keeps its place with empty texts until the next rebuild.
    m_pages.insert(pageNumber, rows);
    return m_pages.object(pageNumber);
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_rows)
        return {};
    const Page *rows = page(index.row() / kPageSize);
    const QStringList &texts = rows->at(index.row() % kPageSize);
    if (texts.isEmpty())
        return index.column() == 0 ? QVariant(QString::number(contactIdAt(index.row()))) : QVariant();
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
