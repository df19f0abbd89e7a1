// The backup file's reader: finds the sections, turns every record line into
// the values of one row and inserts them, all in one transaction.

#include "BackupFile.h"

#include "BackupTables.h"
#include "BackupDates.h"
#include "BackupText.h"
#include "BackupTrailer.h"

#include "store/BackupStore.h"
#include "store/Connection.h"
#include "store/Database.h"
#include "frame/Paths.h"

#include <QFile>
#include <QHash>

#include <algorithm>

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
    Restorer(BackupStore &store, const BackupLines &lines, RestoreMode mode, const RestoreCallbacks &callbacks,
             RestoreResult &result)
        : m_store(store), m_lines(lines), m_mode(mode), m_callbacks(callbacks), m_result(result)
    {
    }

    bool declined() const { return m_declined; }

    Status run(Stage *stage)
    {
        const BackupSections sections = findSections(m_lines);
        const BackupTrailer trailer = readTrailer(m_lines, sections);
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

        *stage = Stage::OpenDatabase;
        Result<std::array<TableInfo, 3>> read = readTables(m_store);
        if (!read)
            return read.error();
        const std::array<TableInfo, 3> &tables = *read;
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

        const Stage stages[3] = {Stage::ContactTypes, Stage::Contacts, Stage::Calls};
        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts, BackupTable::Calls}) {
            *stage = stages[int(table)];
            if (Status restored = restoreSection(table, tables[int(table)], ranges[int(table)], plans[int(table)]);
                !restored)
                return restored;
        }

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
            const QByteArrayView line = m_lines.utf8(index, &scratch);
            if (!parseRecordLine(line, &values, &reason)) {
                reject(table, index, reason);
                continue;
            }
            if (values.size() != valueCount) {
                reject(table, index,
                       QStringLiteral("The line holds %1 values; the table %2 takes %3.")
                           .arg(values.size())
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
    RestoreMode m_mode;
    const RestoreCallbacks &m_callbacks;
    RestoreResult &m_result;
    DateReader m_dates = DateReader::fixedForm();
    // By field: a value (an exact text, a stored date) kept until the row is
    // inserted, and whether the current record has an exact text for it.
    QList<QByteArray> m_holders;
    QList<bool> m_exact;
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
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection)
        return failedAt(Stage::OpenDatabase, connection.error().description);
    BackupStore((*connection)->database()).tuneForBulkWrite();
    return restoreBackupData((*connection)->database(), data, mode, callbacks);
}

} // namespace backup
