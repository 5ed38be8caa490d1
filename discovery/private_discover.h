#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "discovery/dev_info.h"
#include "discovery/udp_transport.h"
#include "runtime/cthread.h"

// Where the engine sends and listens. The defaults are the protocol's; tests
// and the simulator's loopback mode use their own.
struct DiscoveryEndpoints {
    std::string broadcast_address = "255.255.255.255";
    std::uint16_t local_port = 12000;   // receive port, advertised as server_port
    std::uint16_t device_port = 13000;  // where every request goes
};

// Receives each valid reply, already parsed and with its address corrected.
using DiscoverRecordCB = int (*)(DEV_INFO* record, int is_new, void* context);

// The protocol engine: learns the host's addresses, holds the receive socket,
// sweeps requests and change-IP requests, parses replies.
class private_discover {
public:
    static constexpr int kMaxAddresses = 10;
    static constexpr std::int64_t kRequestPauseMs = 200;
    static constexpr int kReceiveBufferBytes = 0x100000;
    static constexpr std::int32_t kConnectionType = 2;

    private_discover(IUdpTransport* transport, DiscoveryEndpoints endpoints);
    ~private_discover();
    private_discover(const private_discover&) = delete;
    private_discover& operator=(const private_discover&) = delete;

    int start(std::int32_t interval);
    int stop();
    int refresh(const char* address);
    int set_discovery_cb(DiscoverRecordCB callback, void* context);
    int send_change_ip_request(const NETWORK_INFO* request);
    int ThreadFunc(std::uint32_t parameter);

    // The receive path for one datagram already in `buffer` (RECV_BUFFER_SIZE
    // + XML_PAD_BYTES bytes, zero behind the `received` bytes). 0 when it was
    // looked at (used or dropped), as the receiver thread goes on after it.
    int process_datagram(char* buffer, long received, const char* source);

    int address_count() const { return m_address_count; }
    const char* address(int index) const { return m_addresses[index]; }

private:
    int init();
    int get_host_ip();
    int create_socket();
    void close_socket();
    int send_request_to_all();
    int send_one_request(IUdpSocket* socket, const char* server_ip);
    void pause_and_drain(IUdpSocket* socket, std::int64_t ms);
    void drain(IUdpSocket* socket);
    int recv_packet(IUdpSocket* socket);
    int handle_packet(const char* source, char* datagram);
    int update_device(const char* source, const char* body, std::int64_t length);
    long send_datagram(IUdpSocket* socket, std::uint32_t command, const char* body_text, int body_length);
    std::string refresh_address();

    CThread<private_discover> m_recv_thread;
    CThread<private_discover> m_send_thread;
    std::mutex m_refresh_lock;  // the refresh address is read by the sender thread
    char m_refresh_ip[DEV_TEXT_SIZE] = {};
    std::atomic<DiscoverRecordCB> m_callback{nullptr};
    std::atomic<void*> m_context{nullptr};
    DiscoveryEndpoints m_endpoints;
    std::unique_ptr<IUdpSocket> m_recv_socket;
    char m_addresses[kMaxAddresses][DEV_TEXT_SIZE] = {};
    int m_address_count = 0;
    IUdpTransport* m_transport;
    std::atomic<int> m_stopping{0};  // cuts a sweep short when the engine stops
};
