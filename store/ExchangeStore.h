#pragma once

#include "base/Result.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Connection;
struct sqlite3_stmt;

// The data access of contact import and export. A contact travels as the
// texts of the Contacts fields by position (position 0 the key,
// ContactTypeID the key of the type as a number or empty). Null text is
// stored as Null, empty text that is not Null as ''; rows read give Null as
// Null text. A row read is followed by the contact's UID (kUidPosition),
// Null when it has none.
class ExchangeStore {
public:
    // The position of the UID in a row read, after the Contacts fields.
    static constexpr int kUidPosition = 28;

    explicit ExchangeStore(Connection &connection) : m_connection(connection) {}
    ~ExchangeStore();
    ExchangeStore(const ExchangeStore &) = delete;
    ExchangeStore &operator=(const ExchangeStore &) = delete;

    // Type captions to their keys.
    Result<QHash<QString, qint64>> typeKeys();
    Result<qint64> addType(const QString &caption);

    // A larger page cache for the many index updates of a large import
    // (a fixed amount, whatever the number of contacts).
    Status useImportCache();

    // The indexes of Contacts, dropped for an import of many contacts and
    // built again at its end, inside its transaction: building an index once
    // is much faster than updating it for every row.
    Result<QStringList> dropContactIndexes();
    Status createIndexes(const QStringList &statements);

    // Every contact, in key order.
    Result<QList<QStringList>> contacts();
    // Hands every contact (or the one with the key, when not 0) to `each`
    // in key order without holding them; `each` returns false to stop.
    Status forEachContact(const std::function<bool(const QStringList &)> &each, qint64 onlyContactId = 0);
    // One contact, or an empty list when there is none with the key.
    Result<QStringList> contact(qint64 contactId);
    // The statement is prepared once per store and bound through SQLite's
    // own interface when the driver allows it (an import stores many).
    Status insertContact(const QStringList &fields);
    // The key of the contact insertContact() stored last.
    Result<qint64> lastInsertedKey();
    // Sets the given fields (position, text) of one contact.
    Status updateContact(qint64 contactId, const QList<QPair<int, QString>> &fields);

private:
    Connection &m_connection;
    std::optional<qint64> m_lastKey; // of an insert without SQLite's own interface
    sqlite3_stmt *m_bulkInsert = nullptr;
    bool m_bulkTried = false;
};
