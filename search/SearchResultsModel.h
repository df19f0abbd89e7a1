#pragma once

#include "ContactSearch.h"

#include <QAbstractTableModel>
#include <QSqlQuery>
#include <QStringList>
#include <QVector>

#include <memory>

// The result list of the search window: one row per contact with the key and
// "FirstName", "Lastname", "Address", "City", "Company", "Title". Rows are
// read from the search's query a batch at a time, the first batch when the
// search runs and the next ones as the list is scrolled to its end, so a
// search over many contacts shows its first rows at once.
class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Key = 0, FirstName, LastName, Address, City, Company, Title, ColumnCount };
    static constexpr int kBatchSize = 100;

    explicit SearchResultsModel(QObject *parent = nullptr);
    ~SearchResultsModel() override;

    // Replaces the rows by those of a query that ContactSearch::run started.
    void show(const ContactSearch &search, QSqlQuery query);
    // Reads the next batch of rows; throws Failure with the database's message.
    void readBatch();
    // Ends the reading; the rows already listed stay.
    void finish();
    void clear();

    qint64 contactIdAt(int row) const;
    void removeContactRow(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // Reading a further batch for the list view failed.
    void readFailed(const QString &description);

private:
    struct Row {
        qint64 id;
        QStringList texts; // the six shown fields
    };

    std::unique_ptr<ContactSearch> m_search;
    std::unique_ptr<QSqlQuery> m_query;
    QVector<Row> m_rows;
};
