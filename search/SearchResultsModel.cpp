#include "SearchResultsModel.h"

#include "frame/Failure.h"

namespace {
// Positions of the shown fields among the searched ones.
constexpr int kShownFields[] = {0 /* FirstName */, 1 /* LastName */, 2 /* Address */,
                                3 /* City */, 8 /* CompanyName */, 9 /* Title */};
} // namespace

SearchResultsModel::SearchResultsModel(QObject *parent) : QAbstractTableModel(parent) {}

SearchResultsModel::~SearchResultsModel() = default;

void SearchResultsModel::show(const ContactSearch &search, QSqlQuery query)
{
    beginResetModel();
    m_rows.clear();
    m_search = std::make_unique<ContactSearch>(search);
    m_query = std::make_unique<QSqlQuery>(std::move(query));
    endResetModel();
    readBatch();
}

void SearchResultsModel::finish()
{
    if (m_query) {
        m_query->finish();
        m_query.reset();
    }
}

void SearchResultsModel::clear()
{
    finish();
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

qint64 SearchResultsModel::contactIdAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row).id : -1;
}

void SearchResultsModel::removeContactRow(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows({}, row, row);
    m_rows.remove(row);
    endRemoveRows();
}

int SearchResultsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SearchResultsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size() || role != Qt::DisplayRole)
        return {};
    const Row &row = m_rows.at(index.row());
    if (index.column() == Key)
        return QString::number(row.id);
    return row.texts.value(index.column() - 1);
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

bool SearchResultsModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && m_query != nullptr;
}

void SearchResultsModel::fetchMore(const QModelIndex &parent)
{
    if (parent.isValid())
        return;
    try {
        readBatch();
    } catch (const Failure &failure) {
        emit readFailed(failure.description());
    }
}

void SearchResultsModel::readBatch()
{
    if (!m_query)
        return;
    QVector<Row> batch;
    bool atEnd = false;
    while (batch.size() < kBatchSize) {
        if (!m_query->next()) {
            atEnd = true;
            break;
        }
        if (!m_search->matchesRow(*m_query))
            continue;
        Row row{m_query->value(ContactSearch::kKeyColumn).toLongLong(), {}};
        for (int field : kShownFields) {
            const QVariant value = m_query->value(ContactSearch::kKeyColumn + 1 + field);
            row.texts << (value.isNull() ? QString() : value.toString());
        }
        batch.append(row);
    }
    const QSqlError error = m_query->lastError();
    if (atEnd)
        finish();
    if (!batch.isEmpty()) {
        beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + batch.size() - 1));
        m_rows += batch;
        endInsertRows();
    }
    if (atEnd && error.isValid())
        throwIfFailed(error);
}
