#include "batch/verdict_search.h"

#include "runtime/rt_time.h"

void VerdictSearch::start(Search search) {
    stop();
    m_search = std::move(search);
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = false;
    }
    m_thread = std::thread([this] { run(); });
}

void VerdictSearch::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

int VerdictSearch::waiting() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_waiting;
}

void VerdictSearch::run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || m_waiting > 0; });
        if (m_stopping) return;
        lock.unlock();
        m_search();
        lock.lock();
        rt_wait_ms(m_wake, lock, m_interval_ms, [this] { return m_stopping; });
    }
}

VerdictSearch::Waiting::Waiting(VerdictSearch& search) : m_search(search) {
    {
        std::lock_guard<std::mutex> guard(m_search.m_lock);
        ++m_search.m_waiting;
    }
    m_search.m_wake.notify_all();
}

VerdictSearch::Waiting::~Waiting() {
    std::lock_guard<std::mutex> guard(m_search.m_lock);
    --m_search.m_waiting;
}
