// The backup file's reader: finds the sections, turns every record line into
// the values of one row and inserts them, all in one transaction.

#include "BackupFile.h"

#include "BackupTables.h"
#include "BackupText.h"

#include "store/BackupStore.h"
#include "store/Connection.h"
#include "frame/Paths.h"

#include <QFile>
#include <QHash>

namespace backup {

namespace {

// Rolls the restore back unless it was committed, also when a callback
// ends the run by throwing.
class TransactionGuard {
public:
    explicit TransactionGuard(BackupStore &store) : m_store(store) {}
    ~TransactionGuard()
    {
        if (m_active)
            (void)m_store.rollback();
    }
    Status begin()
    {
        Status begun = m_store.beginWrite();
        m_active = bool(begun);
        return begun;
    }
    Status commit()
    {
        Status committed = m_store.commit();
        if (committed)
            m_active = false;
        return committed;
    }

private:
    BackupStore &m_store;
    bool m_active = false;
};

// A value quoted in a rejection message: at most kQuotedLength characters,
// so that a huge value gives a message of ordinary size.
QString quotedValue(const QString &text)
{
    constexpr qsizetype kQuotedLength = 200;
    if (text.size() <= kQuotedLength)
        return text;
    return QStringLiteral("%1... (%2 characters)").arg(text.left(kQuotedLength)).arg(text.size());
}

// How the references of one section are restored.
struct SectionKeys {
    const QList<qint64> *oldKeys = nullptr;          // the file's keys of the section's records
    bool explicitKeys = false;                       // the rows get their old keys back
    QHash<qint64, qint64> *newKeys = nullptr;        // collects old key -> new key
    QString referenceName;                           // the field that refers to another table
    const QHash<qint64, qint64> *referenceMap = nullptr;
};

class Restorer {
public:
    Restorer(BackupStore &store, const BackupLines &lines, RestoreMode mode, const RestoreCallbacks &callbacks,
             RestoreResult &result)
        : m_store(store), m_lines(lines), m_mode(mode), m_callbacks(callbacks), m_result(result)
    {
    }

    bool declined() const { return m_declined; }

    Status run(Stage *stage)
    {
        const BackupSections sections = findSections(m_lines);
        const BackupKeys keys = readKeySection(m_lines, sections);
        m_result.keysFromFile = keys.valid;
        m_total = sections.contactTypes.count() + sections.contacts.count() + sections.calls.count();

        *stage = Stage::OpenDatabase;
        TableInfo tables[3];
        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts, BackupTable::Calls}) {
            Result<TableInfo> info = readTable(m_store, table);
            if (!info)
                return info.error();
            tables[int(table)] = std::move(info).value();
        }
        const TableInfo &types = tables[0];
        const TableInfo &contacts = tables[1];
        const TableInfo &calls = tables[2];

        TransactionGuard transaction(m_store);
        if (Status begun = transaction.begin(); !begun)
            return begun;
        QStringList deferredIndexes;
        if (m_mode == RestoreMode::DeleteFirst) {
            const struct {
                Stage stage;
                const TableInfo &table;
            } deletions[] = {{Stage::DeleteContactTypes, types}, {Stage::DeleteContacts, contacts},
                             {Stage::DeleteCalls, calls}};
            for (const auto &deletion : deletions) {
                *stage = deletion.stage;
                if (Status deleted = m_store.deleteAll(deletion.table.name); !deleted)
                    return deleted;
            }
            // Into empty tables it is far quicker to build the indexes once,
            // after the rows are in, than to update them row by row. The
            // statements are part of the transaction, so a failure brings the
            // indexes back with the rows.
            *stage = Stage::OpenDatabase;
            Result<QStringList> dropped = m_store.dropPlainIndexes({types.name, contacts.name, calls.name});
            if (!dropped)
                return dropped.error();
            deferredIndexes = std::move(dropped).value();
        }
        if (m_callbacks.progress)
            m_callbacks.progress(0, m_total);

        // With the file's keys, a delete-first restore gives every type and
        // contact its old key back; an append maps references to the keys
        // that the restored rows received.
        const bool explicitKeys = keys.valid && m_mode == RestoreMode::DeleteFirst;
        const bool mapKeys = keys.valid && m_mode == RestoreMode::Append;
        QHash<qint64, qint64> typeMap;
        QHash<qint64, qint64> contactMap;

        *stage = Stage::ContactTypes;
        SectionKeys typeKeys{keys.valid ? &keys.contactTypes : nullptr, explicitKeys, mapKeys ? &typeMap : nullptr,
                             QString(), nullptr};
        if (Status restored = restoreSection(BackupTable::ContactTypes, types, sections.contactTypes, typeKeys);
            !restored)
            return restored;
        *stage = Stage::Contacts;
        SectionKeys contactKeys{keys.valid ? &keys.contacts : nullptr, explicitKeys, mapKeys ? &contactMap : nullptr,
                                types.keyName(), mapKeys ? &typeMap : nullptr};
        if (Status restored = restoreSection(BackupTable::Contacts, contacts, sections.contacts, contactKeys);
            !restored)
            return restored;
        *stage = Stage::Calls;
        SectionKeys callKeys{nullptr, false, nullptr, contacts.keyName(), mapKeys ? &contactMap : nullptr};
        if (Status restored = restoreSection(BackupTable::Calls, calls, sections.calls, callKeys); !restored)
            return restored;

        *stage = Stage::Finish;
        if (Status recreated = m_store.recreateIndexes(deferredIndexes); !recreated)
            return recreated;
        if (m_mode == RestoreMode::DeleteFirst && m_result.rejected > 0 && m_callbacks.acceptRejects
            && !m_callbacks.acceptRejects(m_result.rejected)) {
            m_declined = true;
            return {}; // the guard rolls everything back
        }
        if (Status committed = transaction.commit(); !committed)
            return committed;
        if (m_callbacks.progress)
            m_callbacks.progress(m_total, m_total);
        return {};
    }

private:
    void reject(BackupTable table, qsizetype index, const QString &line, const QString &reason)
    {
        ++m_result.rejected;
        if (m_callbacks.rejected)
            m_callbacks.rejected(RejectedRecord{table, index + 1, line, reason});
    }

    // Turns one value of the line into what is stored; false when it does not
    // convert. The writer leaves out Null captions of the Contact Types
    // section, so there an empty text is an empty caption; elsewhere it is Null.
    bool convert(BackupTable table, const RecordValue &value, FieldKind kind, QVariant *stored, QString *why)
    {
        if (value.kind == RecordValue::Null) {
            *stored = QVariant();
            return true;
        }
        switch (kind) {
        case FieldKind::Long:
        case FieldKind::YesNo: {
            bool ok = false;
            const qlonglong number = value.text.trimmed().toLongLong(&ok);
            if (!ok) {
                *why = QStringLiteral("'%1' is not a whole number.").arg(quotedValue(value.text));
                return false;
            }
            *stored = number;
            return true;
        }
        case FieldKind::Date: {
            if (value.kind != RecordValue::Text) {
                *why = QStringLiteral("%1 is not a date.").arg(quotedValue(value.text));
                return false;
            }
            const QString iso = m_dates.parse(value.text);
            if (iso.isNull()) {
                *why = QStringLiteral("'%1' is not a date or time.").arg(quotedValue(value.text));
                return false;
            }
            *stored = iso;
            return true;
        }
        case FieldKind::Text: {
            QString text = value.text;
            // The writer puts one space before every closing apostrophe.
            if (value.kind == RecordValue::Text && text.endsWith(QLatin1Char(' ')))
                text.chop(1);
            *stored = text.isEmpty() && table != BackupTable::ContactTypes ? QVariant() : QVariant(text);
            return true;
        }
        }
        return false;
    }

    Status restoreSection(BackupTable table, const TableInfo &info, const BackupSections::Range &range,
                          const SectionKeys &keys)
    {
        const qsizetype valueCount = info.columns.size() - 1;
        QStringList names;
        for (qsizetype i = keys.explicitKeys ? 0 : 1; i < info.columns.size(); ++i)
            names << info.columns.at(i).name;
        Result<std::unique_ptr<BackupStore::Insert>> prepared = m_store.prepareInsert(info.name, names);
        if (!prepared)
            return prepared.error();
        BackupStore::Insert &insert = **prepared;

        qsizetype referenceIndex = -1;
        if (keys.referenceMap) {
            for (qsizetype i = 1; i < info.columns.size(); ++i) {
                if (info.columns.at(i).name.compare(keys.referenceName, Qt::CaseInsensitive) == 0)
                    referenceIndex = i - 1;
            }
        }
        const int offset = keys.explicitKeys ? 1 : 0;

        QList<RecordValue> values;
        QString reason;
        for (qsizetype index = range.first; index < range.last; ++index) {
            const qsizetype record = index - range.first;
            progressTick();
            const QString line = m_lines.text(index);
            if (!parseRecordLine(line, &values, &reason)) {
                reject(table, index, line, reason);
                continue;
            }
            if (values.size() != valueCount) {
                reject(table, index, line,
                       QStringLiteral("The line holds %1 values; the table %2 takes %3.")
                           .arg(values.size())
                           .arg(info.name)
                           .arg(valueCount));
                continue;
            }
            bool converted = true;
            for (qsizetype i = 0; i < valueCount; ++i) {
                QVariant stored;
                QString why;
                if (!convert(table, values.at(i), info.columns.at(i + 1).kind, &stored, &why)) {
                    reject(table, index, line, QStringLiteral("Field %1: %2").arg(info.columns.at(i + 1).name, why));
                    converted = false;
                    break;
                }
                if (i == referenceIndex && !stored.isNull()) {
                    const auto found = keys.referenceMap->constFind(stored.toLongLong());
                    stored = found == keys.referenceMap->constEnd() ? QVariant() : QVariant(*found);
                }
                insert.bind(int(i) + offset, stored);
            }
            if (!converted)
                continue;
            if (keys.explicitKeys)
                insert.bind(0, keys.oldKeys->at(record));

            const Result<qint64> inserted = insert.run();
            if (inserted) {
                if (keys.newKeys)
                    keys.newKeys->insert(keys.oldKeys->at(record), *inserted);
                ++m_result.restored[int(table)];
                continue;
            }
            // SQLite undoes a failed statement by itself and the transaction
            // goes on; a failure of the database, or one that made it give up
            // the whole transaction, ends the restore.
            if (BackupStore::isDatabaseFailure(inserted.error()) || !m_store.inTransaction())
                return inserted.error();
            reject(table, index, line, inserted.error().description);
        }
        return {};
    }

    void progressTick()
    {
        ++m_done;
        if (m_callbacks.progress && m_done % kProgressEvery == 0)
            m_callbacks.progress(m_done, m_total);
    }

    BackupStore &m_store;
    const BackupLines &m_lines;
    RestoreMode m_mode;
    const RestoreCallbacks &m_callbacks;
    RestoreResult &m_result;
    DateText m_dates;
    qint64 m_total = 0;
    qint64 m_done = 0;
    bool m_declined = false;
};

RestoreResult failedAt(Stage stage, const QString &error)
{
    RestoreResult result;
    result.status = RestoreStatus::Failed;
    result.failedStage = stage;
    result.error = error;
    return result;
}

} // namespace

RestoreResult restoreBackupData(QSqlDatabase &db, const QByteArray &data, RestoreMode mode,
                                const RestoreCallbacks &callbacks)
{
    RestoreResult result;
    const BackupLines lines(data);
    if (lines.isEmpty()) {
        result.status = RestoreStatus::NoData;
        return result;
    }
    // Without a single marker line every section is empty, and the
    // delete-first mode would empty the database and report success.
    bool hasMarker = false;
    for (qsizetype i = 0; i < lines.size() && !hasMarker; ++i)
        hasMarker = lines.isMarker(i);
    if (!hasMarker) {
        result.status = RestoreStatus::NotBackup;
        return result;
    }
    BackupStore store(db);
    Restorer restorer(store, lines, mode, callbacks, result);
    Stage stage = Stage::None;
    const Status restored = restorer.run(&stage);
    if (!restored) {
        const qint64 rejected = result.rejected;
        result = failedAt(stage, restored.error().description);
        result.rejected = rejected;
        return result;
    }
    result.status = restorer.declined() ? RestoreStatus::Declined : RestoreStatus::Done;
    if (restorer.declined()) {
        for (qint64 &count : result.restored)
            count = 0;
    }
    return result;
}

RestoreResult restoreBackup(const QString &folder, RestoreMode mode, const RestoreCallbacks &callbacks)
{
    RestoreResult result;
    const QString path = backupFilePath(folder);
    if (!FileExists(path)) {
        result.status = RestoreStatus::NoFile;
        return result;
    }
    // The whole file is read before anything in the database changes.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failedAt(Stage::OpenFile, QStringLiteral("Could not read the file %1: %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return failedAt(Stage::OpenFile, QStringLiteral("Could not read the file %1: %2").arg(path, file.errorString()));
    file.close();
    if (data.isEmpty()) {
        result.status = RestoreStatus::NoData;
        return result;
    }
    Result<std::unique_ptr<Connection>> connection = Connection::openLive();
    if (!connection)
        return failedAt(Stage::OpenDatabase, connection.error().description);
    BackupStore((*connection)->database()).tuneForBulkWrite();
    return restoreBackupData((*connection)->database(), data, mode, callbacks);
}

} // namespace backup
