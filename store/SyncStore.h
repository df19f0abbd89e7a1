#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

class Connection;

// What the program knows of one contact it shares with the CardDAV server:
// where the card is (href), its version there (ETag), its UID, the card as
// it was last synced (the base of a three-way merge) and the contact's
// fields at that moment (every Contacts field as text by position, the
// contact type by its caption). An empty ETag marks a card that was sent
// but whose arrival was not confirmed yet.
struct SyncCardState {
    qint64 contactId = 0;
    QString href;
    QString etag;
    QString uid;
    QByteArray baseCard;
    QStringList baseFields;
};

// The tables of sync (SyncCards, SyncValues) and the contact writes sync
// makes. Each write of a contact together with its card state belongs in
// one Connection::Transaction, so that a sync killed at any moment leaves
// both sides consistent.
class SyncStore {
public:
    explicit SyncStore(Connection &connection) : m_connection(connection) {}

    // Creates the sync tables when the file has none yet.
    Status prepare();

    Result<QList<SyncCardState>> cards();
    // Stores the state of a card, replacing the earlier state of the same
    // contact, href or UID.
    Status saveCard(const SyncCardState &state);
    Status removeCard(const QString &href);
    Status removeAllCards();

    // Small named values: the collection synced, its sync token.
    Result<QString> value(const QString &key);
    Status setValue(const QString &key, const QString &value);

    // Every contact as the texts of its fields by position (key included,
    // the contact type as its key).
    Result<QList<QStringList>> contacts();
    Result<QHash<qint64, QString>> typeCaptions();
    Result<qint64> addType(const QString &caption);
    // Stores a new contact from the texts of its fields (position 0 ignored).
    Result<qint64> insertContact(const QStringList &fields);
    // Writes the contact's fields when every field still holds what `read`
    // says (otherwise it was edited meanwhile: false, nothing written).
    Result<bool> updateContact(qint64 contactId, const QStringList &fields, const QStringList &read);
    // Deletes the contact and its calls as the Delete button does, when it
    // still holds what `read` says.
    Result<bool> deleteContact(qint64 contactId, const QStringList &read);

private:
    Connection &m_connection;
};
