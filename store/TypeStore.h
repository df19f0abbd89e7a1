#pragma once

#include "base/Result.h"

#include <QString>
#include <QVariant>
#include <QVector>

class Connection;

struct ContactTypeRow {
    qint64 id = 0;
    QVariant name; // Null when the type has no caption
};

// Every statement on the "Contact Types" table.
class TypeStore {
public:
    explicit TypeStore(Connection &connection) : m_connection(connection) {}

    // Every type in ascending order of its caption.
    Result<QVector<ContactTypeRow>> all();
    Result<qint64> add(const QString &name);
    Status rename(qint64 id, const QString &name);
    Status remove(qint64 id);

private:
    Connection &m_connection;
};
