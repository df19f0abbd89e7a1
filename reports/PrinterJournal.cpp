#include "PrinterJournal.h"

#include "base/Paths.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>

#include <cerrno>
#include <csignal>

namespace {
constexpr quint32 kMagic = 0x43505231; // "CPR1"
}

QString PrinterJournal::defaultPath()
{
    return liveDatabasePath() + QStringLiteral(".printer-journal");
}

PrinterJournal::PrinterJournal(QString path) : m_path(std::move(path)) {}

bool PrinterJournal::isRunning(qint64 pid)
{
    if (pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

void PrinterJournal::dropEnded(State &state)
{
    state.holders.removeIf([](qint64 pid) { return !isRunning(pid); });
}

bool PrinterJournal::load(State &state) const
{
    state = {};
    QFile file(m_path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QDataStream in(&file);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 magic = 0;
    in >> magic;
    if (magic != kMagic)
        return false; // not ours: leave it alone
    in >> state.optionsPath >> state.destination >> state.existed >> state.original >> state.written >> state.holders;
    return in.status() == QDataStream::Ok;
}

bool PrinterJournal::store(const State &state) const
{
    if (!state.isOpen())
        return !QFile::exists(m_path) || QFile::remove(m_path);
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QDataStream out(&file);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << state.optionsPath << state.destination << state.existed << state.original << state.written << state.holders;
    return out.status() == QDataStream::Ok && file.commit();
}

bool PrinterJournal::update(const std::function<void(State &, const StoreNow &storeNow)> &change)
{
    if (!QDir().mkpath(QFileInfo(m_path).absolutePath()))
        return false;
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.setStaleLockTime(30000);
    if (!lock.tryLock(10000))
        return false;
    State state;
    if (!load(state))
        return false;
    change(state, [this](const State &now) { return store(now); });
    return store(state);
}
