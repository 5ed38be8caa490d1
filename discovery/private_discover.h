#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include <vector>

#include "discovery/datagram_receive.h"
#include "discovery/dev_info.h"
#include "discovery/sweep_socket.h"
#include "discovery/udp_transport.h"
#include "runtime/cthread.h"

// Where the engine sends and listens. The defaults are the protocol's; tests
// and the simulator's loopback mode use their own.
struct DiscoveryEndpoints {
    std::string broadcast_address = "255.255.255.255";
    std::uint16_t local_port = 12000;   // receive port, advertised as server_port
    std::uint16_t device_port = 13000;  // where every request goes
    // The card (IPv4 address) to send from until a refresh names another;
    // "" sends each request from the card it names.
    std::string card;
};

// Receives each valid reply, already parsed and with its address corrected.
using DiscoverRecordCB = int (*)(DEV_INFO* record, int is_new, void* context);

// What the last sweep did, for the hints a front end gives when nothing
// answered: the card it was sent from ("" when from every card), how many
// requests left, how many could not be sent and the last platform error.
struct SweepReport {
    std::string card;
    int sent = 0;
    int failed = 0;
    int error = 0;
};

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
    // A request to each of `addresses` (device port), from every card that
    // is up (or the chosen one), each naming that card as the place to reply
    // to: for devices the broadcast does not reach (behind a router, on
    // another VLAN). 1 when not one request left.
    int request_from(const std::vector<std::string>& addresses);
    int ThreadFunc(std::uint32_t parameter);

    // The receive path for one datagram already in `buffer` (RECV_BUFFER_SIZE
    // + XML_PAD_BYTES bytes, zero behind the `received` bytes). 0 when it was
    // looked at (used or dropped), as the receiver thread goes on after it.
    int process_datagram(char* buffer, long received, const char* source);

    // One receive on `socket` into the receive path. 0 when the datagram was
    // looked at (used or dropped; empty datagrams and receive errors are
    // dropped and counted), 1 once `closing` is set and the socket has
    // nothing more to give: the receiving loop then ends.
    int receive_reply(IUdpSocket* socket, const std::atomic<int>& closing);

    int address_count() const { return m_address_count; }
    const char* address(int index) const { return m_addresses[index]; }
    SweepReport last_sweep();
    // The platform error of the last change-IP request that could not be sent.
    int last_change_ip_error() const { return m_change_ip_error.load(); }

private:
    int init();
    int get_host_ip();
    std::vector<std::string> local_addresses();
    bool card_is_up(const std::string& card);
    std::vector<std::string> sending_cards(const std::string& card);
    int create_socket();
    void close_socket();
    int send_request_to_all();
    int sweep_from(const std::string& card, SweepReport* report);
    int sweep_every_card(SweepReport* report);
    std::unique_ptr<SweepSocket> open_sweep_socket(const std::string& card, SweepReport* report);
    void send_one_request(IUdpSocket* socket, const char* server_ip, const std::string& to, SweepReport* report);
    void pause(std::int64_t ms);
    bool send_change_ip_from(const std::string& card, const char* body, int length);
    int recv_packet(IUdpSocket* socket);
    int handle_packet(const char* source, char* datagram);
    int update_device(const char* source, const char* body, std::int64_t length);
    long send_datagram(IUdpSocket* socket, const std::string& to, std::uint32_t command, const char* body_text,
                       int body_length);
    std::string refresh_address();

    CThread<private_discover> m_recv_thread;
    CThread<private_discover> m_send_thread;
    std::mutex m_refresh_lock;  // the refresh address is read by the sender thread
    char m_refresh_ip[DEV_TEXT_SIZE] = {};
    SweepReport m_last_sweep;  // under m_refresh_lock
    std::atomic<int> m_change_ip_error{0};
    ReceiveTally m_tally;
    std::atomic<DiscoverRecordCB> m_callback{nullptr};
    std::atomic<void*> m_context{nullptr};
    DiscoveryEndpoints m_endpoints;
    std::unique_ptr<IUdpSocket> m_recv_socket;
    char m_addresses[kMaxAddresses][DEV_TEXT_SIZE] = {};
    int m_address_count = 0;
    IUdpTransport* m_transport;
    std::atomic<int> m_stopping{0};  // cuts a sweep short when the engine stops
};
