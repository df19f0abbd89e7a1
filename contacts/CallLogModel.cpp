#include "CallLogModel.h"

#include "frame/Failure.h"
#include "frame/Formats.h"

#include <QSqlError>
#include <QSqlRecord>

CallLogModel::CallLogModel(QObject *parent, const QSqlDatabase &db) : QSqlTableModel(parent, db)
{
    setTable(QStringLiteral("Calls"));
    setEditStrategy(QSqlTableModel::OnRowChange);
    setHeaderData(ContactID, Qt::Horizontal, QStringLiteral("ContactID"));
    setHeaderData(CallDate, Qt::Horizontal, QStringLiteral("Call Date"));
    setHeaderData(CallTime, Qt::Horizontal, QStringLiteral("Call Time"));
    setHeaderData(Subject, Qt::Horizontal, QStringLiteral("Subject"));
    setHeaderData(Notes, Qt::Horizontal, QStringLiteral("Notes"));
}

void CallLogModel::storePending()
{
    if (isDirty() && !submitAll())
        throw Failure(lastError().text());
}

void CallLogModel::showContact(qint64 contactId)
{
    storePending();
    m_contactId = contactId;
    // The key is a number, never user text.
    setFilter(QStringLiteral("ContactID = %1").arg(contactId));
    if (!select())
        throw Failure(lastError().text());
    while (canFetchMore())
        fetchMore();
}

int CallLogModel::addCall(const QDateTime &when)
{
    storePending();
    QSqlRecord call = record();
    call.setGenerated(CallID, false);
    call.setValue(CallTime, when.time().toString(QStringLiteral("HH:mm:ss")));
    call.setValue(ContactID, m_contactId);
    call.setValue(CallDate, when.date().toString(Qt::ISODate));
    call.setNull(Subject);
    call.setNull(Notes);
    const int row = rowCount();
    if (!insertRecord(row, call))
        throw Failure(lastError().text());
    if (!submitAll()) {
        const QString message = lastError().text();
        revertAll();
        throw Failure(message);
    }
    while (canFetchMore())
        fetchMore();
    // After the re-select the new call is the one with the highest key.
    int newest = rowCount() - 1;
    for (int r = 0; r < rowCount(); ++r) {
        if (QSqlTableModel::data(index(r, CallID)).toLongLong()
            > QSqlTableModel::data(index(newest, CallID)).toLongLong())
            newest = r;
    }
    return newest;
}

QVariant CallLogModel::data(const QModelIndex &index, int role) const
{
    const QVariant value = QSqlTableModel::data(index, role);
    if (role != Qt::DisplayRole)
        return value;
    switch (index.column()) {
    case CallDate:
        return formatShortDate(storedDate(value));
    case CallTime:
        return formatTimeAmPm(storedTime(value));
    default:
        return value;
    }
}
