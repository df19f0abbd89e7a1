#include "PageCounter.h"

PageCounter::PageCounter(QObject *parent) : QObject(parent) {}

PageCounter::~PageCounter()
{
    cancel();
}

void PageCounter::start(const report::Layout &partial)
{
    cancel();
    m_cancelled = false;
    m_unblocked = false;
    m_allowedUpTo = kStepPages;
    m_result.reset();
    m_thread = std::thread([this, partial] {
        report::Layout counted = report::layoutReport(partial.definition, partial.rows, partial.pageLayout,
                                                      partial.printed, [this](int page) { return pageStarted(page); });
        std::lock_guard lock(m_mutex);
        if (m_cancelled)
            return;
        m_result = counted;
        if (!m_unblocked) {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (!m_thread.joinable())
                        return; // finishNow() took the result
                    m_thread.join();
                    if (m_result)
                        emit finished(*m_result);
                },
                Qt::QueuedConnection);
        }
    });
}

bool PageCounter::pageStarted(int page)
{
    std::unique_lock lock(m_mutex);
    if (page % kStepPages == 0 && !m_unblocked && !m_cancelled) {
        QMetaObject::invokeMethod(
            this,
            [this, page] {
                emit counted(page);
                std::lock_guard done(m_mutex);
                m_allowedUpTo = std::max(m_allowedUpTo, page + kStepPages);
                m_wake.notify_all();
            },
            Qt::QueuedConnection);
        m_wake.wait(lock, [&] { return m_cancelled || m_unblocked || page < m_allowedUpTo; });
    }
    return !m_cancelled;
}

report::Layout PageCounter::finishNow()
{
    {
        std::lock_guard lock(m_mutex);
        m_unblocked = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    return m_result.value_or(report::Layout());
}

void PageCounter::cancel()
{
    {
        std::lock_guard lock(m_mutex);
        m_cancelled = true;
        m_wake.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
}
