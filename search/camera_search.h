#pragma once

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <deque>
#include <vector>

#include "discovery/discovery.h"
#include "onvif/ws_discovery.h"
#include "search/camera_list.h"
#include "search/found_camera.h"
#include "search/identity_pool.h"

enum class SearchProtocols { native, onvif, all };

struct CameraSearchOptions {
    SearchProtocols protocols = SearchProtocols::all;
    // The native search's endpoints and debug files; its card
    // (native.endpoints.card) is the card of both searches.
    DiscoveryOptions native;
    onvif::WsDiscoveryEndpoints onvif;
    // Sessions to read ONVIF cameras' identity with (the login is the
    // factory's); null lists them without identity (not_asked).
    DeviceFactory identity;
    int identity_workers = CIdentityPool::kWorkers;
    std::int64_t identity_budget_ms = CIdentityPool::kBudgetMs;
    // Both searches sweep again this often while started (the list is not
    // emptied: a camera heard anew changes its row); at least 1000. The
    // default sweeps once, at the start.
    std::int32_t sweep_interval_ms = INT32_MAX;
};

// Called for each new (is_new) or changed camera, on the search's own
// threads (one at a time, in the order the changes were made), never while
// a lock of the search is held. It must not wait for a thread that calls
// Stop or Refresh.
using CameraCB = std::function<void(const FoundCamera& camera, bool is_new)>;

// The combined search a front end owns: the native discovery and
// WS-Discovery side by side, one list of both kinds (the rules are
// CameraList's), each ONVIF camera's identity read on a bounded pool of
// workers.
class CCameraSearch {
public:
    // transport null: real sockets.
    explicit CCameraSearch(IUdpTransport* transport = nullptr, CameraSearchOptions options = {});
    ~CCameraSearch();
    CCameraSearch(const CCameraSearch&) = delete;
    CCameraSearch& operator=(const CCameraSearch&) = delete;

    // Before Start.
    void SetCallback(CameraCB callback);
    // Starts the chosen searches, each with its first sweep. 6 when started.
    int Start();
    // Ends both searches, the identity workers and the callbacks: none runs
    // once it returns. 7 when not started.
    int Stop();
    // Ends both searches (no reply is taken from here on), while the
    // identities under way still settle: for a front end that lists once.
    int StopListening();
    // Empties the list and sweeps both searches anew (from `card`, or every
    // card for "", or the card of the last sweep for null); the caller's
    // thread runs the native sweep, 200 ms per card. A callback already
    // under way may still arrive.
    int Refresh(const char* card);
    // Sweeps both searches again without emptying the list (from `card` as
    // for Refresh): a camera heard anew changes its row, an ONVIF one at a
    // new XAddr is identified again.
    int Sweep(const char* card);
    // Asks these addresses directly: a unicast native request and a
    // unicast Probe to each. 1 when not one request could leave.
    int ProbeAddresses(const std::vector<std::string>& addresses);

    std::vector<FoundCamera> cameras();
    // The IP of the camera with this MAC (any form, either kind).
    std::optional<std::string> FindIp(const std::string& mac);
    // True once no identity is waiting or being read and every change has
    // been reported.
    bool Settled();
    // Waits (rt time) until Settled or `max_ms` passed; answers Settled.
    bool WaitSettled(std::int64_t max_ms);

    bool native_on() const { return m_options.protocols != SearchProtocols::onvif; }
    bool onvif_on() const { return m_options.protocols != SearchProtocols::native; }
    CDiscovery& native() { return m_native; }
    onvif::CWsDiscovery& onvif() { return m_onvif; }

private:
    static int native_callback(DEV_INFO* record, int is_new, void* self);
    void on_endpoint(const onvif::FoundEndpoint& found);
    void on_identity(const IdentityJob& job, const IdentityReading& reading);
    void queue_change(const CameraList::Change& change);  // under m_lock
    void deliver();
    void stop_searches();
    void stop_delivery();
    void sweep_onvif_periodically(std::int32_t interval_ms);

    CameraSearchOptions m_options;
    CDiscovery m_native;
    onvif::CWsDiscovery m_onvif;
    CIdentityPool m_pool;

    std::mutex m_lock;  // the list, the identities waiting, the changes to report
    CameraList m_list;
    std::unordered_map<std::string, std::uint64_t> m_pending;  // endpoint -> ticket of its latest identity job
    std::uint64_t m_next_ticket = 0;
    std::deque<std::uint64_t> m_change_order;              // row ids in the order they changed
    std::unordered_map<std::uint64_t, CameraList::Change> m_changes;  // row id -> its latest change, not yet reported
    bool m_delivering = false;
    bool m_started = false;
    bool m_delivery_stop = false;
    CameraCB m_callback;
    std::condition_variable m_wake;
    std::thread m_delivery;
    std::condition_variable m_wake_sweeper;
    bool m_sweeper_stop = false;  // under m_lock
    std::thread m_sweeper;        // the periodic Probes (the native search sweeps on its own thread)
};
