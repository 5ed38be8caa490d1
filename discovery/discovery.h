#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "discovery/dev_info.h"
#include "discovery/device_list.h"
#include "discovery/pending_replies.h"
#include "discovery/private_discover.h"
#include "runtime/cmutex.h"
#include "runtime/cthread.h"

// Called on the merge thread for each new (is_new 1) or changed (is_new 0)
// device. The record is valid only during the call. The result is not used.
using DiscoveryCB = int (*)(DEV_INFO* record, int is_new, void* user_data);

struct DiscoveryOptions {
    DiscoveryEndpoints endpoints;
    // Debug files, emptied at each start; "" leaves one out.
    std::string send_log = "./send.txt";
    std::string recv_log = "./recv.txt";
};

// The discovery facade a front end owns: runs the engine, keeps one DEV_INFO
// per MAC in order of first arrival, merges replies on a thread of its own
// and reports new and changed devices to the callback.
class CDiscovery {
public:
    static constexpr std::int32_t kMinInterval = 1000;
    static constexpr std::int64_t kMergeIdleMs = 20;
    // Devices listed at most. Beyond it replies of further MACs are left out
    // (traced, and counted when a refresh or stop empties the list) while
    // the listed devices keep being updated.
    static constexpr std::size_t kMaxDevices = 4096;
    // New MACs waiting to be merged; beyond this their replies are dropped
    // (traced), while those of listed or waiting MACs are still taken.
    static constexpr std::size_t kMaxPending = 8192;

    // transport null: real sockets.
    explicit CDiscovery(IUdpTransport* transport = nullptr, DiscoveryOptions options = {});
    ~CDiscovery();
    CDiscovery(const CDiscovery&) = delete;
    CDiscovery& operator=(const CDiscovery&) = delete;

    int StartDiscovery(int reserved, std::int32_t interval);
    int StopDiscovery();
    int SetDiscoveryCB(DiscoveryCB callback, void* user_data);
    // address: the chosen card's IPv4 address, or null. Runs one sweep on
    // the calling thread (200 ms per local address).
    int RefreshDiscovery(const char* address);
    // One more sweep from the card of the last refresh, on the calling
    // thread, leaving the list as it is: listed devices that answer update
    // their records (a flashed device shows its new version).
    int SearchAgain();
    int GetDeviceList(std::vector<DEV_INFO>* list, int* count);
    // Asks these addresses directly (see private_discover::request_from);
    // their replies are listed like the others.
    int ProbeAddresses(const std::vector<std::string>& addresses);
    // Fill dev_mac and the new address; the ports (and for ChangeIpPort the
    // mask and gateway) are copied into *request from the listed device.
    int ChangeIp(NETWORK_INFO* request);
    int ChangeIpPort(NETWORK_INFO* request);

    static int DiscoveryCbf(DEV_INFO* record, int is_new, void* context);
    int ThreadFunc(std::uint32_t parameter);

    bool started() const { return m_started.load() != 0; }
    private_discover& engine() { return m_engine; }

private:
    int ClearDeviceList();
    void MergeDevice(const DEV_INFO& record);
    bool is_listed(const std::string& mac);
    bool queue_reply(const DEV_INFO& record, bool listed);
    void note_left_out(const DEV_INFO& record);
    int change_ip(NETWORK_INFO* request, bool copy_mask_gateway, const char* who);
    void open_logs();
    void close_logs();
    void write_log(std::FILE* file, const char* format, ...) __attribute__((format(printf, 3, 4)));

    std::atomic<std::uint8_t> m_started{0};
    DeviceList m_list{kMaxDevices};
    std::size_t m_left_out = 0;  // under the list lock: replies of MACs past the cap since the list was emptied
    CMutex m_list_lock;
    DiscoveryCB m_callback = nullptr;  // both under the list lock
    void* m_user_data = nullptr;
    std::unique_ptr<IUdpTransport> m_own_transport;
    private_discover m_engine;
    PendingReplies m_queue{kMaxPending};
    CMutex m_queue_lock;
    std::atomic<bool> m_queue_full{false};  // the drop was traced; cleared once there is room again
    CThread<CDiscovery> m_merge_thread;
    std::FILE* m_send_log = nullptr;  // under the list lock
    std::FILE* m_recv_log = nullptr;
    DiscoveryOptions m_options;
};
