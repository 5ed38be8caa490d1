#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// A flashed device counts as upgraded once discovery lists its new version,
// and discovery hears a device anew only when it searches. So while devices
// of a job await that verdict the front end searches again now and then, and
// while none does it sends nothing (an idle tool must not sweep a production
// LAN). A worker of any device kind counts itself in with a Waiting for as
// long as it waits; the front end gives the search, every search it runs, to
// start().
class VerdictSearch {
public:
    static constexpr std::int64_t kDefaultIntervalMs = 3000;
    using Search = std::function<void()>;

    explicit VerdictSearch(std::int64_t interval_ms = kDefaultIntervalMs) : m_interval_ms(interval_ms) {}
    ~VerdictSearch() { stop(); }
    VerdictSearch(const VerdictSearch&) = delete;
    VerdictSearch& operator=(const VerdictSearch&) = delete;

    // Runs `search` on a thread of its own: at once when a device begins to
    // wait while none did, then every interval (system time) while any waits.
    void start(Search search);
    // Returns once no search runs and none will; start may follow.
    void stop();
    int waiting() const;

    // A device awaits its verdict for the object's life.
    class Waiting {
    public:
        explicit Waiting(VerdictSearch& search);
        ~Waiting();
        Waiting(const Waiting&) = delete;
        Waiting& operator=(const Waiting&) = delete;

    private:
        VerdictSearch& m_search;
    };

private:
    void run();

    const std::int64_t m_interval_ms;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    int m_waiting = 0;        // under m_lock
    bool m_stopping = false;  // under m_lock
    Search m_search;
    std::thread m_thread;
};
