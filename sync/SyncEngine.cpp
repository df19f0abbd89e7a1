#include "SyncEngine.h"

#include "CardMapping.h"
#include "DavXml.h"
#include "TransportSecurity.h"

#include "exchange/ContactImport.h"
#include "store/SyncStore.h"

#include <QHash>
#include <QSet>
#include <QUuid>

#include <optional>

namespace carddav {

using Headers = QList<QPair<QByteArray, QByteArray>>;

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

namespace {

constexpr int kBatch = 250;
const QString kKeyCollection = QStringLiteral("Collection");
const QString kKeyToken = QStringLiteral("SyncToken");

struct ServerCard {
    QString href;
    QString etag;
    QByteArray bytes;
    ParsedCard card;
    FieldTexts fields;
    QString uid;
};

enum class PutOutcome { Stored, PreconditionFailed, UidConflict, Missing };
struct Sent {
    PutOutcome outcome = PutOutcome::Stored;
    QString etag;
    QByteArray base;
};

struct Stop {
    QString message;
};

class Engine {
public:
    Engine(Connection &connection, DavClient &client, const SyncOptions &options)
        : m_connection(connection), m_store(connection), m_client(client), m_options(options)
    {
    }
    SyncOutcome run();

private:
    Status prepare();
    Status loadLocal();
    Result<bool> serverChanges(QHash<QString, QString> &changed, QSet<QString> &deleted, QString &newToken);
    Result<QList<ServerCard>> multiget(const QStringList &hrefs, QSet<QString> &missing);
    Result<std::optional<ServerCard>> fetch(const QString &href);
    Result<Sent> sendCard(const QString &href, const QByteArray &bytes, const QString &ifMatch);
    Status applyServerCard(const ServerCard &server);
    Status applyServerDeletion(const QString &href);
    Status sendLocal(qint64 contactId);
    Status sendNew(qint64 contactId, SyncCardState pending);
    Status deleteThere(const SyncCardState &state);
    Status mergeAndSend(qint64 contactId, const ServerCard &server, const FieldTexts *baseFields, const SyncCardState *old);
    Status keepServerCard(const ServerCard &server, const SyncCardState *old);
    Status commitContact(qint64 contactId, const FieldTexts &fields, const SyncCardState &state, bool &written);
    Status forgetCard(const QString &href);
    Result<QString> findHrefOfUid(const QString &uid);
    ServerCard serverCardFrom(const QString &href, const QString &etag, const QByteArray &bytes, bool &readable);

    QUrl urlOf(const QString &href) const
    {
        QUrl url = m_collection;
        url.setPath(href, QUrl::DecodedMode);
        return url;
    }
    void remember(const SyncCardState &state)
    {
        if (const auto old = m_hrefByContact.constFind(state.contactId); old != m_hrefByContact.cend() && *old != state.href)
            m_byHref.remove(*old);
        m_byHref.insert(state.href, state);
        m_hrefByUid.insert(state.uid, state.href);
        m_hrefByContact.insert(state.contactId, state.href);
    }
    QString nameOf(const FieldTexts &fields) const
    {
        const QString name = (fields.value(exchange::FirstName) + QLatin1Char(' ') + fields.value(exchange::LastName)).trimmed();
        return name.isEmpty() ? fields.value(exchange::CompanyName) : name;
    }
    bool cancelled() const { return m_client.cancelled() || (m_options.cancelled && m_options.cancelled()); }
    void progress(const QString &what)
    {
        ++m_done;
        if (m_options.progress)
            m_options.progress(m_done, qMax(m_total, m_done), what);
    }

    Connection &m_connection;
    SyncStore m_store;
    DavClient &m_client;
    const SyncOptions &m_options;
    SyncSummary m_summary;
    QUrl m_collection;
    QHash<QString, SyncCardState> m_byHref;
    QHash<QString, QString> m_hrefByUid;
    QHash<qint64, QString> m_hrefByContact;
    QHash<qint64, FieldTexts> m_local;    // compared texts (type caption)
    QHash<qint64, QStringList> m_stored;  // texts as stored (type key), for conditional writes
    QList<qint64> m_localOrder;
    QHash<qint64, QString> m_captions;
    QHash<QString, qint64> m_typeKeys;
    QSet<qint64> m_handled;
    std::optional<exchange::DuplicateFinder> m_finder;
    int m_done = 0;
    int m_total = 0;
};

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
        if (Status begun = m_store.begin(); !begun)
            return begun;
        Status reset = m_store.removeAllCards();
        if (reset)
            reset = m_store.setValue(kKeyToken, QString());
        if (reset)
            reset = m_store.setValue(kKeyCollection, key);
        if (reset)
            reset = m_store.commit();
        if (!reset) {
            m_store.rollback();
            return reset;
        }
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

Result<bool> Engine::serverChanges(QHash<QString, QString> &changed, QSet<QString> &deleted, QString &newToken)
{
    Result<QString> token = m_store.value(kKeyToken);
    if (!token)
        return token.error();
    if (!token->isEmpty() && !m_byHref.isEmpty()) {
        Result<DavReply> reply = m_client.send("REPORT", m_collection, dav::syncCollectionBody(*token));
        if (!reply)
            return reply.error();
        if (reply->status == 401)
            return failure(describeHttpFailure(QStringLiteral("Reading the changes"), *reply));
        if (reply->status == 207) {
            Result<dav::Multistatus> changes = dav::parseMultistatus(reply->body);
            if (!changes)
                return changes.error();
            for (const dav::Response &response : changes->responses) {
                const QString href = QUrl(response.href).path();
                if (href == m_collection.path())
                    continue;
                if (response.status == 404)
                    deleted.insert(href);
                else if (response.has(dav::kDav, "getetag")) {
                    const QString etag = response.text(dav::kDav, "getetag").trimmed();
                    if (m_byHref.value(href).etag != etag)
                        changed.insert(href, etag);
                }
            }
            newToken = changes->syncToken;
            return false;
        }
        // Any other answer (a stale token, no support): compare everything.
    }
    // The token first, so that changes made while the listing is read come again next time.
    Result<DavReply> tokenReply = m_client.send("PROPFIND", m_collection, dav::propfindBody({{dav::kDav, "sync-token"}}), {{"Depth", "0"}});
    if (!tokenReply)
        return tokenReply.error();
    if (tokenReply->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Reading the address book %1").arg(m_collection.path()), *tokenReply));
    if (Result<dav::Multistatus> own = dav::parseMultistatus(tokenReply->body); own)
        for (const dav::Response &response : own->responses)
            if (response.has(dav::kDav, "sync-token"))
                newToken = response.text(dav::kDav, "sync-token").trimmed();
    Result<DavReply> listing = m_client.send("PROPFIND", m_collection, dav::propfindBody({{dav::kDav, "getetag"}}), {{"Depth", "1"}});
    if (!listing)
        return listing.error();
    if (listing->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Listing the address book %1").arg(m_collection.path()), *listing));
    Result<dav::Multistatus> all = dav::parseMultistatus(listing->body);
    if (!all)
        return all.error();
    QSet<QString> present;
    for (const dav::Response &response : all->responses) {
        const QString href = QUrl(response.href).path();
        if (href == m_collection.path() || !response.has(dav::kDav, "getetag"))
            continue;
        present.insert(href);
        const QString etag = response.text(dav::kDav, "getetag").trimmed();
        if (m_byHref.value(href).etag != etag)
            changed.insert(href, etag);
    }
    for (auto it = m_byHref.cbegin(); it != m_byHref.cend(); ++it)
        if (!present.contains(it.key()) && !it->etag.isEmpty())
            deleted.insert(it.key());
    return true;
}

ServerCard Engine::serverCardFrom(const QString &href, const QString &etag, const QByteArray &bytes, bool &readable)
{
    ServerCard server{href, etag, bytes, {}, {}, {}};
    Result<ParsedCard> card = parseCard(bytes);
    readable = card.ok();
    if (!readable)
        return server;
    server.card = *card;
    server.fields = fieldsFromCard(server.card);
    server.uid = uidOf(server.card);
    if (server.uid.isEmpty())
        server.uid = QStringLiteral("href:") + href; // a card without UID gets one when it is next written
    return server;
}

Result<QList<ServerCard>> Engine::multiget(const QStringList &hrefs, QSet<QString> &missing)
{
    Result<DavReply> reply = m_client.send("REPORT", m_collection, dav::multigetBody(hrefs), {{"Depth", "1"}});
    if (!reply)
        return reply.error();
    if (reply->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Reading cards from %1").arg(m_collection.path()), *reply));
    Result<dav::Multistatus> cards = dav::parseMultistatus(reply->body);
    if (!cards)
        return cards.error();
    QList<ServerCard> found;
    for (const dav::Response &response : cards->responses) {
        const QString href = QUrl(response.href).path();
        if (!response.has(dav::kCardDav, "address-data")) {
            if (response.status == 404 || response.found.isEmpty())
                missing.insert(href);
            continue;
        }
        bool readable = false;
        ServerCard server = serverCardFrom(href, response.text(dav::kDav, "getetag").trimmed(),
                                           response.text(dav::kCardDav, "address-data").toUtf8(), readable);
        if (readable)
            found << server;
        else
            m_summary.remarks << QStringLiteral("The card %1 on the server cannot be read; it was left alone.").arg(href);
    }
    return found;
}

Result<std::optional<ServerCard>> Engine::fetch(const QString &href)
{
    Result<DavReply> reply = m_client.send("GET", urlOf(href), {}, {}, maxCardBytes);
    if (!reply)
        return reply.error();
    if (reply->status == 404 || reply->status == 410)
        return std::optional<ServerCard>();
    if (reply->status != 200)
        return failure(describeHttpFailure(QStringLiteral("Reading the card %1").arg(href), *reply));
    bool readable = false;
    ServerCard server = serverCardFrom(href, reply->etag, reply->body, readable);
    if (!readable)
        return failure(QStringLiteral("The card %1 on the server cannot be read.").arg(href));
    return std::optional<ServerCard>(server);
}

Result<Sent> Engine::sendCard(const QString &href, const QByteArray &bytes, const QString &ifMatch)
{
    const Headers headers{{"Content-Type", "text/vcard; charset=utf-8"},
                          ifMatch.isEmpty() ? QPair<QByteArray, QByteArray>("If-None-Match", "*")
                                            : QPair<QByteArray, QByteArray>("If-Match", ifMatch.toUtf8())};
    Result<DavReply> reply = m_client.send("PUT", urlOf(href), bytes, headers);
    if (!reply)
        return reply.error();
    Sent sent;
    if (reply->status == 412)
        return Sent{PutOutcome::PreconditionFailed, {}, {}};
    if (reply->status == 404 || reply->status == 410)
        return Sent{PutOutcome::Missing, {}, {}};
    if (reply->status == 409 && reply->body.contains("no-uid-conflict"))
        return Sent{PutOutcome::UidConflict, {}, {}};
    if (reply->status < 200 || reply->status >= 300)
        return failure(describeHttpFailure(QStringLiteral("Sending the card %1").arg(href), *reply));
    ++m_summary.sent;
    if (reply->strongEtag())
        return Sent{PutOutcome::Stored, reply->etag, bytes};
    // No strong ETag: the server may have changed what it stored; read it back.
    Result<std::optional<ServerCard>> back = fetch(href);
    if (!back)
        return back.error();
    if (!*back)
        return failure(QStringLiteral("The server accepted the card %1 but does not give it back.").arg(href));
    return Sent{PutOutcome::Stored, (*back)->etag, (*back)->bytes};
}

Status Engine::commitContact(qint64 contactId, const FieldTexts &fields, const SyncCardState &given, bool &written)
{
    SyncCardState state = given;
    written = true;
    if (Status begun = m_store.begin(); !begun)
        return begun;
    auto fail = [&](const Error &error) {
        m_store.rollback();
        return Status(error);
    };
    const bool changesContact = contactId == 0 || m_local.value(contactId) != fields;
    QStringList stored = fields;
    if (changesContact) {
        const QString caption = fields.value(exchange::ContactTypeID);
        QString typeKey;
        if (!caption.isEmpty()) {
            if (!m_typeKeys.contains(caption)) {
                Result<qint64> added = m_store.addType(caption);
                if (!added)
                    return fail(added.error());
                m_typeKeys.insert(caption, *added);
                m_captions.insert(*added, caption);
            }
            typeKey = QString::number(m_typeKeys.value(caption));
        }
        stored[exchange::ContactTypeID] = typeKey;
        if (contactId == 0) {
            Result<qint64> id = m_store.insertContact(stored);
            if (!id)
                return fail(id.error());
            contactId = *id;
        } else {
            Result<bool> updated = m_store.updateContact(contactId, stored, m_stored.value(contactId));
            if (!updated)
                return fail(updated.error());
            if (!*updated) {
                m_store.rollback();
                written = false;
                m_summary.remarks << QStringLiteral("%1 was edited during the sync; it is synced next time.").arg(nameOf(fields));
                return {};
            }
        }
    }
    state.contactId = contactId;
    state.baseFields = fields;
    if (Status saved = m_store.saveCard(state); !saved)
        return fail(saved.error());
    if (Status committed = m_store.commit(); !committed)
        return fail(committed.error());
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
                uid = old && !old->uid.startsWith(QLatin1String("href:")) ? old->uid : QUuid::createUuid().toString(QUuid::WithoutBraces);
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
    // Unknown card: the same contact by the import's duplicate rule, or a new one.
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
    if (Status begun = m_store.begin(); !begun)
        return begun;
    Result<bool> deleted = m_store.deleteContact(state.contactId, m_stored.value(state.contactId));
    Status forgotten = deleted ? m_store.removeCard(href) : Status(deleted.error());
    if (forgotten)
        forgotten = m_store.commit();
    if (!forgotten) {
        m_store.rollback();
        return forgotten;
    }
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

Result<QString> Engine::findHrefOfUid(const QString &uid)
{
    Result<DavReply> listing = m_client.send("PROPFIND", m_collection, dav::propfindBody({{dav::kDav, "getetag"}}), {{"Depth", "1"}});
    if (!listing)
        return listing.error();
    if (listing->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Listing the address book %1").arg(m_collection.path()), *listing));
    Result<dav::Multistatus> all = dav::parseMultistatus(listing->body);
    if (!all)
        return all.error();
    QStringList unknown;
    for (const dav::Response &response : all->responses) {
        const QString href = QUrl(response.href).path();
        if (href != m_collection.path() && response.has(dav::kDav, "getetag") && !m_byHref.contains(href))
            unknown << href;
    }
    for (qsizetype at = 0; at < unknown.size(); at += kBatch) {
        QSet<QString> missing;
        Result<QList<ServerCard>> cards = multiget(unknown.mid(at, kBatch), missing);
        if (!cards)
            return cards.error();
        for (const ServerCard &card : *cards)
            if (card.uid == uid)
                return card.href;
    }
    return QString();
}

// A contact the server does not have (yet): PUT with If-None-Match. The
// state is committed first, so that a retry after a crash finds its card.
Status Engine::sendNew(qint64 contactId, SyncCardState pending)
{
    const FieldTexts local = m_local.value(contactId);
    if (pending.uid.isEmpty() || pending.uid.startsWith(QLatin1String("href:")))
        pending.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    if (pending.href.isEmpty())
        pending.href = m_collection.path() + pending.uid + QStringLiteral(".vcf");
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
    if (!newToken.isEmpty())
        if (Status saved = m_store.setValue(kKeyToken, newToken); !saved)
            return failed(saved.error().description);
    outcome.ok = true;
    outcome.summary = m_summary;
    return outcome;
}

} // namespace

SyncOutcome runSync(Connection &connection, DavClient &client, const SyncOptions &options)
{
    Engine engine(connection, client, options);
    return engine.run();
}

} // namespace carddav
