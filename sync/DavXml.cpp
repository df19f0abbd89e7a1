#include "DavXml.h"

#include "TransportSecurity.h"

#include <QUrl>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>

namespace carddav::dav {

namespace {

QString keyOf(const QXmlStreamReader &reader)
{
    return reader.namespaceUri().toString() + QLatin1Char('|') + reader.name().toString();
}

bool is(const QXmlStreamReader &reader, const char *ns, const char *name)
{
    return reader.namespaceUri() == QLatin1String(ns) && reader.name() == QLatin1String(name);
}

// Reads one property element (the reader is on its start) to its end.
Property readProperty(QXmlStreamReader &reader)
{
    Property property;
    int depth = 1;
    while (depth > 0 && !reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            if (depth == 2)
                property.childNames << keyOf(reader);
            if (is(reader, kDav, "href")) {
                property.hrefs << QUrl::fromPercentEncoding(reader.readElementText().trimmed().toUtf8());
                --depth;
            }
        } else if (reader.isEndElement()) {
            --depth;
        } else if (reader.isCharacters() && depth == 1) {
            property.text += reader.text();
        }
    }
    return property;
}

void readPropstat(QXmlStreamReader &reader, Response &response)
{
    QHash<QString, Property> properties;
    int status = 200;
    while (reader.readNextStartElement()) {
        if (is(reader, kDav, "prop")) {
            while (reader.readNextStartElement()) {
                const QString key = keyOf(reader);
                properties.insert(key, readProperty(reader));
            }
        } else if (is(reader, kDav, "status")) {
            status = statusCode(reader.readElementText());
        } else {
            reader.skipCurrentElement();
        }
    }
    if (status >= 200 && status < 300)
        response.found.insert(properties);
}

Response readResponse(QXmlStreamReader &reader)
{
    Response response;
    while (reader.readNextStartElement()) {
        if (is(reader, kDav, "href"))
            response.href = QUrl::fromPercentEncoding(reader.readElementText().trimmed().toUtf8());
        else if (is(reader, kDav, "status"))
            response.status = statusCode(reader.readElementText());
        else if (is(reader, kDav, "propstat"))
            readPropstat(reader, response);
        else
            reader.skipCurrentElement();
    }
    return response;
}

QByteArray document(const std::function<void(QXmlStreamWriter &)> &body)
{
    QByteArray out;
    QXmlStreamWriter writer(&out);
    writer.writeStartDocument();
    writer.writeNamespace(QString::fromLatin1(kDav), QStringLiteral("d"));
    writer.writeNamespace(QString::fromLatin1(kCardDav), QStringLiteral("card"));
    body(writer);
    writer.writeEndDocument();
    return out;
}

} // namespace

int statusCode(const QString &statusLine)
{
    // "HTTP/1.1 200 OK"
    const QStringList parts = statusLine.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

Result<Multistatus> parseMultistatus(const QByteArray &xml)
{
    if (Status safe = checkXmlSafe(xml); !safe)
        return safe.error();
    Multistatus result;
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement() || !is(reader, kDav, "multistatus"))
        return failure(QStringLiteral("The server's reply is not a WebDAV multistatus."));
    while (reader.readNextStartElement()) {
        if (is(reader, kDav, "response"))
            result.responses << readResponse(reader);
        else if (is(reader, kDav, "sync-token"))
            result.syncToken = reader.readElementText().trimmed();
        else
            reader.skipCurrentElement();
    }
    if (reader.hasError())
        return failure(QStringLiteral("The server's reply cannot be read: %1 (line %2).")
                           .arg(reader.errorString())
                           .arg(reader.lineNumber()));
    return result;
}

QByteArray propfindBody(const QList<QPair<const char *, const char *>> &properties)
{
    return document([&](QXmlStreamWriter &w) {
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("propfind"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        for (const auto &[ns, name] : properties)
            w.writeEmptyElement(QString::fromLatin1(ns), QString::fromLatin1(name));
        w.writeEndElement();
        w.writeEndElement();
    });
}

QByteArray syncCollectionBody(const QString &token)
{
    return document([&](QXmlStreamWriter &w) {
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("sync-collection"));
        w.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-token"), token);
        w.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("sync-level"), QStringLiteral("1"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        w.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        w.writeEndElement();
        w.writeEndElement();
    });
}

QByteArray multigetBody(const QStringList &hrefs)
{
    return document([&](QXmlStreamWriter &w) {
        w.writeStartElement(QString::fromLatin1(kCardDav), QStringLiteral("addressbook-multiget"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        w.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("getetag"));
        w.writeEmptyElement(QString::fromLatin1(kCardDav), QStringLiteral("address-data"));
        w.writeEndElement();
        for (const QString &href : hrefs)
            w.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("href"),
                               QString::fromLatin1(QUrl::toPercentEncoding(href, "/")));
        w.writeEndElement();
    });
}

QByteArray addressBookMkcolBody(const QString &displayName)
{
    return document([&](QXmlStreamWriter &w) {
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("mkcol"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("set"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("prop"));
        w.writeStartElement(QString::fromLatin1(kDav), QStringLiteral("resourcetype"));
        w.writeEmptyElement(QString::fromLatin1(kDav), QStringLiteral("collection"));
        w.writeEmptyElement(QString::fromLatin1(kCardDav), QStringLiteral("addressbook"));
        w.writeEndElement();
        w.writeTextElement(QString::fromLatin1(kDav), QStringLiteral("displayname"), displayName);
        w.writeEndElement();
        w.writeEndElement();
        w.writeEndElement();
    });
}

} // namespace carddav::dav
