#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "onvif/onvif_device.h"
#include "onvif/ws_discovery.h"
#include "search/found_camera.h"

// What logging in told of an ONVIF camera.
struct IdentityReading {
    IdentityState state = IdentityState::failed;
    std::string error;  // why it is not known: the call that failed and its detail
    std::string mac;    // normalised ("AA:BB:CC:DD:EE:FF")
    int prefix_length = 0;
    bool dhcp = false;
    onvif::DeviceInformation information;
};

// A session with the camera whose device service is at this address (the
// login and the time-outs are the factory's); null when none can be made.
using DeviceFactory = std::function<std::unique_ptr<onvif::IDevice>(const std::string& xaddr)>;

struct IdentityJob {
    onvif::FoundEndpoint found;
    std::uint64_t ticket = 0;  // the caller's, handed back with the reading
};

// Called on a worker with each job's reading, with no lock held; never for a
// job that a cancel or stop caught.
using IdentityDone = std::function<void(const IdentityJob& job, const IdentityReading& reading)>;

// Reads the identity of ONVIF cameras on a bounded pool of worker threads:
// the clock (GetSystemDateAndTime, so the login's token carries the
// camera's time), GetDeviceInformation and GetNetworkInterfaces, each camera
// within a time budget of its own. Workers start as jobs come, up to the
// pool's size, and stay until the pool stops.
class CIdentityPool {
public:
    static constexpr int kWorkers = 16;
    static constexpr std::int64_t kBudgetMs = 10000;
    // Jobs waiting at most; a camera past it is reported failed at once.
    static constexpr std::size_t kMaxQueued = 4096;

    CIdentityPool(DeviceFactory factory, IdentityDone done, int workers = kWorkers, std::int64_t budget_ms = kBudgetMs);
    ~CIdentityPool();
    CIdentityPool(const CIdentityPool&) = delete;
    CIdentityPool& operator=(const CIdentityPool&) = delete;

    // False when the queue is full or the pool stopped (nothing will be reported).
    bool submit(IdentityJob job);
    // Drops the waiting jobs and makes the running ones give up at their
    // next step; none of them is reported.
    void cancel();
    // Cancels and joins every worker: no report once it returns. Never from
    // the done callback.
    void stop();
    // Nothing waiting or running.
    bool idle();

    // One camera, on the calling thread (the workers' step, and for tests):
    // `give_up` ends it early (a cancel or a stop), the budget as timed out.
    static IdentityReading read_identity(onvif::IDevice& device, const onvif::FoundEndpoint& found,
                                         std::int64_t budget_ms, const std::function<bool()>& give_up);

private:
    void run();
    bool next(IdentityJob* job, std::uint64_t* epoch);
    void work(const IdentityJob& job, std::uint64_t epoch);

    DeviceFactory m_factory;
    IdentityDone m_done;
    const int m_size;
    const std::int64_t m_budget_ms;

    std::mutex m_lock;  // the queue, the counts, the threads
    std::condition_variable m_wake;
    std::deque<IdentityJob> m_queue;
    std::vector<std::thread> m_threads;
    int m_waiting = 0;  // workers waiting for a job
    int m_running = 0;  // jobs being worked on
    bool m_stopping = false;
    std::atomic<std::uint64_t> m_epoch{0};  // a cancel moves it on: jobs of an older one give up
};
