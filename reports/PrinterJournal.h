#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// What is needed to put the user's printer options file back as it was
// before a report changed it, kept in a file beside the live database so
// that it outlives a crash or a killed program. Every copy of the program
// that has a report open is named in it (by process id); the file is put back
// when the last of them is done, or at the next start when none of them runs
// any more. Copies take turns through a lock file.
class PrinterJournal {
public:
    // The journal beside the live database.
    static QString defaultPath();

    explicit PrinterJournal(QString path = defaultPath());

    struct State {
        QString optionsPath;    // the options file it is about
        QByteArray destination; // the destination whose line was changed
        bool existed = false;   // whether that file existed before the first change
        QByteArray original;    // its bytes before the first change
        QByteArray written;     // its bytes as last written by a report
        QList<qint64> holders;  // processes with a report open, once per open report
        bool isOpen() const { return !holders.isEmpty(); }
    };

    // Runs the change under the lock with the journal's state, which is
    // stored again afterwards (removed when it holds nobody). The change may
    // store the state earlier itself (storeNow), before it touches the
    // options file. False when the lock or the journal could not be had; the
    // change is then not run.
    using StoreNow = std::function<bool(const State &)>;
    bool update(const std::function<void(State &, const StoreNow &storeNow)> &change);

    // True when a process of that id runs.
    static bool isRunning(qint64 pid);

    // Drops the processes that no longer run.
    static void dropEnded(State &state);

    QString path() const { return m_path; }

private:
    bool load(State &state) const;
    bool store(const State &state) const;

    QString m_path;
};
