#pragma once

#include <QSqlTableModel>

// The calls of one contact, in the order the database returns them.
// Columns: CallID (hidden), ContactID (hidden), "Call Date", "Call Time",
// "Subject", Notes (hidden; edited in the notes box). An edited call is
// written when the current call changes, when the log is rebuilt for another
// contact and when the program closes.
class CallLogModel : public QSqlTableModel {
    Q_OBJECT

public:
    enum Column { CallID, ContactID, CallDate, CallTime, Subject, Notes };

    CallLogModel(QObject *parent, const QSqlDatabase &db);

    // Writes pending edits, then shows the calls of the contact.
    // Throws Failure with the database's message.
    void showContact(qint64 contactId);
    qint64 contactId() const { return m_contactId; }

    // Writes pending edits of the log; throws Failure when the database refuses.
    void storePending();

    // Stores a call for the current contact at once; returns its row.
    int addCall(const QDateTime &when);

    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

private:
    qint64 m_contactId = -1;
};
