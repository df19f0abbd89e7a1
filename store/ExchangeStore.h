#pragma once

#include "frame/Result.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QSqlQuery>
#include <QStringList>

#include <functional>
#include <optional>

class Connection;

// The data access of contact import and export. A contact travels as the
// texts of the Contacts fields by position (position 0 the key,
// ContactTypeID the key of the type as a number or empty); empty text is
// stored as Null.
class ExchangeStore {
public:
    explicit ExchangeStore(Connection &connection) : m_connection(connection) {}

    // Type captions to their keys.
    Result<QHash<QString, qint64>> typeKeys();
    Result<qint64> addType(const QString &caption);

    // Every contact, in key order.
    Result<QList<QStringList>> contacts();
    // Hands every contact (or the one with the key, when not 0) to `each`
    // in key order without holding them; `each` returns false to stop.
    Status forEachContact(const std::function<bool(const QStringList &)> &each, qint64 onlyContactId = 0);
    // One contact, or an empty list when there is none with the key.
    Result<QStringList> contact(qint64 contactId);
    // The statement is prepared once per store.
    Status insertContact(const QStringList &fields);
    // Sets the given fields (position, text) of one contact.
    Status updateContact(qint64 contactId, const QList<QPair<int, QString>> &fields);

private:
    Connection &m_connection;
    std::optional<QSqlQuery> m_insert;
};
