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

#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
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
    // A piece of lines: in memory, or set aside in the spill file.
    struct Piece {
        QByteArray bytes;
        qint64 spilled = 0;
    };

    CallsInBackground(std::unique_ptr<BackupStore::Rows> rows, const TableInfo &info, const QString &spillFolder)
        : m_rows(std::move(rows)), m_info(info), m_lines([this](QByteArray &&piece) { return handOver(std::move(piece)); }),
          m_spill(spillFolder)
    {
        m_section.spillFolder = spillFolder;
        m_thread = std::thread([this] {
            Status status = encodeRows(*m_rows, BackupTable::Calls, m_info, m_lines, m_section, m_done, &m_stop);
            if (status)
                status = m_lines.flush();
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_status = m_spillStatus ? std::move(status) : m_spillStatus;
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
    QList<Piece> takePieces(std::chrono::milliseconds wait, bool *finished)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, wait, [this] { return !m_full.isEmpty() || m_finished; });
        *finished = m_finished;
        return std::exchange(m_full, {});
    }
    // Writes a piece taken: from memory, or read back from the spill file.
    Status write(Piece &piece, LineWriter &lines)
    {
        if (piece.spilled > 0)
            return m_spill.read(piece.spilled, [&lines](QByteArrayView bytes) { return lines.write(bytes); });
        const Status written = lines.write(piece.bytes);
        giveBack(std::move(piece.bytes));
        return written;
    }
    // Once finished: what the trailing section needs, and how it ended.
    Status join(SectionOutput *section)
    {
        m_thread.join();
        *section = std::move(m_section);
        return m_status;
    }

private:
    // At most this many bytes of encoded calls wait in memory while the
    // other sections are written; the rest waits in the spill file.
    static constexpr qsizetype kWaitingInMemory = 48 << 20;

    // A piece that is in the file: its storage can be filled again.
    void giveBack(QByteArray &&piece)
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_waiting -= piece.size();
        piece.resize(0);
        m_spare.append(std::move(piece));
    }

    QByteArray handOver(QByteArray &&piece)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_waiting + piece.size() > kWaitingInMemory || m_spilling) {
            // Once set aside, the calls go on into the spill file until the
            // writer has caught up with it, so the order stays that of the rows.
            lock.unlock();
            Status spilled = m_spill.append(piece);
            lock.lock();
            if (!spilled) {
                m_spillStatus = std::move(spilled);
                m_stop.store(true);
            }
            m_full.append(Piece{QByteArray(), piece.size()});
            m_spilling = m_waiting > kWaitingInMemory / 2;
            m_changed.notify_all();
            piece.resize(0);
            return std::move(piece);
        }
        m_waiting += piece.size();
        m_full.append(Piece{std::move(piece), 0});
        m_changed.notify_all();
        return m_spare.isEmpty() ? QByteArray() : m_spare.takeLast();
    }

    std::unique_ptr<BackupStore::Rows> m_rows;
    const TableInfo &m_info;
    LineWriter m_lines;
    SectionOutput m_section;
    SpillFile m_spill;
    std::atomic<qint64> m_done{0};
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex; // guards what follows
    std::condition_variable m_changed;
    QList<Piece> m_full;
    QList<QByteArray> m_spare;
    qsizetype m_waiting = 0; // bytes of the pieces in m_full and not yet written
    bool m_spilling = false;
    Status m_spillStatus;
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
    static std::unique_ptr<SameMoment> open(Connection &connection, BackupStore &store)
    {
        const QString path = connection.path();
        if (path.isEmpty() || path == QLatin1String(":memory:") || !QFileInfo(path).isFile())
            return nullptr;
        Result<std::unique_ptr<Connection>> lock = openDatabaseFile(path);
        Result<std::unique_ptr<Connection>> second = openDatabaseFile(path);
        if (!lock || !second)
            return nullptr;
        BackupStore locker(**lock);
        // Another program writing now only costs the second thread.
        locker.setBusyTimeout(200);
        Result<Connection::Transaction> locked = locker.beginWrite();
        if (!locked)
            return nullptr;
        std::unique_ptr<SameMoment> moment(new SameMoment(std::move(*second)));
        Result<Connection::Transaction> first = store.beginRead();
        if (!first)
            return nullptr;
        Result<Connection::Transaction> other = moment->m_store.beginRead();
        if (!other)
            return nullptr;
        moment->m_firstReading.emplace(std::move(*first));
        moment->m_otherReading.emplace(std::move(*other));
        return moment;
    }

    BackupStore &store() { return m_store; }

private:
    explicit SameMoment(std::unique_ptr<Connection> connection)
        : m_connection(std::move(connection)), m_store(*m_connection)
    {
    }
    std::unique_ptr<Connection> m_connection;
    BackupStore m_store;
    // Both connections read until the moment is given up.
    std::optional<Connection::Transaction> m_firstReading;
    std::optional<Connection::Transaction> m_otherReading;
};

class Writer {
public:
    Writer(BackupStore &store, SameMoment *moment, QIODevice &out, const ProgressFunction &progress,
           BackupSummary &result)
        : m_store(store), m_moment(moment), m_lines(&out), m_progress(progress), m_result(result)
    {
        // Whatever waits to be written waits beside the file.
        if (const auto *file = qobject_cast<const QFileDevice *>(&out); file && !file->fileName().isEmpty())
            m_spillFolder = QFileInfo(file->fileName()).absolutePath();
        for (SectionOutput &section : m_sections)
            section.spillFolder = m_spillFolder;
    }

    // Writes the whole file; a failure names the stage it ended.
    Status run()
    {
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
                calls = std::make_unique<CallsInBackground>(std::move(rows).value(), tables[2], m_spillFolder);
        }
        for (const BackupTable table : {BackupTable::ContactTypes, BackupTable::Contacts}) {
            if (Status written = writeSection(table, tables[int(table)], calls.get()); !written)
                return inPart(table == BackupTable::ContactTypes ? BackupPart::ContactTypes : BackupPart::Contacts, written.error());
        }
        if (calls) {
            // The other sections are in the file: the calls follow, piece by
            // piece as they are encoded.
            if (Status written = writeCallsFrom(*calls); !written)
                return inPart(BackupPart::Calls, written.error());
        } else if (Status written = writeSection(BackupTable::Calls, tables[2], nullptr); !written) {
            return inPart(BackupPart::Calls, written.error());
        }
        for (int s = 0; s < 3; ++s)
            m_result.written[s] = m_sections[s].written;

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

    // The calls as they are encoded on the second thread, piece by piece.
    Status writeCallsFrom(CallsInBackground &calls)
    {
        if (Status written = m_lines.line(kMarkerCalls); !written)
            return written;
        if (Status flushed = m_lines.flush(); !flushed)
            return flushed;
        for (bool finished = false; !finished;) {
            QList<CallsInBackground::Piece> pieces = calls.takePieces(std::chrono::milliseconds(20), &finished);
            for (CallsInBackground::Piece &piece : pieces) {
                if (Status written = calls.write(piece, m_lines); !written)
                    return written;
            }
            report(&calls);
        }
        return calls.join(&m_sections[2]);
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
            if (section.textsSpill) {
                Status copied = section.textsSpill->readAll([this](QByteArrayView bytes) { return m_lines.write(bytes); });
                if (!copied)
                    return copied;
                section.textsSpill.reset();
            }
            if (Status written = m_lines.write(section.texts.view()); !written)
                return written;
            section.texts = ByteBuffer();
        }
        if (Status written = m_lines.line(kTextsEnd); !written)
            return written;
        return writeUids();
    }

    // Every contact's UID by its key, read in the moment of the rest.
    Status writeUids()
    {
        if (Status written = m_lines.line(kUids); !written)
            return written;
        const QString table = QStringLiteral("ContactUids");
        if (!m_store.columns(table).valueOr({}).isEmpty()) {
            Result<std::unique_ptr<BackupStore::Rows>> rows = m_store.readRows(table);
            if (!rows)
                return rows.error();
            QByteArray line;
            for (;;) {
                const Result<bool> more = (*rows)->next();
                if (!more)
                    return more.error();
                if (!*more)
                    break;
                line.resize(0);
                appendUidLine(line, (*rows)->integer(0), (*rows)->text(1));
                if (Status written = m_lines.line(line); !written)
                    return written;
            }
        }
        return m_lines.line(kUidsEnd);
    }

    BackupStore &m_store;
    SameMoment *m_moment;
    LineWriter m_lines;
    const ProgressFunction &m_progress;
    BackupSummary &m_result;
    SectionOutput m_sections[3];
    QString m_spillFolder;
    std::atomic<qint64> m_done{0};
    qint64 m_total = 0;
};

} // namespace

BackupResult writeBackupTo(Connection &connection, QIODevice &out, const ProgressFunction &progress)
{
    BackupSummary result;
    BackupStore store(connection);
    // One moment of the database for all three sections: one read
    // transaction, shared with the connection that encodes the calls.
    std::unique_ptr<SameMoment> moment = SameMoment::open(connection, store);
    std::optional<Connection::Transaction> reading;
    if (!moment)
        if (Result<Connection::Transaction> begun = store.beginRead(); begun)
            reading.emplace(std::move(*begun));
    const Status written = Writer(store, moment.get(), out, progress, result).run();
    moment.reset();
    reading.reset();
    if (!written)
        return written.error();
    return result;
}

BackupResult writeBackup(const QString &folder, const ProgressFunction &progress)
{
    const QString path = backupFilePath(folder);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return inPart(BackupPart::OpenFile, failure(QStringLiteral("Could not create the file %1: %2").arg(path, file.errorString())));
    Result<std::unique_ptr<Connection>> connection = openLiveDatabase();
    if (!connection) {
        file.cancelWriting();
        return inPart(BackupPart::OpenDatabase, connection.error());
    }
    BackupResult written = writeBackupTo(**connection, file, progress);
    connection->reset();
    if (!written) {
        file.cancelWriting();
        return written;
    }
    written->filePath = path;
    errno = 0;
    if (!file.commit()) {
        const int cause = errno;
        return failure(writeFailure(cause, file.errorString()));
    }
    return written;
}

} // namespace backup
