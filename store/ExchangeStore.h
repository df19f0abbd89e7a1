#pragma once

#include "frame/Result.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

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
    Status insertContact(const QStringList &fields);
    // Sets the given fields (position, text) of one contact.
    Status updateContact(qint64 contactId, const QList<QPair<int, QString>> &fields);

private:
    Connection &m_connection;
};
