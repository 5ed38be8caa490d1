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

int CDiscovery::GetDeviceList(std::vector<DEV_INFO>* list, int* count) {
    if (list == nullptr || count == nullptr) return RC_INVALID_ARG;
    CAutoMutex guard(&m_list_lock);
    list->insert(list->end(), m_list.begin(), m_list.end());
    *count += static_cast<int>(m_list.size());
    return RC_OK;
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
        for (const DEV_INFO& device : m_list) {
            if (std::strncmp(device.mac_address, request->dev_mac, DEV_TEXT_SIZE) != 0) continue;
            found = true;
            request->new_dev_cmdport = device.cmd_port;
            request->new_dev_mediaport = device.media_port;
            request->new_dev_httpport = device.http_port;
            request->new_dev_mobileport = device.phone_port;
            if (copy_mask_gateway) {
                std::memcpy(request->new_dev_submask, device.subnet_mask, DEV_TEXT_SIZE);
                std::memcpy(request->new_dev_gateway, device.gateway, DEV_TEXT_SIZE);
            }
            write_log(m_send_log,
                      "mac = %.32s, ip = %.32s, submask = %.32s, gateway = %.32s, cmd = %d, media = %d, http = %d, "
                      "mobile = %d\n\n",
                      request->dev_mac, request->new_dev_ip, request->new_dev_submask, request->new_dev_gateway,
                      request->new_dev_cmdport, request->new_dev_mediaport, request->new_dev_httpport,
                      request->new_dev_mobileport);
            break;
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
    CAutoMutex guard(&self->m_queue_lock);
    if (self->m_queue.size() >= kMaxPending) {
        if (!self->m_queue_full) TRACE_MSG("CDiscovery::DiscoveryCbf", "pending queue full, replies dropped\n");
        self->m_queue_full = true;
        return RC_FAIL;
    }
    self->m_queue_full = false;
    self->m_queue.push_back(*record);
    return RC_OK;
}

int CDiscovery::ThreadFunc(std::uint32_t /*parameter*/) {
    DEV_INFO record;
    bool have = false;
    {
        CAutoMutex guard(&m_queue_lock);
        if (!m_queue.empty()) {
            record = m_queue.front();
            m_queue.pop_front();
            have = true;
        }
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
        DEV_INFO* listed = nullptr;
        for (DEV_INFO& device : m_list)
            if (std::strncmp(device.mac_address, record.mac_address, DEV_TEXT_SIZE) == 0) listed = &device;
        if (listed == nullptr) {
            m_list.push_back(record);
            is_new = 1;
            write_log(m_recv_log,
                      "mac = %.32s, ip = %.32s, submask = %.32s, gateway = %.32s, version = %.32s, cmd = %d, "
                      "media = %d, http = %d, mobile = %d\n\n",
                      record.mac_address, record.ip_address, record.subnet_mask, record.gateway,
                      record.software_ver, record.cmd_port, record.media_port, record.http_port, record.phone_port);
        } else if (std::memcmp(listed, &record, sizeof record) != 0) {
            *listed = record;
            is_new = 0;
        }
        callback = m_callback;
        user_data = m_user_data;
    }
    if (is_new >= 0 && callback != nullptr) {
        DEV_INFO copy = record;
        callback(&copy, is_new, user_data);
    }
}

int CDiscovery::ClearDeviceList() {
    CAutoMutex guard(&m_list_lock);
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
