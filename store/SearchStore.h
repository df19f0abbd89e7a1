#pragma once

#include "base/Result.h"

#include <QDeadlineTimer>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

class Connection;
class Rows;
class SearchPattern;

// One contact in the search's result list: its key and the six fields the
// list shows (FirstName, LastName, Address, City, CompanyName, Title), a Null
// field as empty text.
struct SearchRow {
    qint64 contactId = 0;
    QStringList texts;
};

// The data access of the search window, over a connection of its own that
// only reads.
//
// A search runs in two parts, so that a search over many contacts shows its
// first rows at once: start() runs the query, nextKeys() reads the keys of the
// matching contacts a chunk at a time in the order the database returns them,
// and rows() reads the shown fields of the keys the list is about to show.
class SearchStore {
public:
    static Result<std::unique_ptr<SearchStore>> open(const QString &databaseFile);
    explicit SearchStore(std::unique_ptr<Connection> connection);
    ~SearchStore();
    SearchStore(const SearchStore &) = delete;
    SearchStore &operator=(const SearchStore &) = delete;

    // The six fields of a SearchRow, in order.
    static const QStringList &shownFields();

    // Starts a search for the contacts of which one of the seventeen fields
    // begins with the typed text (SearchPattern). A running search ends.
    Status start(const QString &typed);
    // Up to `count` further keys of the running search. Fewer come back when
    // the search has reached its end (then searching() is false) or when the
    // deadline has passed first.
    Result<QList<qint64>> nextKeys(int count, QDeadlineTimer deadline = QDeadlineTimer::Forever);
    bool searching() const;
    // Ends the running search; keys already read stay valid.
    void stop();

    // The rows of the given contacts in the order of the keys; a contact that
    // is no longer in the database gives no row.
    Result<QList<SearchRow>> rows(const QList<qint64> &keys);
    Result<bool> contains(qint64 contactId);

    // The query plan SQLite chooses for a search, one line per step.
    Result<QStringList> queryPlan(const QString &typed);

private:
    static QString keyQuery(const SearchPattern &pattern);

    std::unique_ptr<Connection> m_connection;
    std::unique_ptr<SearchPattern> m_pattern;
    std::unique_ptr<Rows> m_rows;
};
