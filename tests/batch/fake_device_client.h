#pragma once

#include <atomic>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "batch/device_access.h"
#include "batch/device_table.h"

// How one scripted device (keyed by IP) behaves.
struct FakeDevice {
    std::deque<int> login_results;      // answered in turn; 0 once empty
    int login_default = 0;
    std::deque<int> start_upgrade_results;  // answered in turn; 0 once empty
    int failed_polls = 0;               // status polls that fail before the transfer goes on
    bool disconnect_after_flash = true; // sends EVENT_DISCONNECTED when the transfer is done
    std::string version_after_flash;    // written into the device table after the flash
    std::map<int, std::deque<int>> config_answers;  // per command, answered in turn; 0 once empty
    // A device that takes the connection and never answers: these calls wait
    // until the calling thread's abort check gives them up (as the library does).
    int hang_after_logins = -1;  // login attempts after the first n hang (-1: none)
    bool offline_after_flash = false;  // logins answer 17 after the flash until bring_back()
    std::set<int> hung_commands;  // config commands and control codes
};

struct ConfigCall {
    std::string ip;
    int command;
    std::vector<unsigned char> data;
};

// A client library stand-in: logins, transfers and config calls against
// scripted devices, every call recorded. Thread-safe.
class FakeDeviceClient : public IDeviceClient {
public:
    explicit FakeDeviceClient(CDeviceTable* table = nullptr) : m_table(table) {}

    void add(const std::string& ip, FakeDevice device);

    int32_t Login(int32_t* handle, const std::string& ip, int32_t port, const std::string& user,
                  const std::string& password) override;
    int32_t Logout(int32_t handle) override;
    int32_t SetEventCB(int32_t handle, NETWORK_EVENT_CB callback, void* user) override;
    int32_t StartUpgrade(int32_t* upgrade_handle, int32_t handle, const std::string& path) override;
    int32_t GetUpgradeStatus(int32_t upgrade_handle, int32_t* progress) override;
    int32_t StopUpgrade(int32_t upgrade_handle) override;
    int32_t GetDeviceConfig(int32_t handle, int32_t command, int32_t channel, void* data, int32_t size) override;
    int32_t SetDeviceConfig(int32_t handle, int32_t command, int32_t channel, const void* data,
                            int32_t size) override;
    int32_t DeviceControl(int32_t handle, int32_t code, int32_t arg1, int32_t arg2, int32_t arg3) override;
    int32_t SetThreadAbortCB(NETWORK_ABORT_CB check, void* user) override;

    int login_attempts(const std::string& ip) const;
    // The nice value of the thread that made the last login.
    int last_login_nice() const { return m_last_login_nice.load(); }
    int open_logins() const;
    int open_transfers() const;
    int stopped_transfers() const;
    int aborted_calls() const { return m_aborted_calls.load(); }
    int hanging_calls() const { return m_hanging_calls.load(); }
    std::vector<ConfigCall> config_calls(const std::string& ip, int command) const;
    std::vector<std::vector<int>> controls(const std::string& ip) const;
    // Transfers report progress in steps of this many percent (default 50; 0 = never done).
    void set_progress_step(int step) { m_progress_step = step; }
    // A device offline after its flash answers logins again.
    void bring_back(const std::string& ip);

private:
    struct Session { std::string ip; NETWORK_EVENT_CB callback = nullptr; void* user = nullptr; };
    struct Transfer { std::string ip; int32_t login; int progress = 0; };
    int next_answer(std::deque<int>& answers, int fallback);
    void flashed(const std::string& ip, int32_t login);
    // Waits as a call to a silent device does; answers 17 once the calling
    // thread's abort check fires (TIMEOUT after 60 s without one).
    int32_t hang();
    bool command_hangs(int32_t handle, int32_t command);

    CDeviceTable* m_table;
    mutable std::mutex m_lock;
    std::map<std::string, FakeDevice> m_devices;
    std::set<std::string> m_offline;
    std::map<std::string, int> m_login_attempts;
    std::map<int32_t, Session> m_logins;
    std::map<int32_t, Transfer> m_transfers;
    std::vector<ConfigCall> m_config_calls;
    std::map<std::string, std::vector<std::vector<int>>> m_controls;
    int32_t m_next_handle = 1;
    int m_stopped_transfers = 0;
    int m_progress_step = 50;
    std::atomic<int> m_last_login_nice{0};
    std::atomic<int> m_aborted_calls{0};
    std::atomic<int> m_hanging_calls{0};
};

// Discovery stand-in: records the change requests, lists addresses by MAC.
class FakeDiscovery : public IDiscoveryLink {
public:
    int ChangeIpPort(const IpChangeRequest& request) override;
    int ChangeIp(const IpChangeRequest& request) override;
    std::optional<std::string> FindIp(const std::string& mac) override;

    void list(const std::string& mac, const std::string& ip);
    // What every change request answers (0: sent).
    void set_change_result(int result);
    // Lists each device that takes a change at its new address in `table`,
    // as discovery does once it hears the device from there.
    void hear_changes_in(CDeviceTable* table);
    std::vector<IpChangeRequest> port_changes() const;
    std::vector<IpChangeRequest> full_changes() const;

private:
    mutable std::mutex m_lock;
    std::map<std::string, std::string> m_listed;
    std::vector<IpChangeRequest> m_port_changes;
    std::vector<IpChangeRequest> m_full_changes;
    int m_change_result = 0;
    CDeviceTable* m_table = nullptr;

    // A change that was sent; the table hears of it outside the lock.
    int changed(const IpChangeRequest& request, std::vector<IpChangeRequest>& log);
};
