#include "search/identity_pool.h"

#include <system_error>

#include "onvif/service_address.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "search/mac_text.h"

namespace {

IdentityReading settled(IdentityState state, std::string error) {
    IdentityReading reading;
    reading.state = state;
    reading.error = std::move(error);
    return reading;
}

// A failed call as the camera's identity state: a refused login, the
// budget spent (or a cancel: then the reading is never reported), or no
// usable answer.
IdentityReading from_failure(const onvif::Result& result, const char* call) {
    std::string error = std::string(call) + ": " + (result.detail.empty() ? "no detail" : result.detail);
    switch (result.status) {
        case onvif::Status::AuthRefused: return settled(IdentityState::refused, error);
        case onvif::Status::Aborted: return settled(IdentityState::timed_out, error);
        case onvif::Status::Unreachable: return settled(IdentityState::failed, std::string(call) + ": no answer");
        default: return settled(IdentityState::failed, error);
    }
}

// The interface the camera answered on, else the first enabled one with a
// MAC, else the first with a MAC.
const onvif::NetworkInterface* answering_interface(const std::vector<onvif::NetworkInterface>& interfaces,
                                                   const std::string& address) {
    const onvif::NetworkInterface* enabled = nullptr;
    const onvif::NetworkInterface* any = nullptr;
    for (const onvif::NetworkInterface& i : interfaces) {
        if (i.mac.empty()) continue;
        if (onvif::same_ipv4(i.address, address)) return &i;
        if (i.enabled && enabled == nullptr) enabled = &i;
        if (any == nullptr) any = &i;
    }
    return enabled != nullptr ? enabled : any;
}

}  // namespace

CIdentityPool::CIdentityPool(DeviceFactory factory, IdentityDone done, int workers, std::int64_t budget_ms)
    : m_factory(std::move(factory)), m_done(std::move(done)), m_size(workers < 1 ? 1 : workers), m_budget_ms(budget_ms) {}

CIdentityPool::~CIdentityPool() { stop(); }

bool CIdentityPool::submit(IdentityJob job) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopping || m_queue.size() >= kMaxQueued) return false;
    m_queue.push_back(std::move(job));
    if (m_waiting == 0 && static_cast<int>(m_threads.size()) < m_size) {
        try {
            m_threads.emplace_back(&CIdentityPool::run, this);
        } catch (const std::system_error& e) {
            // The workers already there take the job in their turn.
            TRACE_MSG("CIdentityPool::submit", "no new worker: %s\n", e.what());
            if (m_threads.empty()) {
                m_queue.pop_back();
                return false;
            }
        }
    }
    m_wake.notify_one();
    return true;
}

void CIdentityPool::cancel() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_queue.clear();
    m_epoch.fetch_add(1);
}

void CIdentityPool::stop() {
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
        m_queue.clear();
        m_epoch.fetch_add(1);
        threads.swap(m_threads);
        m_wake.notify_all();
    }
    for (std::thread& t : threads) t.join();
}

bool CIdentityPool::idle() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_queue.empty() && m_running == 0;
}

bool CIdentityPool::next(IdentityJob* job, std::uint64_t* epoch) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_running--;
    m_waiting++;
    m_wake.wait(guard, [&] { return m_stopping || !m_queue.empty(); });
    m_waiting--;
    if (m_stopping) return false;
    *job = std::move(m_queue.front());
    m_queue.pop_front();
    *epoch = m_epoch.load();
    m_running++;
    return true;
}

void CIdentityPool::run() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running++;  // next() counts this worker out again before it waits
    }
    IdentityJob job;
    std::uint64_t epoch = 0;
    while (next(&job, &epoch)) work(job, epoch);
}

void CIdentityPool::work(const IdentityJob& job, std::uint64_t epoch) {
    auto given_up = [&] { return m_epoch.load() != epoch; };
    std::unique_ptr<onvif::IDevice> device = m_factory ? m_factory(job.found.xaddr) : nullptr;
    IdentityReading reading = device ? read_identity(*device, job.found, m_budget_ms, given_up)
                                     : settled(IdentityState::failed, "no session with " + job.found.xaddr);
    device.reset();
    if (given_up()) return;
    if (reading.state != IdentityState::known)
        TRACE_MSG("CIdentityPool::work", "%s at %s: %s, %s\n", job.found.endpoint.c_str(), job.found.xaddr.c_str(),
                  identity_name(reading.state), reading.error.c_str());
    m_done(job, reading);
}

IdentityReading CIdentityPool::read_identity(onvif::IDevice& device, const onvif::FoundEndpoint& found,
                                             std::int64_t budget_ms, const std::function<bool()>& give_up) {
    const std::int64_t deadline = rt_clock_ms() + budget_ms;
    // The check refers to this call's locals: the device must not keep it.
    struct ClearOnReturn {
        onvif::IDevice& device;
        ~ClearOnReturn() { device.set_abort_check(nullptr); }
    } clear_on_return{device};
    device.set_abort_check([&] { return give_up() || rt_clock_ms() >= deadline; });
    // A camera that will not tell its clock without a login still takes one
    // made with this host's clock; only no answer at all ends it here.
    onvif::Result result = device.sync_clock();
    if (result.status == onvif::Status::Unreachable || result.status == onvif::Status::Aborted)
        return from_failure(result, "GetSystemDateAndTime");
    IdentityReading reading;
    result = device.get_device_information(&reading.information);
    if (!result.ok()) return from_failure(result, "GetDeviceInformation");
    std::vector<onvif::NetworkInterface> interfaces;
    result = device.get_network_interfaces(&interfaces);
    if (!result.ok()) return from_failure(result, "GetNetworkInterfaces");
    const onvif::NetworkInterface* answering = answering_interface(interfaces, found.address);
    if (answering == nullptr) return settled(IdentityState::failed, "GetNetworkInterfaces: no interface with a MAC");
    std::optional<std::string> mac = normalise_mac(answering->mac);
    if (!mac) return settled(IdentityState::failed, "GetNetworkInterfaces: MAC \"" + answering->mac + "\" not understood");
    reading.state = IdentityState::known;
    reading.mac = *mac;
    reading.prefix_length = answering->prefix_length;
    reading.dhcp = answering->dhcp;
    return reading;
}
