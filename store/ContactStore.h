#pragma once

#include "base/Result.h"

#include <QStringList>
#include <QVariant>
#include <QVector>

#include <optional>

class Connection;

// The values of one row of Contacts, by position (ContactField).
using ContactValues = QVector<QVariant>;

// An order of the contact list. Column 0 is the key; columns 1 to 6 are the
// list's texts (FirstName, LastName, Address, City, Region, Country), compared
// without regard to the case of ASCII letters, Null first, ties in key
// order. Descending reverses the whole order. The default is key order.
struct ContactListOrder {
    int column = 0;
    bool descending = false;

    bool isKeyOrder() const { return column == 0 && !descending; }
    bool operator==(const ContactListOrder &) const = default;
};

// Every statement on the Contacts table: single rows in key order for the
// contact record set, keys and list columns for the contact list, and the
// writes. Each operation gives the database's own message when it fails.
class ContactStore {
public:
    explicit ContactStore(Connection &connection) : m_connection(connection) {}

    Result<qint64> count();

    // One row, or nothing when there is none in that direction.
    Result<std::optional<ContactValues>> first();
    Result<std::optional<ContactValues>> last();
    Result<std::optional<ContactValues>> after(qint64 key);
    Result<std::optional<ContactValues>> before(qint64 key);
    Result<std::optional<ContactValues>> byKey(qint64 key);

    // Stores a new row (its key is given by the database) and returns the key.
    Result<qint64> insert(const ContactValues &values);
    // Writes the given fields of the row when each of them still holds the
    // value it had when the row was read (`read`); otherwise nothing is
    // written and the Error says the row cannot be located. Fields that were
    // not changed here are left alone, so edits of other fields by another
    // program merge.
    Status update(qint64 key, const QVector<int> &fields, const ContactValues &values, const ContactValues &read);
    // Deletes the contact together with its calls and its UID.
    Status remove(qint64 key);

    // Keys in ascending order: `limit` keys after `afterKey`, or from the
    // `offset`-th key on.
    Result<QVector<qint64>> keysAfter(qint64 afterKey, int limit);
    Result<QVector<qint64>> keysFrom(qint64 offset, int limit);
    // Number of contacts whose key is lower than the given one.
    Result<qint64> keysBelow(qint64 key);
    // The list columns (key, FirstName, LastName, Address, City, Region,
    // Country) of the contacts with keys from `firstKey` to `lastKey`.
    Result<QVector<QVariantList>> listColumns(qint64 firstKey, qint64 lastKey);

    // The same reads in any list order; each is served by an index, so a
    // million contacts sort as fast as ten. (ContactStoreOrder.cpp)
    // `limit` keys from the `offset`-th on.
    Result<QVector<qint64>> keysInOrder(const ContactListOrder &order, qint64 offset, int limit);
    // The contact's position in that order, or nothing when there is no such contact.
    Result<std::optional<qint64>> positionInOrder(const ContactListOrder &order, qint64 key);
    // The list columns of the given contacts, in no particular order.
    Result<QVector<QVariantList>> listColumnsOf(const QVector<qint64> &keys);
    // The steps SQLite takes to read the keys in that order (EXPLAIN QUERY PLAN).
    Result<QStringList> orderPlan(const ContactListOrder &order);

private:
    static QString listColumnsSelect();
    Result<std::optional<ContactValues>> one(const QString &condition, const QVariantList &values);

    Connection &m_connection;
};
