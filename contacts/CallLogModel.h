#pragma once

#include "base/Result.h"
#include "store/CallStore.h"

#include <QAbstractTableModel>
#include <QVector>

// The calls of one contact, in the order the database returns them.
// Columns: CallID (hidden), ContactID (hidden), "Call Date", "Call Time",
// "Subject", Notes (hidden; edited in the notes box). An edited cell is
// written to the database as soon as its editor hands the value over; a
// write the database refuses keeps the stored value and is announced by
// writeFailed() (data() and setData() never show a box themselves).
class CallLogModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { CallID, ContactID, CallDate, CallTime, Subject, Notes };

    explicit CallLogModel(QObject *parent = nullptr);

    // Works on the store given; without one every read fails as closed.
    void setStore(CallStore *store) { m_store = store; }
    bool isOpen() const { return m_store != nullptr; }

    // Shows the calls of the contact; -1 shows none.
    Status showContact(qint64 contactId);
    qint64 contactId() const { return m_contactId; }

    // Stores a call for the current contact at once; returns its row.
    Result<int> addCall(const QDateTime &when);
    Status removeCall(int row);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    void writeFailed(const Error &error);

private:
    CallStore *m_store = nullptr;
    qint64 m_contactId = -1;
    QVector<CallValues> m_calls;
};
