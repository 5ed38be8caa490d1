#include "onvif/ws_discovery.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "discovery/search_cards.h"
#include "onvif/service_address.h"
#include "runtime/result_codes.h"
#include "runtime/trace.h"

namespace onvif {

namespace {

IUdpTransport* pick_transport(IUdpTransport* given, std::unique_ptr<IUdpTransport>& own) {
    if (given != nullptr) return given;
    own = std::make_unique<PosixUdpTransport>();
    return own.get();
}

// Traced at the 1st, 2nd, 4th, 8th ... time, so a flood costs the trace
// only a few lines.
bool worth_tracing(int count) { return (count & (count - 1)) == 0; }

bool same_listing(const FoundEndpoint& a, const FoundEndpoint& b) {
    return a.xaddr == b.xaddr && a.address == b.address && a.metadata_version == b.metadata_version;
}

}  // namespace

CWsDiscovery::CWsDiscovery(IUdpTransport* transport, WsDiscoveryEndpoints endpoints)
    : m_transport(pick_transport(transport, m_own_transport)), m_endpoints(std::move(endpoints)) {}

CWsDiscovery::~CWsDiscovery() { stop(); }

void CWsDiscovery::set_callback(EndpointCB callback) {
    std::lock_guard<std::mutex> guard(m_list_lock);
    m_callback = std::move(callback);
}

void CWsDiscovery::start() {
    std::lock_guard<std::mutex> guard(m_sockets_lock);
    m_started = true;
}

bool CWsDiscovery::started() {
    std::lock_guard<std::mutex> guard(m_sockets_lock);
    return m_started;
}

void CWsDiscovery::stop() {
    SocketSet sweep;
    SocketSet unicast;
    {
        std::lock_guard<std::mutex> guard(m_sockets_lock);
        m_started = false;
        sweep.swap(m_sweep_sockets);
        unicast.swap(m_unicast_sockets);
    }
    // Destroying the sockets joins their threads: outside the lock, as a
    // thread may be in the callback.
}

std::string CWsDiscovery::chosen_card(const char* card) {
    std::lock_guard<std::mutex> guard(m_sockets_lock);
    if (card != nullptr) m_endpoints.card = card;
    return m_endpoints.card;
}

int CWsDiscovery::sweep(const char* card) {
    if (!started()) return RC_NOT_STARTED;
    const std::string chosen = chosen_card(card);
    SweepReport report;
    report.card = chosen;
    std::vector<std::string> cards;
    if (list_search_cards(*m_transport, private_discover::kMaxAddresses, &cards) != 0)
        TRACE_MSG("CWsDiscovery::sweep", "the cards could not be listed\n");
    if (!chosen.empty()) {
        // A socket bound to a card that is down "sends" without an error.
        const bool up = card_listed(cards, chosen);
        cards.clear();
        if (up) {
            cards.push_back(chosen);
        } else {
            TRACE_MSG("CWsDiscovery::sweep", "card %s is not up\n", chosen.c_str());
            report.failed = 1;
            report.error = ENETDOWN;
        }
    }
    const std::string id = new_message_id();
    remember_probe(id);
    const std::string probe = build_probe(id);
    SocketSet sockets;
    for (const std::string& from : cards) {
        std::unique_ptr<SweepSocket> socket = open_probe_socket(from, true, &report);
        if (socket && send_probe(*socket, probe, m_endpoints.multicast_address, &report))
            sockets.push_back(std::move(socket));
    }
    {
        std::lock_guard<std::mutex> guard(m_sockets_lock);
        m_last_sweep = report;
    }
    replace_sockets(&m_sweep_sockets, std::move(sockets));
    return report.sent > 0 ? RC_OK : RC_FAIL;
}

int CWsDiscovery::probe_addresses(const std::vector<std::string>& addresses) {
    if (!started()) return RC_NOT_STARTED;
    const std::string card = chosen_card(nullptr);
    SweepReport report;
    report.card = card;
    const std::string id = new_message_id();
    remember_probe(id);
    const std::string probe = build_probe(id);
    SocketSet sockets;
    std::unique_ptr<SweepSocket> socket = open_probe_socket(card, false, &report);
    if (socket) {
        for (const std::string& address : addresses) send_probe(*socket, probe, address, &report);
        sockets.push_back(std::move(socket));
    }
    replace_sockets(&m_unicast_sockets, std::move(sockets));
    return report.sent > 0 ? RC_OK : RC_FAIL;
}

// The new set replaces the old one while started; the old one is closed
// (its thread takes what is queued, then ends) outside the lock.
void CWsDiscovery::replace_sockets(SocketSet* slot, SocketSet sockets) {
    std::lock_guard<std::mutex> guard(m_sockets_lock);
    if (m_started) slot->swap(sockets);
}

// A socket of its own per Probe, bound to the card on a port the system
// picks: the ProbeMatches come back to that port. For a multicast the card
// is also named as the interface to leave by, so it goes out of that very
// card whether or not the host has a default route.
std::unique_ptr<SweepSocket> CWsDiscovery::open_probe_socket(const std::string& card, bool multicast,
                                                             SweepReport* report) {
    auto failed = [&](const char* message, int error) -> std::unique_ptr<SweepSocket> {
        TRACE_MSG("CWsDiscovery::open_probe_socket", "%s %s: error %d\n", message, card.c_str(), error);
        report->failed++;
        report->error = error;
        return nullptr;
    };
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) return failed("no socket for", errno);
    socket->set_receive_buffer(kReceiveBufferBytes);
    if (multicast && socket->set_multicast_interface(card.c_str()) != 0)
        return failed("cannot multicast out of", socket->last_error());
    if (socket->bind(card.c_str(), 0) != 0) return failed("cannot bind to", socket->last_error());
    try {
        return std::make_unique<SweepSocket>(std::move(socket), [this](IUdpSocket* s, const std::atomic<int>& closing) {
            return receive_reply(s, closing);
        });
    } catch (const std::system_error& e) {
        return failed("no receiving thread for", e.code().value());
    }
}

bool CWsDiscovery::send_probe(SweepSocket& socket, const std::string& probe, const std::string& to,
                              SweepReport* report) {
    if (socket.socket()->send_to(probe.data(), probe.size(), to.c_str(), m_endpoints.port) > 0) {
        report->sent++;
        return true;
    }
    TRACE_MSG("CWsDiscovery::send_probe", "Probe to %s failed, error_code = %d\n", to.c_str(),
              socket.socket()->last_error());
    report->failed++;
    report->error = socket.socket()->last_error();
    return false;
}

int CWsDiscovery::receive_reply(IUdpSocket* socket, const std::atomic<int>& closing) {
    // One byte more than taken, so a datagram past the bound shows as one;
    // one buffer per receiving thread, not one per datagram.
    thread_local std::vector<char> buffer(kMaxDatagramBytes + 1);
    return receive_datagram(socket, closing, buffer.data(), buffer.size(), m_tally, "CWsDiscovery::receive_reply",
                            [&](long received, const char* source) {
                                process_datagram(buffer.data(), static_cast<std::size_t>(received), source);
                            });
}

void CWsDiscovery::remember_probe(const std::string& message_id) {
    std::lock_guard<std::mutex> guard(m_list_lock);
    m_probes.push_back(message_id);
    if (m_probes.size() > kProbesRemembered) m_probes.pop_front();
}

// A reply that does not even name one of our Probes is dropped before it
// is parsed, so a flood of stray datagrams costs a text search each.
bool CWsDiscovery::relates_to_a_probe(std::string_view bytes) {
    std::lock_guard<std::mutex> guard(m_list_lock);
    return std::any_of(m_probes.begin(), m_probes.end(),
                       [&](const std::string& id) { return bytes.find(id) != std::string_view::npos; });
}

void CWsDiscovery::process_datagram(const char* bytes, std::size_t length, const char* source) {
    std::string_view datagram(bytes, length);
    if (length > kMaxDatagramBytes) {
        TRACE_MSG("CWsDiscovery::process_datagram", "datagram of more than %zu bytes from %s dropped\n",
                  kMaxDatagramBytes, source);
        return;
    }
    ProbeMatches matches;
    std::string why;
    if (!relates_to_a_probe(datagram)) {
        if (int n = m_unrelated.fetch_add(1) + 1; worth_tracing(n))
            TRACE_MSG("CWsDiscovery::process_datagram", "datagram from %s answers no Probe of ours, dropped (%d so far)\n",
                      source, n);
        return;
    }
    if (!parse_probe_matches(datagram, &matches, &why)) {
        TRACE_MSG("CWsDiscovery::process_datagram", "reply from %s dropped: %s\n", source, why.c_str());
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_list_lock);
        if (std::find(m_probes.begin(), m_probes.end(), matches.relates_to) == m_probes.end()) why = "unknown RelatesTo";
    }
    if (!why.empty()) {
        TRACE_MSG("CWsDiscovery::process_datagram", "reply from %s dropped: %s\n", source, why.c_str());
        return;
    }
    if (matches.left_out > 0)
        TRACE_MSG("CWsDiscovery::process_datagram", "%zu matches from %s left out (no endpoint, or too many)\n",
                  matches.left_out, source);
    for (const ProbeMatch& match : matches.matches) take_match(match, source);
}

void CWsDiscovery::take_match(const ProbeMatch& match, const char* source) {
    std::uint16_t port = 0;
    std::optional<std::string> xaddr = xaddr_on_host(match.xaddrs, source, &port);
    if (!xaddr) {
        TRACE_MSG("CWsDiscovery::take_match", "endpoint %s from %s names no XAddr on that address, left out\n",
                  match.endpoint.c_str(), source);
        return;
    }
    FoundEndpoint found{match.endpoint, *xaddr, source, port, match.scopes, match.metadata_version};
    EndpointCB callback;
    int is_new = -1;
    {
        std::lock_guard<std::mutex> guard(m_list_lock);
        is_new = merge(found);
        if (is_new >= 0) callback = m_callback;
    }
    if (callback) callback(found, is_new == 1);
}

// Under the list lock: 1 added, 0 changed, -1 nothing to tell.
int CWsDiscovery::merge(FoundEndpoint found) {
    auto listed = m_index.find(found.endpoint);
    if (listed != m_index.end()) {
        FoundEndpoint& entry = m_list[listed->second];
        const bool changed = !same_listing(entry, found);
        if (entry.address != found.address) {
            count_address(entry.address, -1);
            count_address(found.address, +1);
        }
        entry = std::move(found);
        return changed ? 0 : -1;
    }
    auto from = m_per_address.find(found.address);
    if (m_list.size() >= kMaxEndpoints || (from != m_per_address.end() && from->second >= kMaxEndpointsPerAddress)) {
        if (worth_tracing(static_cast<int>(++m_left_out)))
            TRACE_MSG("CWsDiscovery::merge", "endpoint %s from %s left out: list full or too many from that address "
                      "(%zu so far)\n", found.endpoint.c_str(), found.address.c_str(), m_left_out);
        return -1;
    }
    count_address(found.address, +1);
    m_index.emplace(found.endpoint, m_list.size());
    m_list.push_back(std::move(found));
    return 1;
}

void CWsDiscovery::count_address(const std::string& address, int step) {
    std::size_t& count = m_per_address[address];
    count = step > 0 ? count + 1 : (count > 0 ? count - 1 : 0);
    if (count == 0) m_per_address.erase(address);
}

void CWsDiscovery::clear() {
    std::lock_guard<std::mutex> guard(m_list_lock);
    m_list.clear();
    m_index.clear();
    m_per_address.clear();
    m_left_out = 0;
}

std::vector<FoundEndpoint> CWsDiscovery::endpoints() {
    std::lock_guard<std::mutex> guard(m_list_lock);
    return m_list;
}

SweepReport CWsDiscovery::last_sweep() {
    std::lock_guard<std::mutex> guard(m_sockets_lock);
    return m_last_sweep;
}

}  // namespace onvif
