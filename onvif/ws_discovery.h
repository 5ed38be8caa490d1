#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "discovery/datagram_receive.h"
#include "discovery/private_discover.h"
#include "discovery/sweep_socket.h"
#include "discovery/udp_transport.h"
#include "onvif/ws_discovery_messages.h"

// WS-Discovery, the search of ONVIF cameras: a Probe for network video
// transmitters multicast out of every card that is up (or the chosen one),
// and unicast to given addresses; the cameras answer with a unicast
// ProbeMatches to the port the Probe left from.
namespace onvif {

struct WsDiscoveryEndpoints {
    std::string multicast_address = "239.255.255.250";
    std::uint16_t port = 3702;  // where Probes go, multicast and unicast
    // The card (IPv4 address) to send from until a sweep names another;
    // "" sends out of every card that is up.
    std::string card;
};

// An ONVIF camera as its ProbeMatch describes it.
struct FoundEndpoint {
    std::string endpoint;  // "urn:uuid:...": the camera's identity until its MAC is known
    std::string xaddr;     // the device service address followed (on `address`)
    std::string address;   // IPv4 address the ProbeMatch came from
    std::uint16_t port = 0;  // the XAddr's port
    std::vector<std::string> scopes;
    std::uint32_t metadata_version = 0;
};

// Called on a receiving thread of the engine for each new endpoint (is_new
// true) and each listed one whose XAddr or metadata version changed, with
// no lock held. It must not wait long: further replies wait for it.
using EndpointCB = std::function<void(const FoundEndpoint& endpoint, bool is_new)>;

class CWsDiscovery {
public:
    // Endpoints listed at most; replies naming further ones are left out
    // (traced) until the list is emptied.
    static constexpr std::size_t kMaxEndpoints = 4096;
    // Endpoints listed at most per source address: one host inventing
    // endpoints cannot fill the list (a camera has one, a recorder a few).
    static constexpr std::size_t kMaxEndpointsPerAddress = 8;
    // A larger datagram is dropped unread (real ProbeMatches are a few KiB).
    static constexpr std::size_t kMaxDatagramBytes = 32768;
    // Replies relating to the last this many Probes are taken.
    static constexpr std::size_t kProbesRemembered = 16;
    static constexpr int kReceiveBufferBytes = 0x40000;

    // transport null: real sockets.
    explicit CWsDiscovery(IUdpTransport* transport = nullptr, WsDiscoveryEndpoints endpoints = {});
    ~CWsDiscovery();
    CWsDiscovery(const CWsDiscovery&) = delete;
    CWsDiscovery& operator=(const CWsDiscovery&) = delete;

    void set_callback(EndpointCB callback);

    // One multicast Probe out of each card (or out of `card` when not null;
    // it is kept for later sweeps, "" meaning every card again). Its replies
    // are taken until the next sweep or stop. 1 when not one Probe left.
    int sweep(const char* card);
    // A unicast Probe to each address (port `port`), from the chosen card or
    // any; replies taken until the next such call or stop. 1 when not one
    // Probe left.
    int probe_addresses(const std::vector<std::string>& addresses);
    // Forgets every listed endpoint (a refresh): each is new again when it
    // answers.
    void clear();
    // Sweeps and unicast Probes are sent only between start and stop.
    void start();
    bool started();
    // Closes every socket; no callback runs once it returns. Never from the
    // callback itself.
    void stop();

    std::vector<FoundEndpoint> endpoints();
    // What the last sweep did (card "" when sent out of every card).
    SweepReport last_sweep();

    // The receive path of one datagram (tests and the fuzz target feed it
    // directly).
    void process_datagram(const char* bytes, std::size_t length, const char* source);
    // Takes replies to this MessageID from now on, as if a Probe with it had left.
    void remember_probe(const std::string& message_id);

private:
    using SocketSet = std::vector<std::unique_ptr<SweepSocket>>;

    std::unique_ptr<SweepSocket> open_probe_socket(const std::string& card, bool multicast, SweepReport* report);
    bool send_probe(SweepSocket& socket, const std::string& probe, const std::string& to, SweepReport* report);
    int receive_reply(IUdpSocket* socket, const std::atomic<int>& closing);
    bool relates_to_a_probe(std::string_view bytes);
    void take_match(const ProbeMatch& match, const char* source);
    int merge(FoundEndpoint found);
    void count_address(const std::string& address, int step);
    void replace_sockets(SocketSet* slot, SocketSet sockets);
    std::string chosen_card(const char* card);

    std::unique_ptr<IUdpTransport> m_own_transport;  // before m_transport, which may point at it
    IUdpTransport* m_transport;
    WsDiscoveryEndpoints m_endpoints;

    std::mutex m_sockets_lock;  // the socket sets, the card, the last sweep; never held across a join
    SocketSet m_sweep_sockets;
    SocketSet m_unicast_sockets;
    SweepReport m_last_sweep;
    bool m_started = false;

    mutable std::mutex m_list_lock;  // the list, the remembered Probes, the callback
    std::vector<FoundEndpoint> m_list;
    std::unordered_map<std::string, std::size_t> m_index;  // endpoint -> position in m_list
    std::unordered_map<std::string, std::size_t> m_per_address;  // source address -> endpoints listed from it
    std::deque<std::string> m_probes;
    std::size_t m_left_out = 0;
    EndpointCB m_callback;

    ReceiveTally m_tally;
    std::atomic<int> m_unrelated{0};
};

}  // namespace onvif
