#include "BackupFile.h"

#include "BackupCheck.h"
#include "BackupTables.h"

#include "store/BackupStore.h"
#include "base/Paths.h"

#include <QDir>
#include <QLocale>

namespace backup {

namespace {
// Date/Time fields of the schema. Their values are stored as ISO text in
// columns declared TEXT, so the declared type alone does not tell.
bool isDateField(const QString &table, const QString &column)
{
    static const QStringList fields = {QStringLiteral("Contacts.Birthdate"), QStringLiteral("Calls.CallDate"),
                                       QStringLiteral("Calls.CallTime")};
    return fields.contains(table + QLatin1Char('.') + column, Qt::CaseInsensitive);
}

FieldKind kindOf(const QString &table, const QString &column, const QString &declaredType)
{
    const QString type = declaredType.toUpper();
    if (type.contains(QLatin1String("INT")))
        return FieldKind::Long;
    if (type.contains(QLatin1String("BOOL")) || type == QLatin1String("BIT"))
        return FieldKind::YesNo;
    if (type.contains(QLatin1String("DATE")) || type.contains(QLatin1String("TIME"))
        || isDateField(table, column))
        return FieldKind::Date;
    return FieldKind::Text;
}
} // namespace

QString tableName(BackupTable table)
{
    switch (table) {
    case BackupTable::ContactTypes:
        return QStringLiteral("Contact Types");
    case BackupTable::Contacts:
        return QStringLiteral("Contacts");
    case BackupTable::Calls:
        return QStringLiteral("Calls");
    }
    return {};
}

static Result<TableInfo> readTable(BackupStore &store, BackupTable table)
{
    TableInfo info;
    info.name = tableName(table);
    const Result<QList<BackupStore::Column>> columns = store.columns(info.name);
    if (!columns)
        return columns.error();
    for (const BackupStore::Column &column : *columns)
        info.columns.append({column.name, kindOf(info.name, column.name, column.declaredType)});
    if (info.columns.size() < 2)
        return failure(QStringLiteral("The database has no table '%1' with fields to restore.").arg(info.name));
    return info;
}

Result<std::array<TableInfo, 3>> readTables(BackupStore &store)
{
    std::array<TableInfo, 3> tables;
    for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts, BackupTable::Calls}) {
        Result<TableInfo> info = readTable(store, table);
        if (!info)
            return info.error();
        tables[std::size_t(table)] = std::move(info).value();
    }
    return tables;
}

QString backupFilePath(const QString &folder)
{
    const QString path = QDir::fromNativeSeparators(folder) + QLatin1Char('/') + QLatin1String(kBackupFileName);
    QString normalized = NormalizePath(path);
    // A local absolute path keeps its single leading separator; only a path
    // that was given as a network path keeps two.
    if (normalized.startsWith(QLatin1String("//")) && !QDir::fromNativeSeparators(folder).startsWith(QLatin1String("//")))
        normalized.remove(0, 1);
    return normalized;
}

QString RestoreSummary::message() const
{
    switch (status) {
    case RestoreStatus::Done: {
        auto counted = [](qint64 count, const char *one, const char *many) {
            return QStringLiteral("%1 %2").arg(groupedCount(count), QLatin1String(count == 1 ? one : many));
        };
        QString text = QStringLiteral("Done.\nRestored %1, %2 and %3; ")
                           .arg(counted(restored[0], "contact type", "contact types"),
                                counted(restored[1], "contact", "contacts"), counted(restored[2], "call", "calls"));
        if (rejected == 0)
            text += QStringLiteral("no record was rejected.");
        else
            text += QStringLiteral("%1 could not be restored.").arg(counted(rejected, "record", "records"));
        if (keysNotUsed > 0)
            text += QStringLiteral("\nThe keys of %1 %2 could not be taken from the file; their contacts "
                                   "and calls may not be linked to them as before.")
                        .arg(keysNotUsed)
                        .arg(keysNotUsed == 1 ? QStringLiteral("record") : QStringLiteral("records"));
        if (textsNotUsed > 0)
            text += QStringLiteral("\n%1 %2 could not be restored exactly and %3 restored as the record "
                                   "lines give them.")
                        .arg(textsNotUsed)
                        .arg(textsNotUsed == 1 ? QStringLiteral("text") : QStringLiteral("texts"))
                        .arg(textsNotUsed == 1 ? QStringLiteral("was") : QStringLiteral("were"));
        return text;
    }
    case RestoreStatus::NoData:
        return QStringLiteral("No data to restore.");
    case RestoreStatus::NoFile:
        return QStringLiteral("No file to restore.");
    case RestoreStatus::NotBackup:
        return QStringLiteral("The file is not a backup: it has no line beginning with \"TABLE\". "
                              "Nothing was restored and the database was not changed.");
    case RestoreStatus::Incomplete:
        return refusal;
    case RestoreStatus::Declined:
        return QStringLiteral("Nothing was restored: the database is as it was before.");
    }
    return {};
}

QString undoQuestion(const UndoCopy &copy)
{
    return QStringLiteral("Put back the database as it was before the restore of %1?\n"
                          "Everything changed since then will be lost.")
        .arg(QLocale().toString(copy.written, QLocale::ShortFormat));
}

} // namespace backup
