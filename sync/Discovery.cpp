#include "Discovery.h"

#include "DavXml.h"
#include "TransportSecurity.h"

namespace carddav {

namespace {

const QList<QPair<QByteArray, QByteArray>> depth0{{"Depth", "0"}};
const QList<QPair<QByteArray, QByteArray>> depth1{{"Depth", "1"}};

QString withSlash(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool isAddressBook(const dav::Response &response)
{
    const QString key = dav::Response::key(dav::kCardDav, "addressbook");
    return response.found.value(dav::Response::key(dav::kDav, "resourcetype")).childNames.contains(key);
}

// The address books among the responses of a PROPFIND.
QList<AddressBook> addressBooksIn(const dav::Multistatus &listing)
{
    QList<AddressBook> books;
    for (const dav::Response &response : listing.responses)
        if (isAddressBook(response))
            books << AddressBook{withSlash(QUrl(response.href).path()), response.text(dav::kDav, "displayname").trimmed()};
    return books;
}

Result<dav::Multistatus> propfind(DavClient &client, const QUrl &url, const QList<QPair<const char *, const char *>> &props,
                                  const QList<QPair<QByteArray, QByteArray>> &depth, QUrl *finalUrl)
{
    Result<DavReply> reply = sendFollowingRedirects(client, "PROPFIND", url, dav::propfindBody(props), depth, finalUrl);
    if (!reply)
        return reply.error();
    if (reply->status != 207)
        return failure(describeHttpFailure(QStringLiteral("Looking for the address books at %1").arg(url.toString()), *reply));
    return dav::parseMultistatus(reply->body);
}

} // namespace

Result<DavReply> sendFollowingRedirects(DavClient &client, const QByteArray &method, QUrl url, const QByteArray &body,
                                        const QList<QPair<QByteArray, QByteArray>> &headers, QUrl *finalUrl)
{
    for (int hop = 0;; ++hop) {
        Result<DavReply> reply = client.send(method, url, body, headers);
        if (!reply)
            return reply;
        const bool redirect = reply->status == 301 || reply->status == 302 || reply->status == 303
                              || reply->status == 307 || reply->status == 308;
        if (!redirect || !reply->location.isValid()) {
            if (finalUrl)
                *finalUrl = url;
            return reply;
        }
        if (hop == 5)
            return failure(QStringLiteral("The server redirected %1 more than five times.").arg(url.toString()));
        if (Status allowed = checkRedirect(url, reply->location, client.account()); !allowed)
            return allowed.error();
        url = reply->location;
    }
}

Result<QList<AddressBook>> discoverAddressBooks(DavClient &client)
{
    const QUrl start = accountServerUrl(client.account());
    const QList<QPair<const char *, const char *>> bookProps{
        {dav::kDav, "resourcetype"}, {dav::kDav, "displayname"}, {dav::kDav, "current-user-principal"},
        {dav::kCardDav, "addressbook-home-set"}};

    // The URL may name an address book, or a folder of them, already.
    QUrl where;
    Result<dav::Multistatus> here = propfind(client, start, bookProps, depth0, &where);
    QUrl principalAt;
    if (here) {
        const QList<AddressBook> books = addressBooksIn(*here);
        if (!books.isEmpty())
            return books;
    }
    if (!here || start.path() == QLatin1String("/")) {
        // The well-known place (a redirect to the context path).
        QUrl wellKnown = start;
        wellKnown.setPath(QStringLiteral("/.well-known/carddav"));
        Result<dav::Multistatus> known = propfind(client, wellKnown, bookProps, depth0, &where);
        if (known)
            here = known;
        else if (!here)
            return here.error();
    }
    // The principal, then its home set.
    QString principal;
    for (const dav::Response &response : here->responses)
        if (const QStringList hrefs = response.hrefs(dav::kDav, "current-user-principal"); !hrefs.isEmpty())
            principal = hrefs.first();
    QStringList homes;
    for (const dav::Response &response : here->responses)
        homes << response.hrefs(dav::kCardDav, "addressbook-home-set");
    if (homes.isEmpty() && !principal.isEmpty()) {
        Result<dav::Multistatus> ofPrincipal =
            propfind(client, where.resolved(QUrl(principal)), {{dav::kCardDav, "addressbook-home-set"}}, depth0, nullptr);
        if (!ofPrincipal)
            return ofPrincipal.error();
        for (const dav::Response &response : ofPrincipal->responses)
            homes << response.hrefs(dav::kCardDav, "addressbook-home-set");
    }
    if (homes.isEmpty())
        return failure(QStringLiteral("The server at %1 names no address book home for %2: is it a CardDAV server?")
                           .arg(start.toString(), client.account().userName));
    QList<AddressBook> books;
    for (const QString &home : homes) {
        Result<dav::Multistatus> listing = propfind(client, where.resolved(QUrl(withSlash(home))),
                                                    {{dav::kDav, "resourcetype"}, {dav::kDav, "displayname"}}, depth1, nullptr);
        if (!listing)
            return listing.error();
        books << addressBooksIn(*listing);
    }
    if (books.isEmpty())
        return failure(QStringLiteral("The server at %1 has no address book for %2.")
                           .arg(start.toString(), client.account().userName));
    return books;
}

Result<AddressBook> chooseAddressBook(const QList<AddressBook> &books, const QString &wanted)
{
    if (wanted.isEmpty()) {
        if (books.size() == 1)
            return books.first();
    } else {
        for (const AddressBook &book : books)
            if (book.path == withSlash(wanted) || book.path == withSlash(QUrl(wanted).path()))
                return book;
        for (const AddressBook &book : books)
            if (book.displayName.compare(wanted, Qt::CaseInsensitive) == 0)
                return book;
    }
    QStringList choices;
    for (const AddressBook &book : books)
        choices << (book.displayName.isEmpty() ? book.path : book.displayName + QStringLiteral(" (") + book.path + QLatin1Char(')'));
    return failure(wanted.isEmpty()
                       ? QStringLiteral("The server has several address books; choose one of: %1.").arg(choices.join(QStringLiteral(", ")))
                       : QStringLiteral("The server has no address book \"%1\"; there are: %2.").arg(wanted, choices.join(QStringLiteral(", "))));
}

} // namespace carddav
