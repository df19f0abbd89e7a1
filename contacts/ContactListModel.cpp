#include "ContactListModel.h"

#include "store/ContactStore.h"
#include "store/Statement.h"

#include <QHash>

#include <memory>

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
    m_failing = false;
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
    if (!m_store)
        return &m_unreadKeys;
    Result<Keys> read = Keys();
    if (m_order.isKeyOrder()) {
        // Walking on from the previous block is a seek; only a jump needs the offset.
        const Keys *previous = block > 0 ? m_keyBlocks.object(block - 1) : nullptr;
        read = previous && !previous->isEmpty() ? m_store->keysAfter(previous->last(), kKeyBlockSize)
                                                : m_store->keysFrom(qint64(block) * kKeyBlockSize, kKeyBlockSize);
    } else {
        // The offset walks the column's index, which holds the keys as well.
        read = m_store->keysInOrder(m_order, qint64(block) * kKeyBlockSize, kKeyBlockSize);
    }
    noteRead(read ? Status() : Status(read.error()));
    if (!read)
        return &m_unreadKeys;
    m_keyBlocks.insert(block, new Keys(std::move(read).value()));
    return m_keyBlocks.object(block);
}

void ContactListModel::noteRead(const Status &outcome) const
{
    if (outcome) {
        m_failing = false;
        return;
    }
    if (m_failing)
        return;
    m_failing = true;
    emit const_cast<ContactListModel *>(this)->readFailed(outcome.error().description);
}

void ContactListModel::refreshContact(qint64 contactId)
{
    const int row = rowOfContact(contactId);
    if (row < 0)
        return;
    m_pages.remove(row / kPageSize);
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
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
        if (below)
            row = *below;
    } else {
        const Result<std::optional<qint64>> position = m_store->positionInOrder(m_order, contactId);
        if (position && position->has_value())
            row = **position;
    }
    if (row >= 0 && row < m_rows && contactIdAt(int(row)) == contactId)
        return int(row);
    // The table changed since the list was filled (another window added or
    // deleted contacts): the row is found among the keys the list holds.
    const QList<int> blocks = m_keyBlocks.keys();
    for (int block : blocks) {
        if (const Keys *keys = m_keyBlocks.object(block)) {
            if (const qsizetype at = keys->indexOf(contactId); at >= 0)
                return block * kKeyBlockSize + int(at);
        }
    }
    return -1;
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
    auto rows = std::make_unique<Page>(last - first + 1);
    if (firstKey < 0 || lastKey < 0 || !m_store) {
        // The keys could not be read: blank rows, read again when next shown.
        m_unreadPage = Page(last - first + 1);
        return &m_unreadPage;
    }
    if (!m_order.isKeyOrder()) {
        const Status filled = fillSortedPage(*rows, first, last);
        noteRead(filled);
        if (!filled) {
            m_unreadPage = Page(last - first + 1);
            return &m_unreadPage;
        }
        m_pages.insert(pageNumber, rows.release());
        return m_pages.object(pageNumber);
    }
    const Result<QVector<QVariantList>> read = m_store->listColumns(firstKey, lastKey);
    noteRead(read ? Status() : Status(read.error()));
    if (!read) {
        m_unreadPage = Page(last - first + 1);
        return &m_unreadPage;
    }
    {
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
    m_pages.insert(pageNumber, rows.release());
    return m_pages.object(pageNumber);
}

Status ContactListModel::fillSortedPage(Page &rows, int first, int last) const
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
        return read.error();
    for (const QVariantList &columns : *read) {
        const auto found = rowOfKey.constFind(columns.value(0).toLongLong());
        if (found == rowOfKey.cend())
            continue;
        QStringList texts;
        for (const QVariant &value : columns)
            texts << listText(value);
        rows[*found] = texts;
    }
    return {};
}

QVariant ContactListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= m_rows)
        return {};
    const Page *rows = page(index.row() / kPageSize);
    const QStringList &texts = rows->at(index.row() % kPageSize);
    if (texts.isEmpty()) {
        const qint64 id = index.column() == 0 ? contactIdAt(index.row()) : -1;
        return id >= 0 ? QVariant(QString::number(id)) : QVariant();
    }
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
