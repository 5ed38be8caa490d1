#include "fake_device_client.h"

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "client/call_abort.h"

int32_t FakeDeviceClient::SetThreadAbortCB(NETWORK_ABORT_CB check, void* user) {
    kaltro::set_thread_abort_check(check, user);
    return 0;
}

int32_t FakeDeviceClient::hang() {
    ++m_hanging_calls;
    int32_t result = NETWORK_ERR_TIMEOUT;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        if (kaltro::call_aborted()) {
            ++m_aborted_calls;
            result = NETWORK_ERR_NETWORK;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    --m_hanging_calls;
    return result;
}

bool FakeDeviceClient::command_hangs(int32_t handle, int32_t command) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto login = m_logins.find(handle);
    return login != m_logins.end() && m_devices[login->second.ip].hung_commands.count(command) != 0;
}

void FakeDeviceClient::add(const std::string& ip, FakeDevice device) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_devices[ip] = std::move(device);
}

int FakeDeviceClient::next_answer(std::deque<int>& answers, int fallback) {
    if (answers.empty()) return fallback;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

int32_t FakeDeviceClient::Login(int32_t* handle, const std::string& ip, int32_t, const std::string&,
                                const std::string&) {
    *handle = -1;
    m_last_login_nice.store(getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
    bool hangs = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto device = m_devices.find(ip);
        int attempts = m_login_attempts[ip];
        hangs = device != m_devices.end() && device->second.hang_after_logins >= 0 &&
                attempts >= device->second.hang_after_logins;
        if (hangs) ++m_login_attempts[ip];
    }
    if (hangs) return hang();
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_login_attempts[ip];
    auto device = m_devices.find(ip);
    if (device == m_devices.end() || m_offline.count(ip) != 0) return NETWORK_ERR_NETWORK;
    int answer = next_answer(device->second.login_results, device->second.login_default);
    if (answer != 0) return answer;
    *handle = m_next_handle++;
    m_logins[*handle] = Session{ip};
    return 0;
}

int32_t FakeDeviceClient::Logout(int32_t handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_logins.erase(handle) == 1 ? 0 : NETWORK_ERR_INVALID_HANDLE;
}

int32_t FakeDeviceClient::SetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto login = m_logins.find(handle);
    if (login == m_logins.end()) return NETWORK_ERR_INVALID_HANDLE;
    login->second.callback = callback;
    login->second.user = user;
    return 0;
}

int32_t FakeDeviceClient::StartUpgrade(int32_t* upgrade_handle, int32_t handle, const std::string&) {
    std::lock_guard<std::mutex> guard(m_lock);
    *upgrade_handle = -1;
    auto login = m_logins.find(handle);
    if (login == m_logins.end()) return NETWORK_ERR_INVALID_HANDLE;
    int answer = next_answer(m_devices[login->second.ip].start_upgrade_results, 0);
    if (answer != 0) return answer;
    *upgrade_handle = 1000 + m_next_handle++;
    m_transfers[*upgrade_handle] = Transfer{login->second.ip, handle};
    return 0;
}

int32_t FakeDeviceClient::GetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) {
    std::string ip;
    int32_t login = -1;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto transfer = m_transfers.find(upgrade_handle);
        if (transfer == m_transfers.end()) return NETWORK_ERR_INVALID_HANDLE;
        FakeDevice& device = m_devices[transfer->second.ip];
        if (device.failed_polls > 0) {
            --device.failed_polls;
            return NETWORK_ERR_TIMEOUT;
        }
        transfer->second.progress = std::min(100, transfer->second.progress + m_progress_step);
        *progress = transfer->second.progress;
        if (*progress < 100) return 0;
        ip = transfer->second.ip;
        login = transfer->second.login;
    }
    flashed(ip, login);
    return 0;
}

// The device reboots: its login is gone (the event comes from "the library's
// thread", here the caller's, with no lock of ours held) and discovery hears
// the new version.
void FakeDeviceClient::flashed(const std::string& ip, int32_t login) {
    NETWORK_EVENT_CB callback = nullptr;
    void* user = nullptr;
    std::string version;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        FakeDevice& device = m_devices[ip];
        version = device.version_after_flash;
        if (device.offline_after_flash) m_offline.insert(ip);
        auto entry = m_logins.find(login);
        if (device.disconnect_after_flash && entry != m_logins.end()) {
            callback = entry->second.callback;
            user = entry->second.user;
        }
    }
    if (callback) {
        DEVICE_EVENT event{sizeof(DEVICE_EVENT), EVENT_DISCONNECTED, 0, 0};
        callback(login, &event, user);
    }
    if (m_table && !version.empty()) {
        for (const DeviceRow& row : m_table->rows()) {
            if (row.ip != ip) continue;
            ListedDevice listed{row.mac, row.ip, std::atoi(row.port.c_str()), version, 0, row.group1 ? 19 : 5};
            m_table->update_dev_find_list(listed, false);
        }
    }
}

int32_t FakeDeviceClient::StopUpgrade(int32_t upgrade_handle) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_transfers.erase(upgrade_handle) != 1) return NETWORK_ERR_INVALID_HANDLE;
    ++m_stopped_transfers;
    return 0;
}

int32_t FakeDeviceClient::GetDeviceConfig(int32_t handle, int32_t command, int32_t, void* data, int32_t size) {
    if (command_hangs(handle, command)) return hang();
    std::lock_guard<std::mutex> guard(m_lock);
    auto login = m_logins.find(handle);
    if (login == m_logins.end()) return NETWORK_ERR_INVALID_HANDLE;
    m_config_calls.push_back({login->second.ip, command, {}});
    std::memset(data, 0x11, static_cast<std::size_t>(size));
    return next_answer(m_devices[login->second.ip].config_answers[command], 0);
}

int32_t FakeDeviceClient::SetDeviceConfig(int32_t handle, int32_t command, int32_t, const void* data,
                                          int32_t size) {
    if (command_hangs(handle, command)) return hang();
    std::lock_guard<std::mutex> guard(m_lock);
    auto login = m_logins.find(handle);
    if (login == m_logins.end()) return NETWORK_ERR_INVALID_HANDLE;
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_config_calls.push_back({login->second.ip, command, {bytes, bytes + (data ? size : 0)}});
    return next_answer(m_devices[login->second.ip].config_answers[command], 0);
}

int32_t FakeDeviceClient::DeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2, int32_t arg3) {
    if (command_hangs(handle, code)) return hang();
    std::lock_guard<std::mutex> guard(m_lock);
    auto login = m_logins.find(handle);
    if (login == m_logins.end()) return NETWORK_ERR_INVALID_HANDLE;
    m_controls[login->second.ip].push_back({code, arg1, arg2, arg3});
    return next_answer(m_devices[login->second.ip].config_answers[code], 0);
}

int FakeDeviceClient::login_attempts(const std::string& ip) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_login_attempts.find(ip);
    return it == m_login_attempts.end() ? 0 : it->second;
}

int FakeDeviceClient::open_logins() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_logins.size());
}

int FakeDeviceClient::open_transfers() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return static_cast<int>(m_transfers.size());
}

int FakeDeviceClient::stopped_transfers() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_stopped_transfers;
}

std::vector<ConfigCall> FakeDeviceClient::config_calls(const std::string& ip, int command) const {
    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<ConfigCall> calls;
    for (const ConfigCall& call : m_config_calls)
        if (call.ip == ip && call.command == command) calls.push_back(call);
    return calls;
}

std::vector<std::vector<int>> FakeDeviceClient::controls(const std::string& ip) const {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_controls.find(ip);
    return it == m_controls.end() ? std::vector<std::vector<int>>{} : it->second;
}

int FakeDiscovery::changed(const IpChangeRequest& request, std::vector<IpChangeRequest>& log) {
    CDeviceTable* table = nullptr;
    int result = 0;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        log.push_back(request);
        result = m_change_result;
        if (result == 0) table = m_table;
    }
    if (table == nullptr) return result;
    for (const DeviceRow& row : table->rows()) {
        if (row.mac != request.mac) continue;
        ListedDevice heard{row.mac, request.ip, std::atoi(row.port.c_str()), row.version, 0x10, 5,
                           request.mask.empty() ? row.mask : request.mask,
                           request.gateway.empty() ? row.gateway : request.gateway};
        table->update_dev_find_list(heard, false);
    }
    return result;
}

int FakeDiscovery::ChangeIpPort(const IpChangeRequest& request) { return changed(request, m_port_changes); }

int FakeDiscovery::ChangeIp(const IpChangeRequest& request) { return changed(request, m_full_changes); }

void FakeDiscovery::hear_changes_in(CDeviceTable* table) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_table = table;
}

void FakeDiscovery::set_change_result(int result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_change_result = result;
}

std::optional<std::string> FakeDiscovery::FindIp(const std::string& mac) {
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_listed.find(mac);
    if (it == m_listed.end()) return std::nullopt;
    return it->second;
}

void FakeDiscovery::list(const std::string& mac, const std::string& ip) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_listed[mac] = ip;
}

std::vector<IpChangeRequest> FakeDiscovery::port_changes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_port_changes;
}

std::vector<IpChangeRequest> FakeDiscovery::full_changes() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_full_changes;
}

void FakeDeviceClient::bring_back(const std::string& ip) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_offline.erase(ip);
}
