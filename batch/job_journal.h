#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "batch/job_outcome.h"

// The job report kept on disk while the job runs, so a crash, a kill or a
// power cut leaves what the job had done: a thread of its own takes the
// job's state from a source and writes the whole report again (JSON and
// CSV, each through a flushed temporary file renamed over the old one)
// whenever the state changed, at most once per interval. At any instant the
// files on disk are a complete report, at most an interval and one write
// behind. The front end's thread and the workers never wait for a write.
class CJobJournal {
public:
    // Where the report goes: `base`.json and `base`.csv, or, with `base`
    // empty, a new name from the date and time `when` inside `dated_dir`.
    struct Place {
        std::string base;
        std::string dated_dir;
        std::time_t when = 0;
    };
    // The report as it stands now; called on the journal's thread.
    using Snapshot = std::function<JobOutcome()>;
    // Grows whenever the snapshot would change (the engine's runs_generation).
    using Probe = std::function<std::uint64_t()>;
    // What the writing cost, for benchmarks and traces.
    struct Figures {
        int writes = 0;
        std::int64_t busy_us = 0;  // building, serialising and writing, summed
        std::int64_t longest_us = 0;
    };

    static constexpr std::int64_t kIntervalMs = 1000;

    explicit CJobJournal(Place place, std::int64_t interval_ms = kIntervalMs);
    // Ends the thread; a report handed to finish() is written first.
    ~CJobJournal();
    CJobJournal(const CJobJournal&) = delete;
    CJobJournal& operator=(const CJobJournal&) = delete;

    // Replaces what the journal writes from and writes it soon. Returns once
    // a snapshot of the old source that is being taken has been taken, so
    // the old source may go away after this call.
    void set_source(Snapshot snapshot, Probe probe);
    // The job has ended: `final` is written (on the journal's thread) in
    // place of every snapshot, and the thread ends; `done` is then called
    // there with "" or what went wrong.
    void finish(JobOutcome final, std::function<void(const std::string& error)> done = {});
    // Waits for the thread to end and answers what the last write gave.
    std::string wait();

    // The report's base name (PATH of PATH.json): known after the first write.
    std::string base() const;
    Figures figures() const;

private:
    void run();
    void write_if_changed();
    void write(JobOutcome outcome, std::chrono::steady_clock::time_point begun);

    Place m_place;
    const std::int64_t m_interval_ms;

    // Held while the source is asked (a snapshot is short); never while writing.
    std::mutex m_source_lock;
    Snapshot m_snapshot;
    Probe m_probe;
    std::optional<std::uint64_t> m_written;  // the probe's value at the last snapshot

    mutable std::mutex m_lock;  // guards everything below; held only for a copy
    std::condition_variable m_wake;
    bool m_forced = false;  // the source changed: write it at the next turn
    std::optional<JobOutcome> m_final;
    std::function<void(const std::string&)> m_done;
    bool m_quit = false;
    std::string m_base;
    std::string m_error;
    Figures m_figures;
    std::thread m_thread;
};
