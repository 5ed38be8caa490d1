#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "batch/job_report.h"

// The reports of a job on their way to the front end. Workers push and never
// wait for the reader: the lock is held only to append. A front end that
// stops reading costs memory, never a stalled worker; consecutive progress
// (and count) reports are folded into one, so the queue grows with status
// reports only, which each worker sends a bounded number of.
class CReportQueue {
public:
    // Called after a push that made the queue non-empty, on the pushing
    // thread, with no lock held. A GUI front end only posts a wake-up from it.
    void set_notifier(std::function<void()> notifier);

    void push(const JobReport& report);

    // Moves every queued report into the result, oldest first.
    std::vector<JobReport> drain();

    std::size_t size() const;

private:
    mutable std::mutex m_lock;
    std::deque<JobReport> m_reports;
    std::function<void()> m_notifier;
};
