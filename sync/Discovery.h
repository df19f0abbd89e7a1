#pragma once

#include "DavClient.h"

#include "base/Result.h"

#include <QList>
#include <QString>
#include <QUrl>

namespace carddav {

struct AddressBook {
    QString path;          // "/user/contacts/" (always ends with a slash)
    QString displayName;   // may be empty
};

// Finds the user's address books from what the user typed (a host, a
// server URL or an address book's URL): /.well-known/carddav, the current
// user principal, its address book home set, the address books in it.
// Redirects are followed by hand with the same method and body.
Result<QList<AddressBook>> discoverAddressBooks(DavClient &client);

// The address book whose display name or path is `wanted` (any case; a
// path with or without its trailing slash); with `wanted` empty the only
// one there is. The Error names the choices when it is not clear.
Result<AddressBook> chooseAddressBook(const QList<AddressBook> &books, const QString &wanted);

// A PROPFIND (or another method) that follows up to five redirects, sending
// the same request again to the new place.
Result<DavReply> sendFollowingRedirects(DavClient &client, const QByteArray &method, QUrl url, const QByteArray &body,
                                        const QList<QPair<QByteArray, QByteArray>> &headers, QUrl *finalUrl = nullptr);

} // namespace carddav
