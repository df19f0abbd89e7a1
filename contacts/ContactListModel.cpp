#include "ContactListModel.h"

#include "store/ContactStore.h"
#include "store/Statement.h"

#include <QHash>

#include <limits>

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

Status ContactListModel::reload()
{
    return resetTo(ContactListOrder());
}

Status ContactListModel::sortBy(const ContactListOrder &order)
{
    if (!m_store)
        return closedObjectError();
    // Reading the first block now means a column that cannot be sorted by
    // leaves the list as it was.
    if (const Result<Keys> first = m_store->keysInOrder(order, 0, 1); !first)
        return first.error();
    return resetTo(order);
}

Status ContactListModel::resetTo(const ContactListOrder &order)
{
    if (!m_store)
        return closedObjectError();
    const Result<qint64> rows = m_store->count();
    if (!rows)
        return rows.error();
    beginResetModel();
    m_order = order;
    m_rows = int(std::min<qint64>(*rows, std::numeric_limits<int>::max()));
    m_keyBlocks.clear();
    m_pages.clear();
    endResetModel();
    return {};
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
    if (m_store && m_order.isKeyOrder()) {
        // Walking on from the previous block is a seek; only a jump needs the offset.
        const Keys *previous = block > 0 ? m_keyBlocks.object(block - 1) : nullptr;
        const Result<Keys> read = previous && !previous->isEmpty()
            ? m_store->keysAfter(previous->last(), kKeyBlockSize)
            : m_store->keysFrom(qint64(block) * kKeyBlockSize, kKeyBlockSize);
        if (read)
            *keys = *read;
    } else if (m_store) {
        // The offset walks the column's index, which holds the keys as well.
        const Result<Keys> read = m_store->keysInOrder(m_order, qint64(block) * kKeyBlockSize, kKeyBlockSize);
        if (read)
            *keys = *read;
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
    if (!m_store)
        return -1;
    qint64 row = -1;
    if (m_order.isKeyOrder()) {
        const Result<qint64> below = m_store->keysBelow(contactId);
        if (!below)
            return -1;
        row = *below;
    } else {
        const Result<std::optional<qint64>> position = m_store->positionInOrder(m_order, contactId);
        if (!position || !position->has_value())
            return -1;
        row = **position;
    }
    if (row >= m_rows || contactIdAt(int(row)) != contactId)
        return -1;
    return int(row);
}

int ContactListModel::keyOrderRowOf(qint64 contactId) const
{
    if (!m_store || contactId < 0)
        return -1;
    const Result<qint64> below = m_store->keysBelow(contactId);
    return below && *below < m_rows ? int(*below) : -1;
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
    if (!m_order.isKeyOrder()) {
        fillSortedPage(*rows, first, last);
        m_pages.insert(pageNumber, rows);
        return m_pages.object(pageNumber);
    }
    const Result<QVector<QVariantList>> read = firstKey >= 0 && lastKey >= 0 && m_store
        ? m_store->listColumns(firstKey, lastKey)
        : Result<QVector<QVariantList>>(QVector<QVariantList>());
    if (read) {
        int row = first;
        for (const QVariantList &columns : *read) {
            if (row > last)
                break;
            const qint64 id = columns.value(0).toLongLong();
            while (row <= last && contactIdAt(row) < id)
                ++row;
            if (row > last || contactIdAt(row) != id)
                continue;
            QStringList texts;
            for (const QVariant &value : columns)
                texts << listText(value);
            (*rows)[row - first] = texts;
            ++row;
        }
    }
    // A contact deleted meanwhile keeps its place with empty texts until the next rebuild.
    m_pages.insert(pageNumber, rows);
    return m_pages.object(pageNumber);
}

void ContactListModel::fillSortedPage(Page &rows, int first, int last) const
{
    QVector<qint64> keys;
    QHash<qint64, int> rowOfKey;
    for (int row = first; row <= last; ++row) {
        const qint64 id = contactIdAt(row);
        if (id >= 0) {
            keys.append(id);
            rowOfKey.insert(id, row - first);
        }
    }
    const Result<QVector<QVariantList>> read = m_store->listColumnsOf(keys);
    if (!read)
        return;
    for (const QVariantList &columns : *read) {
        const auto found = rowOfKey.constFind(columns.value(0).toLongLong());
        if (found == rowOfKey.cend())
            continue;
        QStringList texts;
        for (const QVariant &value : columns)
            texts << listText(value);
        rows[*found] = texts;
    }
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
