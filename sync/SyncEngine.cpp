#include "SyncEngine.h"

#include "SyncEngineParts.h"

#include "DavXml.h"
#include "TransportSecurity.h"

#include "exchange/ContactImport.h"
#include "store/Connection.h"
#include "store/SyncStore.h"
#include "store/UidStore.h"

#include <QHash>
#include <QSet>
#include <QRegularExpression>
#include <QUuid>

#include <optional>

namespace carddav {

QString SyncSummary::text() const
{
    auto count = [](int n, const char *one, const char *many) {
        return QString::number(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    return QStringLiteral("%1 sent, %2 received, %3 deleted here, %4 deleted there, %5")
        .arg(sent)
        .arg(received)
        .arg(deletedHere)
        .arg(deletedThere)
        .arg(count(conflicts, "conflict kept in Notes", "conflicts kept in Notes"));
}

namespace engine {

Status Engine::prepare()
{
    if (Status made = m_store.prepare(); !made)
        return made;
    const SyncAccount &account = m_client.account();
    if (account.addressBookPath.isEmpty())
        return failure(QStringLiteral("No address book is chosen; set the account up first."));
    m_collection = accountServerUrl(account);
    if (!m_collection.isValid())
        return failure(QStringLiteral("The server address %1 is not valid.").arg(account.serverUrl.toString()));
    QString path = account.addressBookPath;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    m_collection.setPath(path, QUrl::DecodedMode);
    m_collection.setQuery(QString());
    // Another collection than last time: its cards are matched afresh.
    const QString key = m_collection.toString(QUrl::RemoveUserInfo);
    Result<QString> previous = m_store.value(kKeyCollection);
    if (!previous)
        return previous.error();
    if (*previous != key) {
        Result<Connection::Transaction> transaction = m_connection.begin();
        if (!transaction)
            return transaction.error();
        if (Status cleared = m_store.removeAllCards(); !cleared)
            return cleared;
        if (Status token = m_store.setValue(kKeyToken, QString()); !token)
            return token;
        if (Status collection = m_store.setValue(kKeyCollection, key); !collection)
            return collection;
        if (Status committed = transaction->commit(); !committed)
            return committed;
    }
    Result<QList<SyncCardState>> states = m_store.cards();
    if (!states)
        return states.error();
    for (const SyncCardState &state : *states)
        remember(state);
    return loadLocal();
}

Status Engine::loadLocal()
{
    Result<QHash<qint64, QString>> captions = m_store.typeCaptions();
    if (!captions)
        return captions.error();
    m_captions = *captions;
    for (auto it = m_captions.cbegin(); it != m_captions.cend(); ++it)
        if (!m_typeKeys.contains(it.value()))
            m_typeKeys.insert(it.value(), it.key());
    Result<QList<QStringList>> rows = m_store.contacts();
    if (!rows)
        return rows.error();
    for (const QStringList &row : *rows) {
        const qint64 id = row.value(exchange::ContactID).toLongLong();
        FieldTexts fields = row;
        fields[exchange::ContactID] = QString();
        const QString type = row.value(exchange::ContactTypeID);
        fields[exchange::ContactTypeID] = type.isEmpty() ? QString() : m_captions.value(type.toLongLong());
        m_local.insert(id, fields);
        m_stored.insert(id, row);
        m_localOrder << id;
    }
    return {};
}

Status Engine::commitContact(qint64 contactId, const FieldTexts &fields, const SyncCardState &given, bool &written)
{
    SyncCardState state = given;
    written = true;
    // Every early return rolls the contact and its card state back together.
    Result<Connection::Transaction> transaction = m_connection.begin();
    if (!transaction)
        return transaction.error();
    const bool changesContact = contactId == 0 || m_local.value(contactId) != fields;
    QStringList stored = fields;
    if (changesContact) {
        const QString caption = fields.value(exchange::ContactTypeID);
        QString typeKey;
        if (!caption.isEmpty()) {
            if (!m_typeKeys.contains(caption)) {
                Result<qint64> added = m_store.addType(caption);
                if (!added)
                    return added.error();
                m_typeKeys.insert(caption, *added);
                m_captions.insert(*added, caption);
            }
            typeKey = QString::number(m_typeKeys.value(caption));
        }
        stored[exchange::ContactTypeID] = typeKey;
        if (contactId == 0) {
            Result<qint64> id = m_store.insertContact(stored);
            if (!id)
                return id.error();
            contactId = *id;
            // The contact keeps the card's UID as its identity, unless another contact holds it.
            if (!state.uid.startsWith(QLatin1String("href:"))) {
                UidStore uids(m_connection);
                Result<std::optional<qint64>> holder = uids.contactOfUid(state.uid);
                if (!holder)
                    return holder.error();
                if (!holder->has_value())
                    if (Status given = uids.setUid(contactId, state.uid); !given)
                        return given.error();
            }
        } else {
            Result<bool> updated = m_store.updateContact(contactId, stored, m_stored.value(contactId));
            if (!updated)
                return updated.error();
            if (!*updated) {
                written = false;
                m_summary.remarks << QStringLiteral("%1 was edited during the sync; it is synced next time.").arg(nameOf(fields));
                return {};
            }
        }
    }
    state.contactId = contactId;
    state.baseFields = fields;
    if (Status saved = m_store.saveCard(state); !saved)
        return saved.error();
    if (Status committed = transaction->commit(); !committed)
        return committed;
    if (changesContact) {
        stored[exchange::ContactID] = QString::number(contactId);
        m_stored.insert(contactId, stored);
        m_local.insert(contactId, fields);
    }
    remember(state);
    m_handled.insert(contactId);
    return {};
}

Status Engine::forgetCard(const QString &href)
{
    if (Status removed = m_store.removeCard(href); !removed)
        return removed;
    const SyncCardState state = m_byHref.take(href);
    m_hrefByUid.remove(state.uid);
    if (m_hrefByContact.value(state.contactId) == href)
        m_hrefByContact.remove(state.contactId);
    return {};
}

// Both sides known: merge, write the result here, and send it when the
// server's card lacks part of it.
Status Engine::mergeAndSend(qint64 contactId, const ServerCard &server, const FieldTexts *baseFields, const SyncCardState *old)
{
    ServerCard current = server;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const FieldTexts local = m_local.value(contactId);
        MergeResult merged = mergeFields(local, current.fields, baseFields, m_options.today);
        SyncCardState state{contactId, current.href, current.etag, current.uid, current.bytes, {}};
        if (merged.fields != current.fields) {
            // A card without UID gets one now.
            QString uid = state.uid;
            if (uid.startsWith(QLatin1String("href:")))
                uid = old && !old->uid.startsWith(QLatin1String("href:")) ? old->uid
                                                                            : UidStore(m_connection).uidOf(contactId).valueOr(UidStore::newUid());
            Result<Sent> sent = sendCard(current.href, cardToSend(current.card, merged.fields, uid), current.etag);
            if (!sent)
                return sent.error();
            if (sent->outcome != PutOutcome::Stored) {
                // Changed there again meanwhile: merge with what it is now.
                Result<std::optional<ServerCard>> again = fetch(current.href);
                if (!again)
                    return again.error();
                if (!*again)
                    return failure(QStringLiteral("The card %1 disappeared from the server during the sync.").arg(current.href));
                current = **again;
                continue;
            }
            state.uid = uid;
            state.etag = sent->etag;
            state.baseCard = sent->base;
        }
        bool written = false;
        if (Status done = commitContact(contactId, merged.fields, state, written); !done)
            return done;
        if (written) {
            m_summary.conflicts += merged.conflicts;
            if (merged.fields != local)
                ++m_summary.received;
        }
        return {};
    }
    return failure(QStringLiteral("The card %1 keeps changing on the server; it is synced next time.").arg(server.href));
}

// A card that only the server has now: a new contact here.
Status Engine::keepServerCard(const ServerCard &server, const SyncCardState *old)
{
    SyncCardState state{0, server.href, server.etag, server.uid, server.bytes, {}};
    if (old)
        if (Status forgotten = m_store.removeCard(old->href); !forgotten)
            return forgotten;
    bool written = false;
    if (Status done = commitContact(0, server.fields, state, written); !done)
        return done;
    ++m_summary.received;
    return {};
}

Status Engine::applyServerCard(const ServerCard &server)
{
    QString knownHref = m_byHref.contains(server.href) ? server.href : m_hrefByUid.value(server.uid);
    if (!knownHref.isEmpty()) {
        const SyncCardState old = m_byHref.value(knownHref);
        if (m_local.contains(old.contactId)) {
            if (m_handled.contains(old.contactId))
                return {};
            if (knownHref != server.href) // the card moved; its old place is forgotten
                if (Status forgotten = forgetCard(knownHref); !forgotten)
                    return forgotten;
            const bool hasBase = !old.etag.isEmpty() && !old.baseCard.isEmpty() && !old.baseFields.isEmpty();
            Result<ParsedCard> base = hasBase ? parseCard(old.baseCard) : Result<ParsedCard>(failure(QString()));
            if (base) {
                // A field changed there when the card maps it otherwise than the
                // base card did; unchanged fields count as the local base.
                const FieldTexts was = fieldsFromCard(*base);
                ServerCard adjusted = server;
                for (int f = 1; f < exchange::FieldCount; ++f)
                    if (server.fields.value(f) == was.value(f))
                        adjusted.fields[f] = old.baseFields.value(f);
                return mergeAndSend(old.contactId, adjusted, &old.baseFields, &old);
            }
            return mergeAndSend(old.contactId, server, nullptr, &old);
        }
        // Deleted here but changed there: the server's version is kept.
        m_summary.remarks << QStringLiteral("%1 was changed on the server after it was deleted here; it was kept.")
                                 .arg(nameOf(server.fields));
        if (Status forgotten = forgetCard(knownHref); !forgotten)
            return forgotten;
        return keepServerCard(server, nullptr);
    }
    // Unknown card: the contact with its UID, the same contact by the
    // import's duplicate rule, or a new one.
    if (!server.uid.startsWith(QLatin1String("href:"))) {
        Result<std::optional<qint64>> holder = UidStore(m_connection).contactOfUid(server.uid);
        if (!holder)
            return holder.error();
        const qint64 id = holder->value_or(0);
        if (id != 0 && m_local.contains(id) && !m_hrefByContact.contains(id) && !m_handled.contains(id))
            return mergeAndSend(id, server, nullptr, nullptr);
    }
    if (!m_finder) {
        Result<exchange::DuplicateFinder> finder = exchange::DuplicateFinder::load(m_connection);
        if (!finder)
            return finder.error();
        m_finder = std::move(*finder);
    }
    exchange::ContactRecord record;
    for (int f = 1; f < exchange::FieldCount; ++f)
        record[f] = server.fields.value(f);
    const qint64 match = m_finder->match(record);
    if (match != 0 && m_local.contains(match) && !m_hrefByContact.contains(match) && !m_handled.contains(match))
        return mergeAndSend(match, server, nullptr, nullptr);
    return keepServerCard(server, nullptr);
}

Status Engine::applyServerDeletion(const QString &href)
{
    const SyncCardState state = m_byHref.value(href);
    if (!m_local.contains(state.contactId) || m_handled.contains(state.contactId))
        return forgetCard(href);
    const FieldTexts local = m_local.value(state.contactId);
    if (local != state.baseFields) {
        // Deleted there but changed here: it goes back as a new card.
        SyncCardState pending = state;
        pending.etag.clear();
        pending.baseCard.clear();
        return sendNew(state.contactId, pending);
    }
    Result<Connection::Transaction> transaction = m_connection.begin();
    if (!transaction)
        return transaction.error();
    Result<bool> deleted = m_store.deleteContact(state.contactId, m_stored.value(state.contactId));
    if (!deleted)
        return deleted.error();
    if (Status forgotten = m_store.removeCard(href); !forgotten)
        return forgotten;
    if (*deleted)
        if (Status removed = UidStore(m_connection).removeUidOf(state.contactId); !removed)
            return removed;
    if (Status committed = transaction->commit(); !committed)
        return committed;
    if (!*deleted) {
        m_summary.remarks << QStringLiteral("%1 was edited during the sync; it is synced next time.").arg(nameOf(local));
        return {};
    }
    m_byHref.remove(href);
    m_hrefByUid.remove(state.uid);
    m_hrefByContact.remove(state.contactId);
    m_local.remove(state.contactId);
    m_stored.remove(state.contactId);
    ++m_summary.deletedHere;
    return {};
}

Status Engine::sendNew(qint64 contactId, SyncCardState pending)
{
    const FieldTexts local = m_local.value(contactId);
    if (pending.uid.isEmpty() || pending.uid.startsWith(QLatin1String("href:"))) {
        Result<QString> uid = UidStore(m_connection).uidOf(contactId); // the contact's identity
        if (!uid)
            return uid.error();
        pending.uid = *uid;
    }
    if (pending.href.isEmpty()) {
        // The UID names the card when it is safe in a path; otherwise a new name.
        static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9._-]{1,80}$"));
        const QString name = plain.match(pending.uid).hasMatch() ? pending.uid : QUuid::createUuid().toString(QUuid::WithoutBraces);
        pending.href = m_collection.path() + name + QStringLiteral(".vcf");
    }
    pending.contactId = contactId;
    pending.baseFields = {};
    if (Status saved = m_store.saveCard(pending); !saved)
        return saved;
    remember(pending);
    Result<ParsedCard> base = pending.baseCard.isEmpty() ? Result<ParsedCard>(ParsedCard{}) : parseCard(pending.baseCard);
    Result<Sent> sent = sendCard(pending.href, cardToSend(base ? *base : ParsedCard{}, local, pending.uid), QString());
    if (!sent)
        return sent.error();
    switch (sent->outcome) {
    case PutOutcome::Stored: {
        SyncCardState state = pending;
        state.etag = sent->etag;
        state.baseCard = sent->base;
        bool written = false;
        return commitContact(contactId, local, state, written);
    }
    case PutOutcome::PreconditionFailed: {
        // Something is there already (our own earlier try): merge with it.
        Result<std::optional<ServerCard>> there = fetch(pending.href);
        if (!there)
            return there.error();
        if (!*there)
            return failure(QStringLiteral("The server refused the new card %1 and has none there.").arg(pending.href));
        return mergeAndSend(contactId, **there, nullptr, &pending);
    }
    case PutOutcome::UidConflict: {
        // The card is on the server under another name: merge with that one, never a second copy.
        Result<QString> href = findHrefOfUid(pending.uid);
        if (!href)
            return href.error();
        if (href->isEmpty())
            return failure(QStringLiteral("The server says a card with the UID %1 exists, but it cannot be found.").arg(pending.uid));
        Result<std::optional<ServerCard>> there = fetch(*href);
        if (!there)
            return there.error();
        if (!*there)
            return failure(QStringLiteral("The card %1 disappeared from the server during the sync.").arg(*href));
        if (Status forgotten = forgetCard(pending.href); !forgotten)
            return forgotten;
        return mergeAndSend(contactId, **there, nullptr, nullptr);
    }
    case PutOutcome::Missing:
        break;
    }
    return failure(QStringLiteral("The server refused the new card %1.").arg(pending.href));
}

Status Engine::sendLocal(qint64 contactId)
{
    const QString href = m_hrefByContact.value(contactId);
    if (href.isEmpty())
        return sendNew(contactId, SyncCardState{});
    const SyncCardState state = m_byHref.value(href);
    if (state.etag.isEmpty())
        return sendNew(contactId, state); // its arrival was never confirmed
    const FieldTexts local = m_local.value(contactId);
    if (local == state.baseFields)
        return {};
    Result<ParsedCard> base = parseCard(state.baseCard);
    Result<Sent> sent = sendCard(href, cardToSend(base ? *base : ParsedCard{}, local, state.uid), state.etag);
    if (!sent)
        return sent.error();
    if (sent->outcome == PutOutcome::Stored) {
        SyncCardState now = state;
        now.etag = sent->etag;
        now.baseCard = sent->base;
        bool written = false;
        return commitContact(contactId, local, now, written);
    }
    Result<std::optional<ServerCard>> there = fetch(href);
    if (!there)
        return there.error();
    if (!*there) { // deleted there meanwhile, changed here: sent again
        SyncCardState pending = state;
        pending.etag.clear();
        return sendNew(contactId, pending);
    }
    return applyServerCard(**there);
}

Status Engine::deleteThere(const SyncCardState &state)
{
    if (state.etag.isEmpty()) {
        // Never confirmed: delete it only if it is there.
        Result<std::optional<ServerCard>> there = fetch(state.href);
        if (!there)
            return there.error();
        if (!*there)
            return forgetCard(state.href);
        SyncCardState known = state;
        known.etag = (*there)->etag;
        return deleteThere(known);
    }
    Result<DavReply> reply = m_client.send("DELETE", urlOf(state.href), {}, {{"If-Match", state.etag.toUtf8()}});
    if (!reply)
        return reply.error();
    if (reply->status == 412) {
        // Changed there after it was deleted here: kept.
        Result<std::optional<ServerCard>> there = fetch(state.href);
        if (!there)
            return there.error();
        if (!*there)
            return forgetCard(state.href);
        m_summary.remarks << QStringLiteral("%1 was changed on the server after it was deleted here; it was kept.")
                                 .arg(nameOf((*there)->fields));
        if (Status forgotten = forgetCard(state.href); !forgotten)
            return forgotten;
        return keepServerCard(**there, nullptr);
    }
    if (reply->status != 404 && reply->status != 410 && (reply->status < 200 || reply->status >= 300))
        return failure(describeHttpFailure(QStringLiteral("Deleting the card %1").arg(state.href), *reply));
    if (reply->status < 300)
        ++m_summary.deletedThere;
    return forgetCard(state.href);
}

// A server may leave out of later change reports a card that was made and
// deleted after the token (Xandikos does): so the token moves past this
// sync's own writes, when nothing but those writes happened since.
SyncOutcome Engine::run()
{
    SyncOutcome outcome;
    auto failed = [&](const QString &message) {
        outcome.ok = false;
        outcome.message = message;
        outcome.summary = m_summary;
        return outcome;
    };
    if (Status ready = prepare(); !ready)
        return failed(ready.error().description);

    QHash<QString, QString> changed;
    QSet<QString> deleted;
    QString newToken;
    Result<bool> full = serverChanges(changed, deleted, newToken);
    if (!full)
        return failed(full.error().description);

    // Guards: nothing is deleted on either side when the server suddenly
    // looks empty or when most of what was synced would go.
    int synced = 0;
    int goneThere = 0;
    for (const SyncCardState &state : std::as_const(m_byHref))
        if (!state.etag.isEmpty()) {
            ++synced;
            if (!m_local.contains(state.contactId) && !deleted.contains(state.href))
                ++goneThere;
        }
    int goneHere = 0;
    for (const QString &href : std::as_const(deleted)) {
        const SyncCardState state = m_byHref.value(href);
        if (m_local.contains(state.contactId) && m_local.value(state.contactId) == state.baseFields)
            ++goneHere;
    }
    const bool emptied = synced > 0 && deleted.size() >= synced;
    auto tooMany = [&](int count) { return count > 10 && count * 2 > synced; };
    if (!m_options.allowMassDelete && (emptied || tooMany(goneHere) || tooMany(goneThere))) {
        outcome.stoppedByGuard = true;
        return failed(emptied ? QStringLiteral("The address book on the server is empty although %1 contacts were synced "
                                               "with it. Nothing was changed; sync again allowing mass deletion if this is "
                                               "what you want.").arg(synced)
                              : QStringLiteral("This sync would delete %1 of %2 synced contacts (%3 here, %4 on the server). "
                                               "Nothing was changed; sync again allowing mass deletion if this is what you want.")
                                    .arg(goneHere + goneThere).arg(synced).arg(goneHere).arg(goneThere));
    }

    QStringList toFetch = changed.keys();
    std::sort(toFetch.begin(), toFetch.end());
    m_total = int(toFetch.size() + deleted.size() + m_localOrder.size());
    for (qsizetype at = 0; at < toFetch.size(); at += kBatch) {
        if (cancelled())
            return failed(QStringLiteral("The sync was cancelled."));
        QSet<QString> missing;
        Result<QList<ServerCard>> cards = multiget(toFetch.mid(at, kBatch), missing);
        if (!cards)
            return failed(cards.error().description);
        for (const ServerCard &card : *cards) {
            if (Status applied = applyServerCard(card); !applied)
                return failed(applied.error().description);
            progress(QStringLiteral("Received %1").arg(nameOf(card.fields)));
        }
        for (const QString &href : std::as_const(missing))
            if (m_byHref.contains(href) && !m_byHref.value(href).etag.isEmpty())
                deleted.insert(href);
    }
    for (const QString &href : std::as_const(deleted)) {
        if (cancelled())
            return failed(QStringLiteral("The sync was cancelled."));
        if (!m_byHref.contains(href))
            continue;
        if (Status applied = applyServerDeletion(href); !applied)
            return failed(applied.error().description);
        progress(QStringLiteral("Deleted %1").arg(href));
    }
    // Local changes, new contacts and deletions.
    for (const qint64 id : std::as_const(m_localOrder)) {
        if (!m_local.contains(id) || m_handled.contains(id))
            continue;
        if (cancelled())
            return failed(QStringLiteral("The sync was cancelled."));
        if (Status sent = sendLocal(id); !sent)
            return failed(sent.error().description);
        progress(QStringLiteral("Sent %1").arg(nameOf(m_local.value(id))));
    }
    const QList<SyncCardState> states = m_byHref.values();
    for (const SyncCardState &state : states) {
        if (m_local.contains(state.contactId) || !m_byHref.contains(state.href))
            continue;
        if (cancelled())
            return failed(QStringLiteral("The sync was cancelled."));
        if (Status gone = deleteThere(state); !gone)
            return failed(gone.error().description);
    }
    if (!newToken.isEmpty() && (m_summary.sent > 0 || m_summary.deletedThere > 0))
        newToken = tokenAfterOwnWrites(newToken);
    if (!newToken.isEmpty())
        if (Status saved = m_store.setValue(kKeyToken, newToken); !saved)
            return failed(saved.error().description);
    outcome.ok = true;
    outcome.summary = m_summary;
    return outcome;
}

} // namespace engine

SyncOutcome runSync(Connection &connection, DavClient &client, const SyncOptions &options)
{
    engine::Engine engine(connection, client, options);
    return engine.run();
}

} // namespace carddav
