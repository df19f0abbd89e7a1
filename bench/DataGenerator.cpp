#include "DataGenerator.h"

#include "store/Connection.h"
#include "store/Schema.h"

#include <QDate>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace {
const QStringList kFirstNames = {
    "Anna", "Zoë", "José", "François", "Björn", "Ingrid", "Łukasz", "Chloé", "Mohammed", "Yuki",
    "Søren", "Amélie", "Jürgen", "Siobhán", "Raúl", "Ana", "Élodie", "Mateo", "Olga", "Priya",
    "Émile", "Noah", "Ève", "Kwame", "Lena", "Ömer", "Inês", "Tomás", "Hélène", "Dmitri"};
const QStringList kLastNames = {
    "Müller", "García", "O'Brien", "Dubois", "Kowalski", "Nguyễn", "Smith", "Johansson", "Rossi",
    "Fernández", "Schäfer", "Østergaard", "Lefèvre", "Tanaka", "Brown", "Novák", "Papadopoulos",
    "Côté", "Jensen", "Silva", "Weiß", "Martínez", "Nakamura", "Öztürk", "Dvořák", "Keller"};
const QStringList kApostropheNames = {"D'Arcy", "N'Golo", "O'Shea", "Ta'Nisha", "D'Angelo", "Shaquille O'Neal"};
const QStringList kCities = {"München", "Zürich", "São Paulo", "Kraków", "Montréal", "Göteborg",
                             "Lyon", "Sevilla", "Oslo", "Reykjavík", "Porto", "Köln", "Boston", "Québec"};
const QStringList kCountries = {"Germany", "Switzerland", "Brazil", "Poland", "Canada", "Sweden",
                                "France", "Spain", "Norway", "Iceland", "Portugal", "USA"};
const QStringList kCompanies = {"Acme GmbH", "Nordlicht AB", "Café Délice", "Müller & Söhne",
                                "Żabka Sp. z o.o.", "Smith Ltd", "Lumière SARL", "Øresund A/S"};
const QStringList kTitles = {"CEO", "Buyer", "Sales Manager", "Engineer", "Directrice", "Accountant"};
const QStringList kSubjects = {"Pricing", "Follow-up on the quote", "Delivery dates", "Invoice question",
                               "Contract renewal", "Product demo", "Complaint about late shipment"};
const QStringList kTypes = {"Customer", "Supplier", "Partner", "Prospect", "Friend", "Family",
                            "Press", "Investor", "Consultant", "Former customer", "Reseller", "Other"};

QString pick(QRandomGenerator &random, const QStringList &list)
{
    return list.at(int(random.bounded(quint32(list.size()))));
}

QString digits(QRandomGenerator &random, int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QChar('0' + int(random.bounded(10u)));
    return text;
}

// About one field in six is Null.
QVariant maybe(QRandomGenerator &random, const QString &value)
{
    return random.bounded(6u) == 0 ? QVariant(QMetaType::fromType<QString>()) : QVariant(value);
}

Status ran(QSqlQuery &query)
{
    if (!query.exec())
        return failure(query.lastError().text());
    return {};
}

Status ran(QSqlDatabase &db, const QString &sql)
{
    QSqlQuery query(db);
    if (!query.exec(sql))
        return failure(query.lastError().text());
    return {};
}

// Fills the fresh database in one transaction, as another program would:
// through a driver connection of its own, each statement prepared once for
// millions of rows.
Status fillWith(QSqlDatabase &db, const GeneratorOptions &options)
{
    if (Status done = ran(db, "PRAGMA synchronous=OFF"); !done)
        return done;
    if (!db.transaction())
        return failure(db.lastError().text());
    {
        QRandomGenerator random(options.seed);

        QSqlQuery type(db);
        type.prepare("INSERT INTO \"Contact Types\" (ContactType) VALUES (?)");
        for (int i = 0; i < options.types; ++i) {
            type.addBindValue(kTypes.at(i % kTypes.size()) + (i >= kTypes.size() ? QString(" %1").arg(i) : QString()));
            if (Status inserted = ran(type); !inserted)
                return inserted;
        }

        QSqlQuery contact(db);
        contact.prepare("INSERT INTO Contacts (FirstName, LastName, Dear, Address, City, StateOrProvince, "
                        "PostalCode, Region, Country, CompanyName, Title, EmailName, WorkPhone, WorkExtension, "
                        "HomePhone, MobilePhone, FaxNumber, Notes, ContactTypeID, ReferredBy, MaritalStatus, "
                        "Hometown, SpouseName, Birthdate, ContactsInterests, SpousesInterests, ChildrenNames) "
                        "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        QSqlQuery call(db);
        call.prepare("INSERT INTO Calls (ContactID, CallDate, CallTime, Subject, Notes) VALUES (?,?,?,?,?)");
        const QDate today = QDate::currentDate();
        for (qint64 n = 1; n <= options.contacts; ++n) {
            QString first = pick(random, kFirstNames);
            if (options.spreadCalls && random.bounded(4u) == 0)
                first = pick(random, kApostropheNames);
            const QString last = pick(random, kLastNames);
            const QString city = pick(random, kCities);
            const QVariantList values = {
                first, last, maybe(random, "Dear " + first),
                maybe(random, QString("%1 %2 Street\r\nFloor %3").arg(random.bounded(1, 300)).arg(pick(random, kLastNames)).arg(random.bounded(1, 12))),
                city, maybe(random, city.left(2).toUpper()), maybe(random, digits(random, 5)),
                maybe(random, "Region " + QString::number(random.bounded(1, 20))), pick(random, kCountries),
                maybe(random, pick(random, kCompanies)), maybe(random, pick(random, kTitles)),
                maybe(random, QString("%1.%2@example.com").arg(first.toLower(), QString::number(n))),
                maybe(random, digits(random, 10)), maybe(random, digits(random, 3)), maybe(random, digits(random, 10)),
                maybe(random, digits(random, 10)), maybe(random, digits(random, 10)),
                maybe(random, QString("Met at the %1 fair.\r\nPrefers e-mail; call after 10:00.").arg(city)),
                QVariant(qint64(random.bounded(1, options.types + 1))), maybe(random, pick(random, kFirstNames)),
                maybe(random, random.bounded(2u) ? "Married" : "Single"), maybe(random, pick(random, kCities)),
                maybe(random, pick(random, kFirstNames)),
                maybe(random, QDate(1950, 1, 1).addDays(random.bounded(20000)).toString(Qt::ISODate)),
                maybe(random, "Sailing, jazz, cooking"), maybe(random, "Tennis"), maybe(random, "Léa, Max")};
            for (const QVariant &value : values)
                contact.addBindValue(value);
            if (Status inserted = ran(contact); !inserted)
                return inserted;
            const qint64 contactId = contact.lastInsertId().toLongLong();
            for (qint64 c = 0; c < options.callsPerContact; ++c) {
                call.addBindValue(contactId);
                if (options.spreadCalls) {
                    call.addBindValue(QDate(1950, 1, 1).addDays(random.bounded(27000)).toString(Qt::ISODate));
                    call.addBindValue(QTime(0, 0).addSecs(int(random.bounded(86400u))).toString("HH:mm:ss"));
                } else {
                    call.addBindValue(today.addDays(-qint64(random.bounded(400u))).toString(Qt::ISODate));
                    call.addBindValue(QTime(8 + int(random.bounded(10u)), int(random.bounded(60u)), 0).toString("HH:mm:ss"));
                }
                call.addBindValue(pick(random, kSubjects));
                call.addBindValue(random.bounded(3u) == 0 ? QVariant(QMetaType::fromType<QString>())
                                                          : QVariant(QString("Spoke with %1.\r\nNext step: send the offer.").arg(first)));
                if (Status inserted = ran(call); !inserted)
                    return inserted;
            }
        }
    }
    if (!db.commit())
        return failure(db.lastError().text());
    if (Status analysed = ran(db, "ANALYZE"); !analysed)
        return analysed;
    return ran(db, "PRAGMA wal_checkpoint(TRUNCATE)");
}

Status fill(Connection &connection, const GeneratorOptions &options)
{
    const QString name = QStringLiteral("corvanta-generator");
    Status filled;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(connection.path());
        filled = db.open() ? fillWith(db, options) : Status(failure(db.lastError().text()));
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return filled;
}
} // namespace

bool generateDatabase(const QString &path, const GeneratorOptions &options, QString *error)
{
    QFile::remove(path);
    QFile::remove(path + "-wal");
    QFile::remove(path + "-shm");
    Status filled = writeBlankDatabaseFile(path);
    if (filled) {
        auto connection = Connection::open(path);
        filled = connection ? fill(**connection, options) : Status(connection.error());
    }
    if (!filled && error)
        *error = filled.error().description;
    return filled.ok();
}
