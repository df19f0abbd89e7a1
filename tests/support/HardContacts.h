#pragma once

// Contacts whose values are easy to spoil on the way through the boxes, and
// byte-exact pictures of the database to compare before and after.

#include "support/TestSupport.h"

#include "store/Schema.h"

#include <QMap>
#include <QProcess>
#include <QSqlQuery>
#include <QStringList>

namespace HardContacts {

struct Seeded {
    QList<qint64> ids;  // in key order, with gaps
    qint64 customer = 0;
    qint64 supplier = 0;
    qint64 deletedType = 0;
};

inline QVariant nullText()
{
    return QVariant(QMetaType::fromType<QString>());
}

// Fills the live database: CR LF, lone CR, TABs, leading and trailing blanks,
// '' beside Null, birth dates that are not dates, accents, other scripts,
// gaps in the keys and a contact whose type has been deleted.
inline Seeded seed(QSqlDatabase &db)
{
    Seeded seeded;
    seeded.customer = TestData::addType(db, QStringLiteral("Customer"));
    seeded.supplier = TestData::addType(db, QStringLiteral("Supplier"));
    seeded.deletedType = TestData::addType(db, QStringLiteral("Gone"));
    auto add = [&](const QVariantMap &fields) { seeded.ids << TestData::addContact(db, fields); };
    add({{"FirstName", "Ann"}, {"LastName", "Lee"}, {"Address", "1 Main St\r\nFlat 2"}, {"City", ""},
         {"Notes", "line one\r\nline two\r\n"}, {"Birthdate", "about 1975"}, {"Title", "  lead  "},
         {"ContactsInterests", "chess\tgo\rsolo"}, {"ContactTypeID", seeded.customer}, {"WorkPhone", "5551234567"}});
    add({{"FirstName", QStringLiteral("Zoë")}, {"LastName", QStringLiteral("Müller-Łukasz")},
         {"City", QStringLiteral("Kraków")}, {"Notes", "\r"}, {"Birthdate", "1980-02-29"},
         {"ContactTypeID", seeded.supplier}, {"Dear", "Dear Zoë\t"}});
    add({{"ContactID", 10}, {"FirstName", QStringLiteral("Сергей")}, {"LastName", QStringLiteral("Иванов")},
         {"City", QStringLiteral("Москва")}, {"Country", QStringLiteral("日本")}, {"Birthdate", "Spring 1961"},
         {"ContactTypeID", seeded.deletedType}, {"HomePhone", "+44 20 7946"}, {"SpousesInterests", "a\n\nb"}});
    add({{"ContactID", 11}, {"FirstName", ""}, {"LastName", nullText()}, {"Region", ""}, {"PostalCode", " "}});
    add({{"ContactID", 25}, {"FirstName", "Trail  "}, {"LastName", " Lead"}, {"SpouseName", "\t"},
         {"Birthdate", "2021-03-14T14:30:00"}, {"ContactTypeID", seeded.customer}, {"Region", "North"},
         {"ChildrenNames", "Amy\r\nBen\rCid\nDan"}});
    add({{"ContactID", 26}, {"FirstName", QStringLiteral("Émile")}, {"LastName", QStringLiteral("Zola")},
         {"Address", "Rue\r\n\r\nFin "}, {"Birthdate", " 1970-01-01"}, {"ContactTypeID", seeded.supplier},
         {"MaritalStatus", ""}, {"Hometown", QStringLiteral("東京")}});
    TestData::addCall(db, seeded.ids[0], QStringLiteral("2024-01-02"), QStringLiteral("10:00:00"), QStringLiteral("Hello"),
                      QStringLiteral("a\r\nb"));
    TestData::addCall(db, seeded.ids[2], QStringLiteral("2023-05-06"), QStringLiteral("09:30:00"), QStringLiteral("Ring"));
    QSqlQuery(db).exec(QStringLiteral("DELETE FROM \"Contact Types\" WHERE ContactTypeID = %1").arg(seeded.deletedType));
    // A file of the current installation: opening it upgrades nothing.
    QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion));
    return seeded;
}

// Every contact and call as SQLite quotes it: type, Null and every byte show.
inline QMap<QString, QStringList> snapshot(QSqlDatabase &db)
{
    QMap<QString, QStringList> rows;
    for (const char *table : {"Contacts", "Calls"}) {
        QSqlQuery columns(db);
        columns.exec(QStringLiteral("PRAGMA table_info(%1)").arg(QLatin1String(table)));
        QStringList quoted;
        while (columns.next())
            quoted << QStringLiteral("quote(%1)").arg(columns.value(1).toString());
        QSqlQuery query(db);
        query.exec(QStringLiteral("SELECT %1 FROM %2").arg(quoted.join(QStringLiteral(", ")), QLatin1String(table)));
        while (query.next()) {
            QStringList values;
            for (int column = 0; column < quoted.size(); ++column)
                values << query.value(column).toString();
            rows.insert(QLatin1String(table) + QLatin1Char(':') + values.value(0), values);
        }
    }
    return rows;
}

// How many commits other connections made to the file (PRAGMA data_version
// on the test's own connection changes with each).
inline qint64 dataVersion(QSqlDatabase &db)
{
    return TestData::scalar(db, QStringLiteral("PRAGMA data_version")).toLongLong();
}

// `sqlite3 FILE .dump`, as the user would compare it.
inline QByteArray dump(const QString &file)
{
    QProcess sqlite;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    sqlite.setProcessEnvironment(environment);
    sqlite.start(QStringLiteral("sqlite3"), {file, QStringLiteral(".dump")});
    if (!sqlite.waitForFinished(60000) || sqlite.exitCode() != 0)
        qFatal("sqlite3 .dump failed: %s", sqlite.readAllStandardError().constData());
    return sqlite.readAllStandardOutput();
}
} // namespace HardContacts
