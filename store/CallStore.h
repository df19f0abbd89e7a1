#pragma once

#include "base/Result.h"

#include <QDateTime>
#include <QVariant>
#include <QVector>

class Connection;

// One row of Calls: CallID, ContactID, CallDate, CallTime, Subject, Notes.
using CallValues = QVector<QVariant>;

// Every statement on the Calls table that the call log needs.
class CallStore {
public:
    enum Field { CallID, ContactID, CallDate, CallTime, Subject, Notes, FieldCount };

    explicit CallStore(Connection &connection) : m_connection(connection) {}

    // The calls of one contact, in the order the database returns them.
    Result<QVector<CallValues>> callsOf(qint64 contactId);
    // Stores a call with the date and time given and no subject or notes;
    // returns the new call's key.
    Result<qint64> add(qint64 contactId, const QDateTime &when);
    // Sets one field (CallDate to Notes) of a call.
    Status setField(qint64 callId, int field, const QVariant &value);
    Status remove(qint64 callId);

    static QString fieldName(int field);

private:
    Connection &m_connection;
};
