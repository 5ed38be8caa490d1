#include "discovery/discovery.h"

#include <cstdarg>
#include <cstring>

#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

IUdpTransport* pick_transport(IUdpTransport* given, std::unique_ptr<IUdpTransport>& own) {
    if (given != nullptr) return given;
    own = std::make_unique<PosixUdpTransport>();
    return own.get();
}

}  // namespace

// The locks live as long as the object (not only while started), so that a
// worker calling GetDeviceList or ChangeIp while another thread stops the
// engine never uses a destroyed lock.
CDiscovery::CDiscovery(IUdpTransport* transport, DiscoveryOptions options)
    : m_engine(pick_transport(transport, m_own_transport), options.endpoints), m_options(std::move(options)) {
    m_list_lock.Create();
    m_queue_lock.Create();
    m_engine.set_discovery_cb(&CDiscovery::DiscoveryCbf, this);
}

CDiscovery::~CDiscovery() {
    if (started()) StopDiscovery();
    close_logs();
    m_list_lock.Close();
    m_queue_lock.Close();
}

int CDiscovery::StartDiscovery(int /*reserved*/, std::int32_t interval) {
    if (started()) {
        TRACE_POS("CDiscovery::StartDiscovery");
        return RC_ALREADY_STARTED;
    }
    open_logs();
    if (interval < kMinInterval) interval = kMinInterval;
    m_merge_thread.Start(this, 0, 0);
    m_engine.start(interval);
    m_started.store(1);
    return RC_OK;
}

int CDiscovery::StopDiscovery() {
    if (!started()) {
        TRACE_POS("CDiscovery::StopDiscovery");
        return RC_NOT_STARTED;
    }
    m_engine.stop();
    if (m_merge_thread.IsRunning()) m_merge_thread.Stop();
    ClearDeviceList();
    {
        CAutoMutex guard(&m_queue_lock);
        m_queue.clear();
    }
    close_logs();
    m_started.store(0);
    return RC_OK;
}

int CDiscovery::SetDiscoveryCB(DiscoveryCB callback, void* user_data) {
    if (callback == nullptr) return RC_INVALID_ARG;
    CAutoMutex guard(&m_list_lock);
    m_callback = callback;
    m_user_data = user_data;
    return RC_OK;
}

int CDiscovery::RefreshDiscovery(const char* address) {
    if (!started()) {
        TRACE_POS("CDiscovery::RefreshDiscovery");
        return RC_NOT_STARTED;
    }
    ClearDeviceList();
    m_engine.refresh(address);
    return RC_OK;
}

int CDiscovery::SearchAgain() {
    if (!started()) {
        TRACE_POS("CDiscovery::SearchAgain");
        return RC_NOT_STARTED;
    }
    m_engine.refresh(nullptr);
    return RC_OK;
}

int CDiscovery::GetDeviceList(std::vector<DEV_INFO>* list, int* count) {
    if (list == nullptr || count == nullptr) return RC_INVALID_ARG;
    CAutoMutex guard(&m_list_lock);
    list->insert(list->end(), m_list.records().begin(), m_list.records().end());
    *count += static_cast<int>(m_list.size());
    return RC_OK;
}

int CDiscovery::ProbeAddresses(const std::vector<std::string>& addresses) {
    if (!started()) {
        TRACE_POS("CDiscovery::ProbeAddresses");
        return RC_NOT_STARTED;
    }
    return m_engine.request_from(addresses);
}

int CDiscovery::ChangeIp(NETWORK_INFO* request) { return change_ip(request, false, "CDiscovery::ChangeIp"); }

int CDiscovery::ChangeIpPort(NETWORK_INFO* request) { return change_ip(request, true, "CDiscovery::ChangeIpPort"); }

int CDiscovery::change_ip(NETWORK_INFO* request, bool copy_mask_gateway, const char* who) {
    if (!started()) {
        TRACE_POS(who);
        return RC_NOT_STARTED;
    }
    if (request == nullptr) return RC_INVALID_ARG;
    bool found = false;
    {
        CAutoMutex guard(&m_list_lock);
        const DEV_INFO* device = m_list.find(mac_key(request->dev_mac));
        if (device != nullptr) {
            found = true;
            request->new_dev_cmdport = device->cmd_port;
            request->new_dev_mediaport = device->media_port;
            request->new_dev_httpport = device->http_port;
            request->new_dev_mobileport = device->phone_port;
            if (copy_mask_gateway) {
                std::memcpy(request->new_dev_submask, device->subnet_mask, DEV_TEXT_SIZE);
                std::memcpy(request->new_dev_gateway, device->gateway, DEV_TEXT_SIZE);
            }
            write_log(m_send_log,
                      "mac = %.32s, ip = %.32s, submask = %.32s, gateway = %.32s, cmd = %d, media = %d, http = %d, "
                      "mobile = %d\n\n",
                      request->dev_mac, request->new_dev_ip, request->new_dev_submask, request->new_dev_gateway,
                      request->new_dev_cmdport, request->new_dev_mediaport, request->new_dev_httpport,
                      request->new_dev_mobileport);
        }
    }
    if (!found) {
        TRACE_POS(who);
        return RC_FAIL;
    }
    return m_engine.send_change_ip_request(request);
}

int CDiscovery::DiscoveryCbf(DEV_INFO* record, int /*is_new*/, void* context) {
    if (context == nullptr || record == nullptr) return RC_FAIL;
    auto* self = static_cast<CDiscovery*>(context);
    // The list is asked only when the queue is full, so that a flood of new
    // MACs costs the list lock nothing; the two locks are never held at once.
    if (self->queue_reply(*record, false)) return RC_OK;
    if (self->queue_reply(*record, self->is_listed(mac_key(record->mac_address)))) return RC_OK;
    if (!self->m_queue_full.exchange(true))
        TRACE_MSG("CDiscovery::DiscoveryCbf", "pending queue full, replies of new devices dropped\n");
    return RC_FAIL;
}

bool CDiscovery::is_listed(const std::string& mac) {
    CAutoMutex guard(&m_list_lock);
    return m_list.contains(mac);
}

bool CDiscovery::queue_reply(const DEV_INFO& record, bool listed) {
    CAutoMutex guard(&m_queue_lock);
    if (!m_queue.push(record, listed)) return false;
    if (!m_queue.full()) m_queue_full.store(false);
    return true;
}

int CDiscovery::ThreadFunc(std::uint32_t /*parameter*/) {
    DEV_INFO record;
    bool have = false;
    {
        CAutoMutex guard(&m_queue_lock);
        have = m_queue.pop(&record);
    }
    if (have) {
        MergeDevice(record);
    } else {
        rt_sleep_ms(kMergeIdleMs);
    }
    return 0;
}

void CDiscovery::MergeDevice(const DEV_INFO& record) {
    int is_new = -1;  // -1: nothing changed
    DiscoveryCB callback = nullptr;
    void* user_data = nullptr;
    {
        CAutoMutex guard(&m_list_lock);
        switch (m_list.merge(record)) {
            case DeviceList::Merge::added:
                is_new = 1;
                write_log(m_recv_log,
                          "mac = %.32s, ip = %.32s, submask = %.32s, gateway = %.32s, version = %.32s, cmd = %d, "
                          "media = %d, http = %d, mobile = %d\n\n",
                          record.mac_address, record.ip_address, record.subnet_mask, record.gateway,
                          record.software_ver, record.cmd_port, record.media_port, record.http_port,
                          record.phone_port);
                break;
            case DeviceList::Merge::changed: is_new = 0; break;
            case DeviceList::Merge::full: note_left_out(record); break;
            case DeviceList::Merge::unchanged: break;
        }
        callback = m_callback;
        user_data = m_user_data;
    }
    if (is_new >= 0 && callback != nullptr) {
        DEV_INFO copy = record;
        callback(&copy, is_new, user_data);
    }
}

// Under the list lock. The first MAC past the cap is traced; the count of
// all of them is traced when the list is emptied.
void CDiscovery::note_left_out(const DEV_INFO& record) {
    if (m_left_out++ == 0)
        TRACE_MSG("CDiscovery::MergeDevice", "device list full (%zu devices), mac = %.32s and later new devices left out\n",
                  kMaxDevices, record.mac_address);
}

int CDiscovery::ClearDeviceList() {
    CAutoMutex guard(&m_list_lock);
    if (m_left_out > 0)
        TRACE_MSG("CDiscovery::ClearDeviceList", "%zu replies of devices past the list's cap were left out\n", m_left_out);
    m_left_out = 0;
    m_list.clear();
    return RC_OK;
}

void CDiscovery::open_logs() {
    CAutoMutex guard(&m_list_lock);
    auto open = [](std::FILE*& file, const std::string& path, const char* failure) {
        if (file != nullptr || path.empty()) return;
        file = std::fopen(path.c_str(), "wb");
        if (file == nullptr) TRACE_MSG("CDiscovery::StartDiscovery", "%s", failure);
    };
    open(m_send_log, m_options.send_log, "open send.txt failed\n");
    open(m_recv_log, m_options.recv_log, "open recv.txt failed\n");
}

void CDiscovery::close_logs() {
    CAutoMutex guard(&m_list_lock);
    for (std::FILE** file : {&m_send_log, &m_recv_log}) {
        if (*file != nullptr) std::fclose(*file);
        *file = nullptr;
    }
}

void CDiscovery::write_log(std::FILE* file, const char* format, ...) {
    if (file == nullptr) return;
    char line[1024];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    if (length < 0) return;
    std::size_t size = static_cast<std::size_t>(length) < sizeof line ? static_cast<std::size_t>(length) : sizeof line - 1;
    std::fwrite(line, 1, size, file);
    std::fflush(file);
}
