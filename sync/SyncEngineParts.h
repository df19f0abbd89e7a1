#pragma once

// The parts of one sync run, shared by SyncEngine.cpp (the plan and the
// local side) and SyncServerSide.cpp (reading and writing the server).
#include "CardMapping.h"
#include "DavClient.h"
#include "DavXml.h"
#include "SyncEngine.h"

#include "exchange/ContactImport.h"
#include "store/SyncStore.h"

#include <QHash>
#include <QSet>
#include <QUrl>

#include <optional>

class Connection;

namespace carddav::engine {

using Headers = QList<QPair<QByteArray, QByteArray>>;

inline constexpr int kBatch = 250;
inline const QString kKeyCollection = QStringLiteral("Collection");
inline const QString kKeyToken = QStringLiteral("SyncToken");

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
    // A request to the whole collection (Depth 1) answered by a multistatus;
    // any other answer fails, described as `what`.
    Result<dav::Multistatus> askCollection(const QByteArray &method, const QByteArray &body, const QString &what);
    // Every card's href and ETag.
    Result<dav::Multistatus> listCollection();
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
    QString tokenAfterOwnWrites(const QString &token);
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

} // namespace carddav::engine
