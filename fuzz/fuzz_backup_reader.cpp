// Feeds arbitrary bytes to the backup file reader as the content of
// BackupDB.txt. Besides never crashing, the reader must keep two promises on
// any input: a restore into a healthy database ends (it never fails as a
// whole), and whatever it restored survives a backup, a delete-first restore
// and a second backup unchanged, byte for byte.

#include "backup/BackupFile.h"
#include "backup/BackupDates.h"
#include "backup/BackupText.h"
#include "backup/BackupTrailer.h"
#include "store/Connection.h"
#include "store/Schema.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QVariant>

#include <optional>

#include <cstdio>
#include <cstdlib>

using namespace backup;

namespace {
Connection *g_connection = nullptr;

void fail(const char *what, const QByteArray &detail = {})
{
    std::fprintf(stderr, "%s\n%s\n", what, detail.constData());
    std::abort();
}

QByteArray backupOf(Connection &connection)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    const BackupResult result = writeBackupTo(connection, buffer);
    if (!result)
        fail("backup failed", result.error().description.toUtf8());
    return buffer.data();
}

void emptyTables(Connection &connection)
{
    for (const char *table : {"\"Contact Types\"", "Contacts", "Calls"})
        if (!connection.execute(QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))))
            std::abort();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static Result<std::unique_ptr<Connection>> connection =
        Connection::open(QStringLiteral(":memory:"), Connection::Open::CreateIfMissing);
    if (!connection || !prepareSchema(**connection))
        std::abort();
    g_connection = connection->get();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));

    // The text layer on its own: every line, as record and as date.
    const BackupLines lines(bytes);
    const BackupSections sections = findSections(lines);
    readTrailer(lines, sections);
    DateReader dates = DateReader::guessing();
    QList<RecordValue> values;
    QString reason;
    QByteArray scratch;
    QByteArray iso;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArrayView line = lines.utf8(i, &scratch);
        parseRecordLine(line, &values, &reason);
        dates.parse(line, &iso);
    }

    // The whole restore, in the mode the first byte chooses, onto a database
    // that already holds a row of each table.
    emptyTables(*g_connection);
    for (const char *insert : {"INSERT INTO \"Contact Types\" (ContactType) VALUES ('Existing')",
                               "INSERT INTO Contacts (FirstName, ContactTypeID) VALUES ('Existing', 1)",
                               "INSERT INTO Calls (ContactID, CallDate) VALUES (1, '2021-03-14')"})
        if (!g_connection->execute(QString::fromLatin1(insert)))
            std::abort();
    const RestoreMode mode = size > 0 && (data[0] & 1) ? RestoreMode::Append : RestoreMode::DeleteFirst;
    const RestoreResult first = restoreBackupData(*g_connection, bytes, mode);
    if (!first)
        fail("restore failed", first.error().description.toUtf8());
    if (first->status == RestoreStatus::NoData && !bytes.isEmpty() && lines.size() != 0)
        fail("lines but no data");
    if (first->status == RestoreStatus::NotBackup || first->status == RestoreStatus::Incomplete) {
        const Result<std::optional<QVariant>> count = g_connection->value(QStringLiteral("SELECT COUNT(*) FROM Contacts"));
        if (!count || !count->has_value() || (*count)->toInt() != 1)
            fail("a refused file changed the database");
    }

    const QByteArray written = backupOf(*g_connection);
    const RestoreResult again = restoreBackupData(*g_connection, written, RestoreMode::DeleteFirst);
    if (!again || again->status != RestoreStatus::Done || again->rejected != 0 || !again->keysFromFile
        || again->keysNotUsed != 0 || again->textsNotUsed != 0)
        fail("the backup did not restore cleanly", written);
    const QByteArray rewritten = backupOf(*g_connection);
    if (rewritten != written)
        fail("a backup and restore changed the data", written + "\n----\n" + rewritten);
    return 0;
}
