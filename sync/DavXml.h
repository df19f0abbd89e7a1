#pragma once

#include "base/Result.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// The XML of WebDAV, CardDAV and collection sync: request bodies, and the
// multistatus replies read by namespace and local name (servers use any
// prefix, or none).
namespace carddav::dav {

inline constexpr char kDav[] = "DAV:";
inline constexpr char kCardDav[] = "urn:ietf:params:xml:ns:carddav";

// One property of a propstat with the status that came with it.
struct Property {
    QString text;             // the element's text (etag, address-data, display name ...)
    QStringList hrefs;        // the <href> children (principal, home set)
    QStringList childNames;   // "namespace|local" of the children (resourcetype)
};

// One <response> of a multistatus.
struct Response {
    QString href;             // percent-decoded path as the server wrote it
    int status = 0;           // the response's own <status>, 0 when it has propstats
    QHash<QString, Property> found;   // "namespace|local" -> property with status 200
    bool has(const char *ns, const char *name) const { return found.contains(key(ns, name)); }
    QString text(const char *ns, const char *name) const { return found.value(key(ns, name)).text; }
    QStringList hrefs(const char *ns, const char *name) const { return found.value(key(ns, name)).hrefs; }
    static QString key(const char *ns, const char *name)
    {
        return QString::fromLatin1(ns) + QLatin1Char('|') + QString::fromLatin1(name);
    }
};

struct Multistatus {
    QList<Response> responses;
    QString syncToken;
};

Result<Multistatus> parseMultistatus(const QByteArray &xml);

QByteArray propfindBody(const QList<QPair<const char *, const char *>> &properties);
QByteArray syncCollectionBody(const QString &token);
QByteArray multigetBody(const QStringList &hrefs);
QByteArray addressBookMkcolBody(const QString &displayName);

// The code of a status line ("HTTP/1.1 404 Not Found" -> 404).
int statusCode(const QString &statusLine);

} // namespace carddav::dav
