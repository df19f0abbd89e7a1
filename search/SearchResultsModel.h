#pragma once

#include "base/Result.h"

#include <QAbstractTableModel>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QSet>
#include <QStringList>

class SearchStore;

// The result list of the search window: one row per contact with the key and
// "FirstName", "Lastname", "Address", "City", "Company", "Title".
//
// The keys of the matching contacts come first, a chunk at a time
// (countMore), so that the list has its full length and its scroll bar the
// right size while the shown fields are still read a batch at a time. When
// the view asks for rows whose fields are not read yet, data() answers with
// empty text and the model signals rowsWanted(); readWantedRows() then reads
// them. data() never touches the database.
class SearchResultsModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Key = 0, FirstName, LastName, Address, City, Company, Title, ColumnCount };
    // Rows whose fields are read together.
    static constexpr int kBatchSize = 100;

    explicit SearchResultsModel(QObject *parent = nullptr);

    void setStore(SearchStore *store) { m_store = store; }

    // Empties the list for the search the store has just started.
    void begin();
    // Adds up to `count` further keys of the running search, fewer when the
    // deadline passes first.
    Status countMore(int count, QDeadlineTimer deadline = QDeadlineTimer::Forever);
    // Adds every remaining key.
    Status countAll();
    // True while keys are still to come.
    bool counting() const { return m_counting; }
    // Ends the reading; the rows listed so far stay.
    void stop();
    void clear();

    // Reads the shown fields of the rows first to last that are not read yet.
    Status readRows(int first, int last);
    // Reads the rows the view asked for since the last call.
    Status readWantedRows();
    bool isRead(int row) const;

    qint64 contactIdAt(int row) const;
    void removeContactRow(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // The view asked for rows whose fields are not read yet.
    void rowsWanted();

private:
    void wantRow(int row) const;

    SearchStore *m_store = nullptr;
    QList<qint64> m_keys;
    QHash<qint64, QStringList> m_texts; // shown fields by key, once read
    bool m_counting = false;
    bool m_readFailed = false;
    mutable QSet<int> m_wantedBatches;
};
