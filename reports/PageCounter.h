#pragma once

#include "ReportLayout.h"

#include <QObject>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

// Counts a report's pages on a thread of its own while the window stays
// live. It counts a step of pages at a time and goes on only when the event
// loop has taken the news of that step (counted()), so that it never runs
// ahead of a window that is busy, and a window that closes stops it.
class PageCounter : public QObject {
    Q_OBJECT

public:
    static constexpr int kStepPages = 50;

    explicit PageCounter(QObject *parent = nullptr);
    ~PageCounter() override;

    void start(const report::Layout &partial);
    bool isRunning() const { return m_thread.joinable(); }
    // Counts the rest without waiting for the event loop and returns the
    // finished layout (finished() is not sent then).
    report::Layout finishNow();
    void cancel();

signals:
    // The pages before `pages` are laid out for good.
    void counted(int pages);
    void finished(const report::Layout &layout);

private:
    bool pageStarted(int page);

    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_allowedUpTo = 0; // the page the count may start without waiting
    bool m_unblocked = false;
    bool m_cancelled = false;
    std::optional<report::Layout> m_result;
};
