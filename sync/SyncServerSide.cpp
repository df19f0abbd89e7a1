#include "SyncEngineParts.h"

#include "DavXml.h"
#include "TransportSecurity.h"

namespace carddav::engine {

Result<bool> Engine::serverChanges(QHash<QString, QString> &changed, QSet<QString> &deleted, QString &newToken)
{
    Result<QString> token = m_store.value(kKeyToken);
    if (!token)
        return token.error();
    if (!token->isEmpty() && !m_byHref.isEmpty()) {
        Result<DavReply> reply = m_client.send("REPORT", m_collection, dav::syncCollectionBody(*token), {}, maxListingBytes,
                                                   DavClient::kCollectionIdleSeconds);
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
                if (response.status == 404) {
                    if (m_byHref.contains(href) && !m_byHref.value(href).etag.isEmpty())
                        deleted.insert(href);
                }
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
    Result<DavReply> tokenReply = m_client.send("PROPFIND", m_collection, dav::propfindBody({{dav::kDav, "sync-token"}}), {{"Depth", "0"}}, maxListingBytes, DavClient::kCollectionIdleSeconds);
    if (!tokenReply)
        return tokenReply.error();
    if (tokenReply->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Reading the address book %1").arg(m_collection.path()), *tokenReply));
    if (Result<dav::Multistatus> own = dav::parseMultistatus(tokenReply->body); own)
        for (const dav::Response &response : own->responses)
            if (response.has(dav::kDav, "sync-token"))
                newToken = response.text(dav::kDav, "sync-token").trimmed();
    Result<dav::Multistatus> all = listCollection();
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

Result<dav::Multistatus> Engine::askCollection(const QByteArray &method, const QByteArray &body, const QString &what)
{
    Result<DavReply> reply = m_client.send(method, m_collection, body, {{"Depth", "1"}}, maxListingBytes, DavClient::kCollectionIdleSeconds);
    if (!reply)
        return reply.error();
    if (reply->status != 207)
        return failure(describeHttpFailure(what, *reply));
    return dav::parseMultistatus(reply->body);
}

Result<dav::Multistatus> Engine::listCollection()
{
    return askCollection("PROPFIND", dav::propfindBody({{dav::kDav, "getetag"}}),
                         QStringLiteral("Listing the address book %1").arg(m_collection.path()));
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
    Result<dav::Multistatus> cards =
        askCollection("REPORT", dav::multigetBody(hrefs), QStringLiteral("Reading cards from %1").arg(m_collection.path()));
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

Result<QString> Engine::findHrefOfUid(const QString &uid)
{
    Result<dav::Multistatus> all = listCollection();
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
QString Engine::tokenAfterOwnWrites(const QString &token)
{
    Result<DavReply> reply = m_client.send("REPORT", m_collection, dav::syncCollectionBody(token), {}, maxListingBytes, DavClient::kCollectionIdleSeconds);
    if (!reply || reply->status != 207)
        return token;
    Result<dav::Multistatus> changes = dav::parseMultistatus(reply->body);
    if (!changes || changes->syncToken.isEmpty())
        return token;
    for (const dav::Response &response : changes->responses) {
        const QString href = QUrl(response.href).path();
        if (href == m_collection.path())
            continue;
        const bool ours = response.status == 404 ? !m_byHref.contains(href)
                                                 : m_byHref.value(href).etag == response.text(dav::kDav, "getetag").trimmed();
        if (!ours)
            return token; // someone else's change: the next sync reads it
    }
    return changes->syncToken;
}

} // namespace carddav::engine
