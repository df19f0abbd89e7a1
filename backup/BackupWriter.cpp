// The backup file's writer: the three sections of record lines, then the
// trailing section after the last "TABLE END" (BackupTrailer.h describes
// it): the old keys, the fixed date form, a fingerprint of every record line
// and, escaped as described there, the exact text of every value that its
// record line does not give back exactly (apostrophes, line breaks, TABs,
// empty texts, dates not in their stored form).

#include "BackupFile.h"

#include "BackupDates.h"
#include "BackupEncoder.h"
#include "BackupOutput.h"
#include "BackupTables.h"
#include "BackupText.h"
#include "BackupTrailer.h"

#include "store/BackupStore.h"
#include "store/Connection.h"
#include "store/Database.h"

#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace backup {

namespace {

// The Calls section encoded on a thread of its own, into memory, while the
// other sections are written. Its connection reads the same moment of the
// database as the writer's own (see SameMoment). Each piece of lines is
// handed over as soon as it is full; once the writer has put it in the file
// its storage comes back to be filled again.
class CallsInBackground {
public:
    CallsInBackground(std::unique_ptr<BackupStore::Rows> rows, const TableInfo &info)
        : m_rows(std::move(rows)), m_info(info), m_lines([this](QByteArray &&piece) { return handOver(std::move(piece)); })
    {
        m_thread = std::thread([this] {
            Status status = encodeRows(*m_rows, BackupTable::Calls, m_info, m_lines, m_section, m_done, &m_stop);
            if (status)
                status = m_lines.flush();
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_status = std::move(status);
            m_finished = true;
            m_changed.notify_all();
        });
    }
    ~CallsInBackground()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    CallsInBackground(const CallsInBackground &) = delete;
    CallsInBackground &operator=(const CallsInBackground &) = delete;

    qint64 done() const { return m_done.load(std::memory_order_relaxed); }

    // The pieces done since the last call, waiting up to `wait` for one;
    // *finished once the section is complete and nothing more will come.
    QList<QByteArray> takePieces(std::chrono::milliseconds wait, bool *finished)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, wait, [this] { return !m_full.isEmpty() || m_finished; });
        *finished = m_finished;
        return std::exchange(m_full, {});
    }
    // A piece that is in the file: its storage can be filled again.
    void giveBack(QByteArray &&piece)
    {
        piece.resize(0);
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_spare.append(std::move(piece));
    }
    // Once finished: what the trailing section needs, and how it ended.
    Status join(SectionOutput *section)
    {
        m_thread.join();
        *section = std::move(m_section);
        return m_status;
    }

private:
    QByteArray handOver(QByteArray &&piece)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_full.append(std::move(piece));
        m_changed.notify_all();
        return m_spare.isEmpty() ? QByteArray() : m_spare.takeLast();
    }

    std::unique_ptr<BackupStore::Rows> m_rows;
    const TableInfo &m_info;
    LineWriter m_lines;
    SectionOutput m_section;
    std::atomic<qint64> m_done{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; // guards what follows
    std::condition_variable m_changed;
    QList<QByteArray> m_full;
    QList<QByteArray> m_spare;
    Status m_status;
    bool m_finished = false;
    std::thread m_thread;
};

// A second connection that reads the same moment of the database as the
// first: a third connection holds the write lock while both begin reading,
// so that nothing can be committed between the two. Refused (and the writer
// works alone) for a database without a file, or when the lock is not free.
class SameMoment {
public:
    static std::unique_ptr<SameMoment> open(QSqlDatabase &db, BackupStore &store)
    {
        const QString path = db.databaseName();
        if (path.isEmpty() || path == QLatin1String(":memory:") || !QFileInfo(path).isFile())
            return nullptr;
        Result<std::unique_ptr<Connection>> lock = openDatabaseFile(path);
        Result<std::unique_ptr<Connection>> second = openDatabaseFile(path);
        if (!lock || !second)
            return nullptr;
        BackupStore locker((*lock)->database());
        // Another program writing now only costs the second thread.
        locker.setBusyTimeout(200);
        if (!locker.beginWrite())
            return nullptr;
        std::unique_ptr<SameMoment> moment(new SameMoment(std::move(*second)));
        const bool reading = store.beginRead() && store.pin() && moment->m_store.beginRead() && moment->m_store.pin();
        (void)locker.rollback();
        if (!reading) {
            (void)store.commit();
            return nullptr;
        }
        return moment;
    }
    ~SameMoment() { (void)m_store.commit(); }

    BackupStore &store() { return m_store; }

private:
    explicit SameMoment(std::unique_ptr<Connection> connection)
        : m_connection(std::move(connection)), m_store(m_connection->database())
    {
    }
    std::unique_ptr<Connection> m_connection;
    BackupStore m_store;
};

class Writer {
public:
    Writer(BackupStore &store, SameMoment *moment, QIODevice &out, const ProgressFunction &progress,
           BackupResult &result)
        : m_store(store), m_moment(moment), m_lines(&out), m_progress(progress), m_result(result)
    {
    }

    // Writes the whole file; a failure names the stage it ended.
    Status run(Stage *stage)
    {
        *stage = Stage::OpenDatabase;
        Result<std::array<TableInfo, 3>> read = readTables(m_store);
        if (!read)
            return read.error();
        const std::array<TableInfo, 3> &tables = *read;
        for (const TableInfo &table : tables)
            m_total += m_store.rowCount(table.name).valueOr(0);
        if (m_progress)
            m_progress(0, m_total);

        std::unique_ptr<CallsInBackground> calls;
        if (m_moment) {
            Result<std::unique_ptr<BackupStore::Rows>> rows = m_moment->store().readRows(tables[2].name);
            if (rows)
                calls = std::make_unique<CallsInBackground>(std::move(rows).value(), tables[2]);
        }
        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts}) {
            *stage = stageOf(table);
            if (Status written = writeSection(table, tables[int(table)], calls.get()); !written)
                return written;
        }
        *stage = Stage::Calls;
        if (calls) {
            // The other sections are in the file: the calls follow, piece by
            // piece as they are encoded.
            if (Status written = m_lines.line(kMarkerCalls); !written)
                return written;
            if (Status flushed = m_lines.flush(); !flushed)
                return flushed;
            for (bool finished = false; !finished;) {
                QList<QByteArray> pieces = calls->takePieces(std::chrono::milliseconds(20), &finished);
                for (QByteArray &piece : pieces) {
                    if (Status written = m_lines.write(piece); !written)
                        return written;
                    calls->giveBack(std::move(piece));
                }
                report(calls.get());
            }
            if (Status encoded = calls->join(&m_sections[2]); !encoded)
                return encoded;
        } else if (Status written = writeSection(BackupTable::Calls, tables[2], nullptr); !written) {
            return written;
        }
        for (int s = 0; s < 3; ++s)
            m_result.written[s] = m_sections[s].written;

        *stage = Stage::Finish;
        if (Status written = writeTrailer(); !written)
            return written;
        if (Status written = m_lines.flush(); !written)
            return written;
        if (m_progress)
            m_progress(m_total, m_total);
        return {};
    }

private:
    void report(const CallsInBackground *calls)
    {
        if (m_progress)
            m_progress(m_done.load() + (calls ? calls->done() : 0), m_total);
    }

    Status writeSection(BackupTable table, const TableInfo &info, const CallsInBackground *calls)
    {
        Result<std::unique_ptr<BackupStore::Rows>> rows = m_store.readRows(info.name);
        if (!rows)
            return rows.error();
        const char *const markers[3] = {kMarkerContactTypes, kMarkerContacts, kMarkerCalls};
        if (Status written = m_lines.line(markers[int(table)]); !written)
            return written;
        // Progress is reported between pieces of the section.
        m_lines.onFlush = [this, calls] { report(calls); };
        const Status encoded = encodeRows(**rows, table, info, m_lines, m_sections[int(table)], m_done, nullptr);
        m_lines.onFlush = nullptr;
        return encoded;
    }

    // The trailing section: keys, date form, fingerprints, exact texts, all
    // but the headers already in their lines.
    Status writeTrailer()
    {
        const char *const keyHeaders[2] = {kKeysContactTypes, kKeysContacts};
        for (int section = 0; section < 2; ++section) {
            if (Status written = m_lines.line(keyHeaders[section]); !written)
                return written;
            if (Status written = m_lines.write(m_sections[section].keys.view()); !written)
                return written;
        }
        if (Status written = m_lines.line(kKeysEnd); !written)
            return written;
        if (Status written = m_lines.line(kDateFormLine); !written)
            return written;
        const char *const lineHeaders[3] = {kLinesContactTypes, kLinesContacts, kLinesCalls};
        for (int section = 0; section < 3; ++section) {
            if (Status written = m_lines.line(lineHeaders[section]); !written)
                return written;
            if (Status written = m_lines.write(m_sections[section].fingerprints.view()); !written)
                return written;
        }
        if (Status written = m_lines.line(kTexts); !written)
            return written;
        for (SectionOutput &section : m_sections) {
            if (Status written = m_lines.write(section.texts.view()); !written)
                return written;
            section.texts = ByteBuffer();
        }
        return m_lines.line(kTextsEnd);
    }

    BackupStore &m_store;
    SameMoment *m_moment;
    LineWriter m_lines;
    const ProgressFunction &m_progress;
    BackupResult &m_result;
    SectionOutput m_sections[3];
    std::atomic<qint64> m_done{0};
    qint64 m_total = 0;
};

} // namespace

BackupResult writeBackupTo(QSqlDatabase &db, QIODevice &out, const ProgressFunction &progress)
{
    BackupResult result;
    BackupStore store(db);
    // One moment of the database for all three sections: one read
    // transaction, shared with the connection that encodes the calls.
    std::unique_ptr<SameMoment> moment = SameMoment::open(db, store);
    const bool inTransaction = moment || bool(store.beginRead());
    Stage stage = Stage::None;
    const Status written = Writer(store, moment.get(), out, progress, result).run(&stage);
    moment.reset();
    if (inTransaction)
        (void)store.commit();
    if (!written) {
        result.failedStage = stage;
        result.error = written.error().description;
        return result;
    }
    result.ok = true;
    return result;
}

BackupResult writeBackup(const QString &folder, const ProgressFunction &progress)
{
    BackupResult result;
    result.filePath = backupFilePath(folder);
    QSaveFile file(result.filePath);
    if (!file.open(QIODevice::WriteOnly)) {
        result.failedStage = Stage::OpenFile;
        result.error = QStringLiteral("Could not create the file %1: %2").arg(result.filePath, file.errorString());
        return result;
    }
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection) {
        result.failedStage = Stage::OpenDatabase;
        result.error = connection.error().description;
        file.cancelWriting();
        return result;
    }
    BackupResult written = writeBackupTo((*connection)->database(), file, progress);
    connection->reset();
    written.filePath = result.filePath;
    if (!written.ok) {
        file.cancelWriting();
        return written;
    }
    errno = 0;
    if (!file.commit()) {
        const int cause = errno;
        written.ok = false;
        written.failedStage = Stage::Finish;
        written.error = writeFailure(cause, file.errorString());
    }
    return written;
}

} // namespace backup
