#include "SearchResultsModel.h"

#include "store/SearchStore.h"

#include <algorithm>

SearchResultsModel::SearchResultsModel(QObject *parent) : QAbstractTableModel(parent) {}

void SearchResultsModel::begin()
{
    beginResetModel();
    m_keys.clear();
    m_texts.clear();
    m_wantedBatches.clear();
    m_readFailed = false;
    m_counting = m_store && m_store->searching();
    endResetModel();
}

Status SearchResultsModel::countMore(int count, QDeadlineTimer deadline)
{
    if (!m_counting || !m_store)
        return {};
    Result<QList<qint64>> keys = m_store->nextKeys(count, deadline);
    if (!keys || !m_store->searching())
        m_counting = false;
    if (!keys)
        return keys.error();
    if (!keys->isEmpty()) {
        beginInsertRows({}, int(m_keys.size()), int(m_keys.size() + keys->size() - 1));
        m_keys += *keys;
        endInsertRows();
    }
    return {};
}

Status SearchResultsModel::countAll()
{
    constexpr int kChunk = 10000;
    while (m_counting) {
        if (Status counted = countMore(kChunk); !counted)
            return counted;
    }
    return {};
}

void SearchResultsModel::stop()
{
    if (m_store)
        m_store->stop();
    m_counting = false;
}

void SearchResultsModel::clear()
{
    stop();
    beginResetModel();
    m_keys.clear();
    m_texts.clear();
    m_wantedBatches.clear();
    endResetModel();
}

bool SearchResultsModel::isRead(int row) const
{
    return row >= 0 && row < m_keys.size() && m_texts.contains(m_keys.at(row));
}

Status SearchResultsModel::readRows(int first, int last)
{
    first = std::max(first, 0);
    last = std::min(last, int(m_keys.size()) - 1);
    if (!m_store || first > last)
        return {};
    QList<qint64> missing;
    for (int row = first; row <= last; ++row) {
        if (!m_texts.contains(m_keys.at(row)))
            missing << m_keys.at(row);
    }
    if (missing.isEmpty())
        return {};
    Result<QList<SearchRow>> rows = m_store->rows(missing);
    if (!rows) {
        // The rows stay empty; asking again on every paint would only repeat the failure.
        m_readFailed = true;
        return rows.error();
    }
    for (const SearchRow &row : *rows)
        m_texts.insert(row.contactId, row.texts);
    // A contact deleted since the search was counted shows its key only.
    for (qint64 key : missing) {
        if (!m_texts.contains(key))
            m_texts.insert(key, QStringList(SearchStore::shownFields().size(), QString()));
    }
    emit dataChanged(index(first, 0), index(last, ColumnCount - 1));
    return {};
}

Status SearchResultsModel::readWantedRows()
{
    QList<int> batches(m_wantedBatches.cbegin(), m_wantedBatches.cend());
    m_wantedBatches.clear();
    std::sort(batches.begin(), batches.end());
    for (int batch : batches) {
        if (Status read = readRows(batch * kBatchSize, batch * kBatchSize + kBatchSize - 1); !read)
            return read;
    }
    return {};
}

void SearchResultsModel::wantRow(int row) const
{
    if (m_readFailed)
        return;
    const int batch = row / kBatchSize;
    if (m_wantedBatches.contains(batch))
        return;
    const bool first = m_wantedBatches.isEmpty();
    m_wantedBatches.insert(batch);
    if (first)
        emit const_cast<SearchResultsModel *>(this)->rowsWanted();
}

qint64 SearchResultsModel::contactIdAt(int row) const
{
    return row >= 0 && row < m_keys.size() ? m_keys.at(row) : -1;
}

void SearchResultsModel::removeContactRow(int row)
{
    if (row < 0 || row >= m_keys.size())
        return;
    beginRemoveRows({}, row, row);
    m_texts.remove(m_keys.at(row));
    m_keys.remove(row);
    endRemoveRows();
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_keys.size());
}

int SearchResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_keys.size() || role != Qt::DisplayRole)
        return {};
    const qint64 key = m_keys.at(index.row());
    if (index.column() == Key)
        return QString::number(key);
    const auto texts = m_texts.constFind(key);
    if (texts == m_texts.cend()) {
        wantRow(index.row());
        return QString();
    }
    return texts->value(index.column() - 1);
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const QStringList headers = {QString(), QStringLiteral("FirstName"), QStringLiteral("Lastname"),
                                        QStringLiteral("Address"), QStringLiteral("City"),
                                        QStringLiteral("Company"), QStringLiteral("Title")};
    return headers.value(section);
}
