// The backup file's reader: finds the sections, turns every record line into
// the values of one row and inserts them, all in one transaction.

#include "BackupFile.h"

#include "BackupCheck.h"
#include "BackupTables.h"
#include "BackupDates.h"
#include "BackupText.h"
#include "BackupTrailer.h"

#include "store/BackupStore.h"
#include "store/Connection.h"
#include "store/DataFolder.h"
#include "store/Database.h"
#include "base/Paths.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

namespace backup {

namespace {

RestorePart restorePartOf(BackupTable table)
{
    switch (table) {
    case BackupTable::ContactTypes:
        return RestorePart::ContactTypes;
    case BackupTable::Contacts:
        return RestorePart::Contacts;
    case BackupTable::Calls:
        break;
    }
    return RestorePart::Calls;
}

// A value quoted in a rejection message: at most kQuotedLength characters,
// so that a huge value gives a message of ordinary size.
QString quotedValue(const QString &text)
{
    constexpr qsizetype kQuotedLength = 200;
    if (text.size() <= kQuotedLength)
        return text;
    return QStringLiteral("%1... (%2 characters)").arg(text.left(kQuotedLength)).arg(text.size());
}

// How the records of one section are tied to the trailing section.
struct SectionPlan {
    // For each record line, its place in the file's list of written records
    // (-1: none); empty when the file has no such list and the places are
    // the lines' order.
    QList<qint32> places;
    bool placesKnown = false;
    const QList<qint64> *oldKeys = nullptr;          // the old keys, by place
    bool explicitKeys = false;                       // the rows get their old keys back
    qint64 nextFreeKey = 1;                          // for rows whose old key is not known
    QHash<qint64, qint64> *newKeys = nullptr;        // collects old key -> new key
    QString referenceName;                           // the field that refers to another table
    const QHash<qint64, qint64> *referenceMap = nullptr;
    // The section's exact texts, in the order of place and field.
    const ExactText *texts = nullptr;
    const ExactText *textsEnd = nullptr;

    qint64 placeOf(qsizetype record) const { return placesKnown ? places.at(record) : record; }
};

// What the writer would have put on the line for a stored text; an exact
// text is used only where its line agrees.
bool agreesWithLine(const RecordValue &value, FieldKind kind, const QByteArray &exact)
{
    switch (kind) {
    case FieldKind::Text: {
        QByteArray written;
        appendCleanText(written, exact);
        // The line as read has lost its TABs; the apostrophes are the value's quotes.
        written.replace("\t", "");
        return value.kind == RecordValue::Text && QByteArrayView(written).sliced(1, written.size() - 2) == value.text;
    }
    case FieldKind::Date: {
        QByteArray written;
        if (!appendUsDate(written, exact))
            return value.kind == RecordValue::Null;
        return value.kind == RecordValue::Text && value.text == written;
    }
    case FieldKind::Long:
    case FieldKind::YesNo:
        return value.kind != RecordValue::Text;
    }
    return false;
}

class Restorer {
public:
    Restorer(BackupStore &store, const BackupLines &lines, const BackupSections &sections,
             const BackupTrailer &trailer, RestoreMode mode, const RestoreCallbacks &callbacks, RestoreSummary &result)
        : m_store(store), m_lines(lines), m_sections(sections), m_trailer(trailer), m_mode(mode),
          m_callbacks(callbacks), m_result(result)
    {
    }

    bool declined() const { return m_declined; }
    // Before the existing data is deleted, a copy of the database as it was
    // is written here (replacing an older one), for an undo.
    void keepCopyAt(const QString &path) { m_keepCopyAt = path; }

    Status run()
    {
        const BackupSections &sections = m_sections;
        const BackupTrailer &trailer = m_trailer;
        const BackupSections::Range ranges[3] = {sections.contactTypes, sections.contacts, sections.calls};
        m_total = sections.contactTypes.count() + sections.contacts.count() + sections.calls.count();
        m_dates = trailer.fixedDates ? DateReader::fixedForm() : DateReader::guessing();

        // Keys and exact texts are tied to their records by the fingerprints
        // of the lines; a file of an older version has its keys alone, which
        // hold only while every line is where it was written.
        SectionPlan plans[3];
        for (int s = 0; s < 3; ++s) {
            plans[s].placesKnown = trailer.hasLines;
            if (trailer.hasLines)
                plans[s].places = matchRecords(m_lines, ranges[s], trailer.lines[s]);
        }
        bool keysUsable = trailer.hasKeys && trailer.keysValid;
        if (keysUsable && trailer.hasLines)
            keysUsable = trailer.typeKeys.size() == trailer.lines[0].size()
                && trailer.contactKeys.size() == trailer.lines[1].size();
        else if (keysUsable)
            keysUsable = trailer.typeKeys.size() == sections.contactTypes.count()
                && trailer.contactKeys.size() == sections.contacts.count();
        m_result.keysFromFile = keysUsable;
        if (trailer.hasKeys && !keysUsable)
            m_result.keysNotUsed = sections.contactTypes.count() + sections.contacts.count();
        const bool textsUsable = trailer.hasTexts && trailer.hasLines && m_lines.isUtf8();
        if (trailer.hasTexts && !textsUsable)
            m_result.textsNotUsed = trailer.texts.size();
        m_result.textsNotUsed += trailer.unreadTexts;
        if (textsUsable) {
            for (int s = 0; s < 3; ++s) {
                auto bySection = [](const ExactText &entry, int section) { return entry.section < section; };
                plans[s].texts = std::lower_bound(trailer.texts.constData(), trailer.texts.constData() + trailer.texts.size(), s, bySection);
                plans[s].textsEnd = std::lower_bound(trailer.texts.constData(), trailer.texts.constData() + trailer.texts.size(), s + 1, bySection);
            }
        }

        Result<std::array<TableInfo, 3>> read = readTables(m_store);
        if (!read)
            return read.error();
        const std::array<TableInfo, 3> &tables = *read;
        const TableInfo &types = tables[0];
        const TableInfo &contacts = tables[1];
        const TableInfo &calls = tables[2];

        // The copy reads the database as it is now, on a thread of its own,
        // while the restore goes on; it is complete before the restore commits.
        std::unique_ptr<SnapshotCopy> copy;
        if (!m_keepCopyAt.isEmpty() && m_mode == RestoreMode::DeleteFirst) {
            Result<std::unique_ptr<SnapshotCopy>> started = SnapshotCopy::start(m_store.path(), m_keepCopyAt);
            if (!started)
                return failure(QStringLiteral("Could not keep a copy of the database before the restore: %1")
                                   .arg(started.error().description));
            copy = std::move(started).value();
        }
        // Every early return below rolls the whole restore back.
        Result<Connection::Transaction> transaction = m_store.beginWrite();
        if (!transaction)
            return transaction.error();
        // What the tables held before, so that the rows they hold at the end
        // can be checked against the records restored.
        qint64 before[3] = {0, 0, 0};
        if (m_mode == RestoreMode::Append) {
            for (int s = 0; s < 3; ++s) {
                Result<qint64> counted = m_store.rowCount(tables[s].name);
                if (!counted)
                    return counted.error();
                before[s] = *counted;
            }
        }
        QStringList deferredIndexes;
        if (m_mode == RestoreMode::DeleteFirst) {
            const std::pair<const TableInfo *, RestorePart> deletions[3] = {{&types, RestorePart::DeleteContactTypes},
                                                                            {&contacts, RestorePart::DeleteContacts},
                                                                            {&calls, RestorePart::DeleteCalls}};
            for (const auto &[table, part] : deletions) {
                if (Status deleted = m_store.deleteAll(table->name); !deleted)
                    return inPart(part, failure(QStringLiteral("Could not delete the existing rows of %1: %2")
                                                    .arg(table->name, deleted.error().description),
                                                deleted.error().code));
            }
            // The UIDs of the deleted contacts go with them.
            if (hasUidTable()) {
                if (Status deleted = m_store.deleteAll(kUidTable); !deleted)
                    return deleted;
            }
            // What the last sync knew describes the contacts just deleted:
            // forgotten, the next sync matches the restored contacts with the
            // server's cards afresh instead of taking the missing ones for
            // deletions to send.
            for (const QString &syncTable : {QStringLiteral("SyncCards"), QStringLiteral("SyncValues")}) {
                if (m_store.columns(syncTable).valueOr({}).isEmpty())
                    continue;
                if (Status deleted = m_store.deleteAll(syncTable); !deleted)
                    return deleted;
            }
            // Into empty tables it is far quicker to build the indexes once,
            // after the rows are in, than to update them row by row. The
            // statements are part of the transaction, so a failure brings the
            // indexes back with the rows.
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
        const bool explicitKeys = keysUsable && m_mode == RestoreMode::DeleteFirst;
        const bool mapKeys = keysUsable && m_mode == RestoreMode::Append;
        QHash<qint64, qint64> typeMap;
        QHash<qint64, qint64> contactMap;
        const QList<qint64> *oldKeys[2] = {&trailer.typeKeys, &trailer.contactKeys};
        QHash<qint64, qint64> *maps[2] = {&typeMap, &contactMap};
        for (int s = 0; s < 2; ++s) {
            if (!keysUsable)
                continue;
            plans[s].oldKeys = oldKeys[s];
            plans[s].explicitKeys = explicitKeys;
            plans[s].newKeys = mapKeys ? maps[s] : nullptr;
            for (const qint64 key : *oldKeys[s])
                plans[s].nextFreeKey = std::max(plans[s].nextFreeKey, key + 1);
        }
        plans[1].referenceName = types.keyName();
        plans[1].referenceMap = mapKeys ? &typeMap : nullptr;
        plans[2].referenceName = contacts.keyName();
        plans[2].referenceMap = mapKeys ? &contactMap : nullptr;

        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts, BackupTable::Calls}) {
            if (Status restored = restoreSection(table, tables[int(table)], ranges[int(table)], plans[int(table)]);
                !restored)
                return inPart(restorePartOf(table), restored.error());
        }

        if (Status uids = restoreUids(explicitKeys, mapKeys ? &contactMap : nullptr); !uids)
            return uids;
        if (Status recreated = m_store.recreateIndexes(deferredIndexes); !recreated)
            return recreated;
        // A damaged database can take a row and not keep it; the restore
        // then says so instead of "Done.".
        for (int s = 0; s < 3; ++s) {
            Result<qint64> counted = m_store.rowCount(tables[s].name);
            if (!counted)
                return counted.error();
            const qint64 grown = *counted - before[s];
            if (grown != m_result.restored[s])
                return failure(QStringLiteral("The table %1 holds %2 rows more than before where %3 were restored; "
                                              "the database may be damaged. The restore was undone: nothing was "
                                              "changed.")
                                   .arg(tables[s].name, groupedCount(grown), groupedCount(m_result.restored[s])));
        }
        if (m_mode == RestoreMode::DeleteFirst && m_result.rejected > 0 && m_callbacks.acceptRejects
            && !m_callbacks.acceptRejects(m_result.rejected)) {
            m_declined = true;
            return {}; // the guard rolls everything back
        }
        if (copy) {
            if (Status kept = copy->finish(); !kept)
                return failure(QStringLiteral("Could not keep a copy of the database before the restore: %1")
                                   .arg(kept.error().description));
        }
        if (Status committed = transaction->commit(); !committed)
            return committed;
        if (m_callbacks.progress)
            m_callbacks.progress(m_total, m_total);
        return {};
    }

private:
    const QString kUidTable = QStringLiteral("ContactUids");

    bool hasUidTable() { return !m_store.columns(kUidTable).valueOr({}).isEmpty(); }

    // Gives the restored contacts their UIDs from the file, found by their
    // old keys. An appended copy of a contact that is already there gets no
    // UID from the file (the original keeps it) and a new one when needed.
    Status restoreUids(bool explicitKeys, const QHash<qint64, qint64> *keyMap)
    {
        if (m_trailer.uidsFrom < 0 || !m_result.keysFromFile || !hasUidTable())
            return {};
        Result<std::unique_ptr<BackupStore::Insert>> prepared = m_store.prepareUidInsert();
        if (!prepared)
            return prepared.error();
        BackupStore::Insert &insert = **prepared;
        QByteArray uid;
        for (qsizetype index = m_trailer.uidsFrom; index < m_trailer.uidsTo; ++index) {
            qint64 key = 0;
            if (!uidOf(m_lines.bytes(index), &key, &uid))
                continue;
            if (keyMap) {
                const auto found = keyMap->constFind(key);
                if (found == keyMap->constEnd())
                    continue;
                key = *found;
            } else if (!explicitKeys) {
                continue;
            }
            insert.bindInteger(0, key);
            insert.bindText(1, uid);
            insert.bindInteger(2, key);
            const Result<qint64> inserted = insert.run();
            if (!inserted && (BackupStore::isDatabaseFailure(inserted.error()) || !m_store.inTransaction()))
                return inserted.error();
        }
        return {};
    }

    void reject(BackupTable table, qsizetype index, const QString &reason)
    {
        ++m_result.rejected;
        if (m_callbacks.rejected)
            m_callbacks.rejected(RejectedRecord{table, index + 1, m_lines.text(index), reason});
    }

    // Binds one value of the line as what is stored; false when it does not
    // convert. The writer leaves out Null captions of the Contact Types
    // section, so there an empty text is an empty caption; elsewhere it is Null.
    // A reference is bound as the key its row received, when it is mapped.
    bool bindValue(BackupStore::Insert &insert, int parameter, BackupTable table, const RecordValue &value,
                   FieldKind kind, const QHash<qint64, qint64> *referenceMap, QByteArray &holder, QString *why)
    {
        if (value.kind == RecordValue::Null) {
            insert.bindNull(parameter);
            return true;
        }
        switch (kind) {
        case FieldKind::Long:
        case FieldKind::YesNo: {
            bool ok = false;
            qint64 number = value.text.trimmed().toLongLong(&ok);
            if (!ok) {
                *why = QStringLiteral("'%1' is not a whole number.").arg(quotedValue(QString::fromUtf8(value.text)));
                return false;
            }
            if (referenceMap) {
                const auto found = referenceMap->constFind(number);
                if (found == referenceMap->constEnd()) {
                    insert.bindNull(parameter);
                    return true;
                }
                number = *found;
            }
            insert.bindInteger(parameter, number);
            return true;
        }
        case FieldKind::Date: {
            if (value.kind != RecordValue::Text) {
                *why = QStringLiteral("%1 is not a date.").arg(quotedValue(QString::fromUtf8(value.text)));
                return false;
            }
            if (!m_dates.parse(value.text, &holder)) {
                *why = QStringLiteral("'%1' is not a date or time.").arg(quotedValue(QString::fromUtf8(value.text)));
                return false;
            }
            insert.bindText(parameter, holder);
            return true;
        }
        case FieldKind::Text: {
            QByteArrayView text = value.text;
            // The writer puts one space before every closing apostrophe.
            if (value.kind == RecordValue::Text && text.endsWith(' '))
                text.chop(1);
            if (text.isEmpty() && table != BackupTable::ContactTypes)
                insert.bindNull(parameter);
            else
                insert.bindText(parameter, text);
            return true;
        }
        }
        return false;
    }

    // The exact texts of the record at this place into the holders of their
    // fields; entries whose line does not agree are left out and counted.
    void exactTextsOf(SectionPlan &plan, qint64 place, const QList<RecordValue> &values, const TableInfo &info)
    {
        while (plan.texts != plan.textsEnd && plan.texts->record < place)
            ++plan.texts;
        for (; plan.texts != plan.textsEnd && plan.texts->record == place; ++plan.texts) {
            const int field = plan.texts->field;
            if (field < 1 || field >= info.columns.size() || field > values.size()
                || !exactTextOf(m_lines, *plan.texts, &m_holders[field])
                || !agreesWithLine(values.at(field - 1), info.columns.at(field).kind, m_holders[field])) {
                ++m_result.textsNotUsed;
                continue;
            }
            m_exact[field] = true;
        }
    }

    Status restoreSection(BackupTable table, const TableInfo &info, const BackupSections::Range &range,
                          SectionPlan &plan)
    {
        const qsizetype valueCount = info.columns.size() - 1;
        QStringList names;
        for (qsizetype i = plan.explicitKeys ? 0 : 1; i < info.columns.size(); ++i)
            names << info.columns.at(i).name;
        Result<std::unique_ptr<BackupStore::Insert>> prepared = m_store.prepareInsert(info.name, names);
        if (!prepared)
            return prepared.error();
        BackupStore::Insert &insert = **prepared;

        qsizetype referenceIndex = -1;
        if (plan.referenceMap) {
            for (qsizetype i = 1; i < info.columns.size(); ++i) {
                if (info.columns.at(i).name.compare(plan.referenceName, Qt::CaseInsensitive) == 0)
                    referenceIndex = i - 1;
            }
        }
        const int offset = plan.explicitKeys ? 1 : 0;
        m_holders = QList<QByteArray>(info.columns.size());
        m_exact = QList<bool>(info.columns.size(), false);

        QList<RecordValue> values;
        QString reason;
        QByteArray scratch;
        for (qsizetype index = range.first; index < range.last; ++index) {
            const qint64 place = plan.placeOf(index - range.first);
            progressTick();
            if (!m_lines.isReadable(index)) {
                reject(table, index, QStringLiteral("The line holds bytes that are not UTF-8."));
                continue;
            }
            const QByteArrayView line = m_lines.utf8(index, &scratch);
            if (!parseRecordLine(line, &values, &reason)) {
                reject(table, index, reason);
                continue;
            }
            if (values.size() != valueCount) {
                reject(table, index,
                       QStringLiteral("The line holds %1; the table %2 takes %3.")
                           .arg(values.size() == 1 ? QStringLiteral("1 value") : QStringLiteral("%1 values").arg(values.size()))
                           .arg(info.name)
                           .arg(valueCount));
                continue;
            }
            const bool withTexts = place >= 0 && plan.texts != plan.textsEnd;
            if (withTexts)
                exactTextsOf(plan, place, values, info);
            bool converted = true;
            for (qsizetype i = 0; i < valueCount; ++i) {
                const int field = int(i) + 1;
                if (withTexts && m_exact.at(field)) {
                    m_exact[field] = false;
                    insert.bindText(int(i) + offset, m_holders.at(field));
                    continue;
                }
                QString why;
                if (!bindValue(insert, int(i) + offset, table, values.at(i), info.columns.at(field).kind,
                               i == referenceIndex ? plan.referenceMap : nullptr, m_holders[field], &why)) {
                    reject(table, index, QStringLiteral("Field %1: %2").arg(info.columns.at(field).name, why));
                    converted = false;
                    break;
                }
            }
            if (!converted) {
                std::fill(m_exact.begin(), m_exact.end(), false);
                continue;
            }
            const bool keyKnown = plan.oldKeys && place >= 0 && place < plan.oldKeys->size();
            if (plan.explicitKeys)
                insert.bindInteger(0, keyKnown ? plan.oldKeys->at(place) : plan.nextFreeKey++);

            const Result<qint64> inserted = insert.run();
            if (inserted) {
                if (plan.newKeys && keyKnown)
                    plan.newKeys->insert(plan.oldKeys->at(place), *inserted);
                if (plan.oldKeys && !keyKnown)
                    ++m_result.keysNotUsed;
                ++m_result.restored[int(table)];
                continue;
            }
            // SQLite undoes a failed statement by itself and the transaction
            // goes on; a failure of the database, or one that made it give up
            // the whole transaction, ends the restore.
            if (BackupStore::isDatabaseFailure(inserted.error()) || !m_store.inTransaction())
                return inserted.error();
            reject(table, index, inserted.error().description);
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
    const BackupSections &m_sections;
    const BackupTrailer &m_trailer;
    RestoreMode m_mode;
    const RestoreCallbacks &m_callbacks;
    RestoreSummary &m_result;
    DateReader m_dates = DateReader::fixedForm();
    // By field: a value (an exact text, a stored date) kept until the row is
    // inserted, and whether the current record has an exact text for it.
    QList<QByteArray> m_holders;
    QList<bool> m_exact;
    qint64 m_total = 0;
    qint64 m_done = 0;
    bool m_declined = false;
    QString m_keepCopyAt;
};


} // namespace

namespace {
RestoreResult restoreLines(Connection &connection, const BackupLines &lines, RestoreMode mode,
                           const RestoreCallbacks &callbacks, const QString &keepCopyAt)
{
    RestoreSummary result;
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
    // A file cut short or without a marker is refused before the database
    // is touched, in either mode.
    const BackupSections sections = findSections(lines);
    const BackupTrailer trailer = readTrailer(lines, sections);
    if (const QString missing = missingParts(lines, sections, trailer); !missing.isEmpty()) {
        result.status = RestoreStatus::Incomplete;
        result.refusal = missing;
        return result;
    }
    BackupStore store(connection);
    Restorer restorer(store, lines, sections, trailer, mode, callbacks, result);
    restorer.keepCopyAt(keepCopyAt);
    if (const Status restored = restorer.run(); !restored)
        return restored.error();
    result.status = restorer.declined() ? RestoreStatus::Declined : RestoreStatus::Done;
    if (restorer.declined()) {
        for (qint64 &count : result.restored)
            count = 0;
    }
    return result;
}
} // namespace

RestoreResult restoreBackupData(Connection &connection, const QByteArray &data, RestoreMode mode,
                                const RestoreCallbacks &callbacks)
{
    return restoreLines(connection, BackupLines(data), mode, callbacks, QString());
}

RestoreResult restoreBackup(const QString &folder, RestoreMode mode, const RestoreCallbacks &callbacks)
{
    RestoreSummary result;
    const QString path = backupFilePath(folder);
    if (!FileExists(path)) {
        result.status = RestoreStatus::NoFile;
        return result;
    }
    // The whole file is mapped, and checked, before anything in the database
    // changes.
    Result<BackupLines> lines = BackupLines::map(path);
    if (!lines)
        return inPart(RestorePart::OpenFile, lines.error());
    if (lines->isEmpty()) {
        result.status = RestoreStatus::NoData;
        return result;
    }
    if (const QString reason = liveDatabaseReadOnlyReason(); !reason.isEmpty())
        return inPart(RestorePart::OpenDatabase, failure(readOnlyRefusal(reason)));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return inPart(RestorePart::OpenDatabase, connection.error());
    BackupStore(**connection).tuneForBulkWrite();
    // A delete-first restore keeps the database as it was, for an undo.
    const QString keepCopyAt = mode == RestoreMode::DeleteFirst ? beforeRestorePath() : QString();
    return restoreLines(**connection, *lines, mode, callbacks, keepCopyAt);
}

Result<UndoCopy> lastRestoreCopy()
{
    const QFileInfo copy(beforeRestorePath());
    if (!copy.isFile())
        return failure(QStringLiteral("There is no restore to undo: no copy of the database was kept (%1).")
                           .arg(copy.filePath()));
    return UndoCopy{copy.filePath(), copy.lastModified()};
}

Status undoLastRestore()
{
    Result<UndoCopy> copy = lastRestoreCopy();
    if (!copy)
        return copy.error();
    if (const QString reason = liveDatabaseReadOnlyReason(); !reason.isEmpty())
        return failure(readOnlyRefusal(reason));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return connection.error();
    return BackupStore(**connection).replaceWith(copy->path);
}

} // namespace backup
