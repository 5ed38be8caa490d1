#include "batch/job_journal.h"

#include <algorithm>

#include "batch/job_report_files.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

CJobJournal::CJobJournal(Place place, std::int64_t interval_ms)
    : m_place(std::move(place)), m_interval_ms(interval_ms), m_thread([this] { run(); }) {}

CJobJournal::~CJobJournal() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

void CJobJournal::set_source(Snapshot snapshot, Probe probe) {
    {
        std::lock_guard<std::mutex> source(m_source_lock);
        m_snapshot = std::move(snapshot);
        m_probe = std::move(probe);
        m_written.reset();
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_forced = true;
    }
    m_wake.notify_all();
}

void CJobJournal::finish(JobOutcome final, std::function<void(const std::string& error)> done) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_final = std::move(final);
        m_done = std::move(done);
    }
    m_wake.notify_all();
}

std::string CJobJournal::wait() {
    if (m_thread.joinable()) m_thread.join();
    std::lock_guard<std::mutex> guard(m_lock);
    return m_error;
}

std::string CJobJournal::base() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_base;
}

CJobJournal::Figures CJobJournal::figures() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_figures;
}

void CJobJournal::run() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        if (m_final) {
            JobOutcome final = std::move(*m_final);
            m_final.reset();
            auto done = std::move(m_done);
            lock.unlock();
            write(std::move(final), std::chrono::steady_clock::now());
            lock.lock();
            const std::string error = m_error;
            lock.unlock();
            if (done) done(error);
            return;
        }
        if (m_quit) return;
        lock.unlock();
        write_if_changed();
        lock.lock();
        rt_wait_ms(m_wake, lock, m_interval_ms, [this] { return m_final || m_quit || m_forced; });
    }
}

void CJobJournal::write_if_changed() {
    const auto begun = std::chrono::steady_clock::now();
    JobOutcome outcome;
    {
        std::lock_guard<std::mutex> source(m_source_lock);
        bool forced = false;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            forced = m_forced;
            m_forced = false;
        }
        if (!m_snapshot) return;
        // Read before the snapshot: a change while it is taken is caught next turn.
        const std::uint64_t generation = m_probe ? m_probe() : 0;
        if (!forced && m_written == generation) return;
        m_written = generation;
        outcome = m_snapshot();
    }
    write(std::move(outcome), begun);
}

void CJobJournal::write(JobOutcome outcome, std::chrono::steady_clock::time_point begun) {
    outcome.updated_at = rt_calendar_ms();
    std::string base = this->base();
    std::string error;
    if (!base.empty() || !m_place.base.empty()) {
        if (base.empty()) base = m_place.base;
        error = write_job_report(outcome, base);
    } else {
        error = write_dated_report(outcome, m_place.dated_dir, m_place.when, base);
    }
    const std::int64_t spent =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begun)
            .count();
    bool trace = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_base = base;
        ++m_figures.writes;
        m_figures.busy_us += spent;
        m_figures.longest_us = std::max(m_figures.longest_us, spent);
        trace = !error.empty() && error != m_error;
        m_error = error;
    }
    // Once per new fault: a full disk would otherwise trace every second.
    if (trace) TRACE_MSG("CJobJournal::write", "job report not written: %s\n", error.c_str());
}
