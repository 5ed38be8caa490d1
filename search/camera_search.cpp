#include "search/camera_search.h"

#include <algorithm>

#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// Both searches send from the same card.
onvif::WsDiscoveryEndpoints onvif_endpoints(const CameraSearchOptions& options) {
    onvif::WsDiscoveryEndpoints endpoints = options.onvif;
    endpoints.card = options.native.endpoints.card;
    return endpoints;
}

IdentityReading unread(IdentityState state, const char* why) {
    IdentityReading reading;
    reading.state = state;
    reading.error = why;
    return reading;
}

constexpr std::int64_t kSettlePollMs = 10;

}  // namespace

CCameraSearch::CCameraSearch(IUdpTransport* transport, CameraSearchOptions options)
    : m_options(std::move(options)),
      m_native(transport, m_options.native),
      m_onvif(transport, onvif_endpoints(m_options)),
      m_pool(m_options.identity, [this](const IdentityJob& job, const IdentityReading& reading) { on_identity(job, reading); },
             m_options.identity_workers, m_options.identity_budget_ms) {}

CCameraSearch::~CCameraSearch() {
    Stop();
    m_pool.stop();
}

void CCameraSearch::SetCallback(CameraCB callback) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_callback = std::move(callback);
}

int CCameraSearch::Start() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_started) return RC_ALREADY_STARTED;
        m_started = true;
        m_delivery_stop = false;
        m_sweeper_stop = false;
    }
    m_delivery = std::thread(&CCameraSearch::deliver, this);
    const std::int32_t interval = std::max(m_options.sweep_interval_ms, CDiscovery::kMinInterval);
    if (native_on()) {
        m_native.SetDiscoveryCB(&CCameraSearch::native_callback, this);
        m_native.StartDiscovery(0, interval);  // its sender sweeps at once, then every interval
    }
    if (onvif_on()) {
        m_onvif.set_callback([this](const onvif::FoundEndpoint& found, bool) { on_endpoint(found); });
        m_onvif.start();
        m_onvif.sweep(nullptr);
        if (interval < INT32_MAX) m_sweeper = std::thread(&CCameraSearch::sweep_onvif_periodically, this, interval);
    }
    return RC_OK;
}

int CCameraSearch::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) return RC_NOT_STARTED;
        m_started = false;
        m_pending.clear();
    }
    stop_searches();
    m_pool.cancel();
    stop_delivery();
    std::lock_guard<std::mutex> guard(m_lock);
    m_list.clear();
    return RC_OK;
}

int CCameraSearch::StopListening() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) return RC_NOT_STARTED;
    }
    stop_searches();
    return RC_OK;
}

// Each engine joins its own threads, so once this returns no reply reaches
// the list any more.
void CCameraSearch::stop_searches() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sweeper_stop = true;
    }
    m_wake_sweeper.notify_all();
    if (m_sweeper.joinable()) m_sweeper.join();
    if (onvif_on()) m_onvif.stop();
    if (native_on() && m_native.started()) m_native.StopDiscovery();
}

void CCameraSearch::stop_delivery() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_delivery_stop = true;
        m_change_order.clear();
        m_changes.clear();
    }
    m_wake.notify_all();
    if (m_delivery.joinable()) m_delivery.join();
}

int CCameraSearch::Refresh(const char* card) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) return RC_NOT_STARTED;
        m_list.clear();
        m_pending.clear();
        m_change_order.clear();
        m_changes.clear();
    }
    m_pool.cancel();
    // The Probe first: it costs nothing, while the native sweep takes this
    // thread 200 ms per card.
    if (onvif_on()) {
        m_onvif.clear();
        m_onvif.sweep(card);
    }
    if (native_on()) m_native.RefreshDiscovery(card);
    return RC_OK;
}

int CCameraSearch::Sweep(const char* card) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) return RC_NOT_STARTED;
    }
    if (onvif_on()) m_onvif.sweep(card);
    if (native_on()) m_native.engine().refresh(card);
    return RC_OK;
}

void CCameraSearch::sweep_onvif_periodically(std::int32_t interval_ms) {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!rt_wait_ms(m_wake_sweeper, lock, interval_ms, [&] { return m_sweeper_stop; })) {
        lock.unlock();
        m_onvif.sweep(nullptr);
        lock.lock();
    }
}

int CCameraSearch::ProbeAddresses(const std::vector<std::string>& addresses) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started) return RC_NOT_STARTED;
    }
    int sent = 0;
    if (onvif_on() && m_onvif.probe_addresses(addresses) == RC_OK) sent++;
    if (native_on() && m_native.ProbeAddresses(addresses) == RC_OK) sent++;
    return sent > 0 ? RC_OK : RC_FAIL;
}

std::vector<FoundCamera> CCameraSearch::cameras() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_list.cameras();
}

std::optional<std::string> CCameraSearch::FindIp(const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    const FoundCamera* camera = m_list.find_mac(mac);
    return camera ? std::optional<std::string>(camera->ip) : std::nullopt;
}

bool CCameraSearch::Settled() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pending.empty() && m_change_order.empty() && !m_delivering;
}

bool CCameraSearch::WaitSettled(std::int64_t max_ms) {
    const std::int64_t until = rt_clock_ms() + max_ms;
    while (!Settled()) {
        if (rt_clock_ms() >= until) return false;
        rt_sleep_ms(kSettlePollMs);
    }
    return true;
}

int CCameraSearch::native_callback(DEV_INFO* record, int /*is_new*/, void* self) {
    auto* search = static_cast<CCameraSearch*>(self);
    std::lock_guard<std::mutex> guard(search->m_lock);
    if (!search->m_started) return RC_OK;
    if (std::optional<CameraList::Change> change = search->m_list.native_heard(*record)) search->queue_change(*change);
    return RC_OK;
}

// A new endpoint, or one at a new XAddr: its identity is read (again),
// unless the camera is listed as native. The latest job of an endpoint is
// the one that counts.
void CCameraSearch::on_endpoint(const onvif::FoundEndpoint& found) {
    IdentityJob job{found, 0};
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_started || m_list.shown_as_native(found)) return;
        job.ticket = ++m_next_ticket;
        m_pending[found.endpoint] = job.ticket;
    }
    if (!m_options.identity)
        on_identity(job, unread(IdentityState::not_asked, "no login given"));
    else if (!m_pool.submit(job))
        on_identity(job, unread(IdentityState::failed, "too many cameras waiting for their identity"));
}

void CCameraSearch::on_identity(const IdentityJob& job, const IdentityReading& reading) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto pending = m_pending.find(job.found.endpoint);
    if (pending == m_pending.end() || pending->second != job.ticket) return;  // refreshed, or a later job came
    m_pending.erase(pending);
    if (std::optional<CameraList::Change> change = m_list.onvif_settled(job.found, reading)) queue_change(*change);
}

// Under m_lock. A row that changes again before it was reported is
// reported once, with its latest state (and as new if it was new).
void CCameraSearch::queue_change(const CameraList::Change& change) {
    auto [waiting, added] = m_changes.try_emplace(change.camera.id, change);
    if (added) {
        m_change_order.push_back(change.camera.id);
    } else {
        const bool was_new = waiting->second.is_new;
        waiting->second = change;
        waiting->second.is_new = was_new || change.is_new;
    }
    m_wake.notify_one();
}

void CCameraSearch::deliver() {
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [&] { return m_delivery_stop || !m_change_order.empty(); });
        if (m_delivery_stop) return;
        const std::uint64_t id = m_change_order.front();
        m_change_order.pop_front();
        CameraList::Change change = std::move(m_changes.at(id));
        m_changes.erase(id);
        CameraCB callback = m_callback;
        m_delivering = true;
        lock.unlock();
        if (callback) callback(change.camera, change.is_new);
        lock.lock();
        m_delivering = false;
    }
}
