#include "discovery/private_discover.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "discovery/datagram_receive.h"
#include "discovery/search_cards.h"
#include "discovery/xml_message.h"
#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// A sweep's pause is cut into slices this long, so stopping the engine never
// waits for a whole pause.
constexpr std::int64_t kPauseSliceMs = 10;

}  // namespace

private_discover::private_discover(IUdpTransport* transport, DiscoveryEndpoints endpoints)
    : m_endpoints(std::move(endpoints)), m_transport(transport) {
    std::strncpy(m_refresh_ip, m_endpoints.card.c_str(), 15);
}

private_discover::~private_discover() {
    {
        std::lock_guard<std::mutex> guard(m_refresh_lock);
        std::memset(m_refresh_ip, 0, sizeof m_refresh_ip);
    }
    stop();
}

int private_discover::start(std::int32_t interval) {
    m_stopping.store(0);
    init();
    if (int rc = create_socket(); rc != RC_OK) {
        TRACE_POS("private_discover::start");
        return rc;
    }
    if (int rc = m_recv_thread.Start(this, 0, 0); rc != RC_OK) {
        TRACE_POS("private_discover::start");
        close_socket();
        return rc;
    }
    if (int rc = m_send_thread.Start(this, 1, interval); rc != RC_OK) {
        TRACE_POS("private_discover::start");
        stop();
        return rc;
    }
    return RC_OK;
}

int private_discover::stop() {
    m_stopping.store(1);
    if (m_send_thread.IsRunning()) m_send_thread.Stop();
    // Wake the blocked receive, let the receiver end, then free the socket:
    // freeing it first would pull it from under the receiving thread.
    if (m_recv_socket) m_recv_socket->shutdown();
    if (m_recv_thread.IsRunning()) m_recv_thread.Stop();
    close_socket();
    return RC_OK;
}

int private_discover::refresh(const char* address) {
    if (address != nullptr) {
        TRACE_MSG("private_discover::refresh", "bind refresh_ip = %s\n", address);
        std::lock_guard<std::mutex> guard(m_refresh_lock);
        std::memset(m_refresh_ip, 0, sizeof m_refresh_ip);
        std::strncpy(m_refresh_ip, address, 15);
    }
    send_request_to_all();
    return RC_OK;
}

int private_discover::set_discovery_cb(DiscoverRecordCB callback, void* context) {
    if (callback == nullptr) {
        TRACE_POS("private_discover::set_discovery_cb");
        return RC_INVALID_ARG;
    }
    m_context.store(context);
    m_callback.store(callback);
    return RC_OK;
}

int private_discover::ThreadFunc(std::uint32_t parameter) {
    if (parameter == 1) {
        send_request_to_all();
        return 0;
    }
    return recv_packet(m_recv_socket.get());
}

int private_discover::init() {
    std::memset(m_addresses, 0, sizeof m_addresses);
    m_address_count = 0;
    get_host_ip();
    return RC_OK;
}

int private_discover::get_host_ip() {
    std::vector<std::string> found = local_addresses();
    for (const std::string& address : found)
        dev_copy_text(m_addresses[m_address_count++], DEV_TEXT_SIZE, address.c_str());
    return found.empty() ? RC_FAIL : RC_OK;
}

std::vector<std::string> private_discover::local_addresses() {
    std::vector<std::string> addresses;
    if (list_search_cards(*m_transport, kMaxAddresses, &addresses) != 0) TRACE_POS("private_discover::get_host_ip");
    return addresses;
}

bool private_discover::card_is_up(const std::string& card) { return card_listed(local_addresses(), card); }

// The chosen card when it is up (none when it is not), else every card that is up.
std::vector<std::string> private_discover::sending_cards(const std::string& card) {
    std::vector<std::string> cards = local_addresses();
    if (card.empty()) return cards;
    return card_listed(cards, card) ? std::vector<std::string>{card} : std::vector<std::string>{};
}

int private_discover::create_socket() {
    if (m_recv_socket) {
        TRACE_POS("private_discover::create_socket");
        return RC_FAIL;
    }
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) {
        TRACE_MSG("private_discover::create_socket", "create udp socket failed\n");
        return RC_FAIL;
    }
    if (socket->set_reuse_address() != 0) {
        TRACE_MSG("private_discover::create_socket", "setsockopt error\n");
        return RC_FAIL;
    }
    socket->set_receive_buffer(kReceiveBufferBytes);
    if (socket->set_broadcast() != 0) {
        TRACE_MSG("private_discover::create_socket", "setsockopt error\n");
        return RC_FAIL;
    }
    if (socket->bind(nullptr, m_endpoints.local_port) != 0) {
        TRACE_MSG("private_discover::create_socket", "bind prepare for receiving error\n");
        return RC_FAIL;
    }
    m_recv_socket = std::move(socket);
    return RC_OK;
}

void private_discover::close_socket() { m_recv_socket.reset(); }

std::string private_discover::refresh_address() {
    std::lock_guard<std::mutex> guard(m_refresh_lock);
    return m_refresh_ip;
}

SweepReport private_discover::last_sweep() {
    std::lock_guard<std::mutex> guard(m_refresh_lock);
    return m_last_sweep;
}

// One sweep: a request per local address, each naming that address as the
// place to reply to.
int private_discover::send_request_to_all() {
    std::string card = refresh_address();
    TRACE_MSG("private_discover::send_request_to_all", "create_socket = %s\n", card.c_str());
    SweepReport report;
    report.card = card;
    int rc = RC_OK;
    if (card.empty()) {
        TRACE_MSG("private_discover::send_request_to_all", "no ip\n");
        rc = sweep_every_card(&report);
    } else {
        rc = sweep_from(card, &report);
    }
    std::lock_guard<std::mutex> guard(m_refresh_lock);
    m_last_sweep = report;
    return rc;
}

// A card was chosen: every request leaves from its address.
int private_discover::sweep_from(const std::string& card, SweepReport* report) {
    if (!card_is_up(card)) {
        // Linux lets a socket bound to a card that is down "send": the
        // datagram is dropped at the card without an error.
        TRACE_MSG("private_discover::send_request_to_all", "card %s is not up\n", card.c_str());
        report->failed = m_address_count;
        report->error = ENETDOWN;
        return RC_FAIL;
    }
    std::unique_ptr<SweepSocket> socket = open_sweep_socket(card, report);
    if (!socket) return RC_FAIL;
    for (int i = 0; i < m_address_count && !m_stopping.load(); ++i) {
        send_one_request(socket->socket(), m_addresses[i], m_endpoints.broadcast_address, report);
        pause(kRequestPauseMs);
    }
    return RC_OK;
}

// No card chosen: each request leaves from the address it names, so it goes
// out of that card whether or not the card holds the default route (from the
// wildcard address a limited broadcast follows the default route, and
// without one it cannot be sent at all).
int private_discover::sweep_every_card(SweepReport* report) {
    for (int i = 0; i < m_address_count && !m_stopping.load(); ++i) {
        std::unique_ptr<SweepSocket> socket = open_sweep_socket(m_addresses[i], report);
        if (socket) send_one_request(socket->socket(), m_addresses[i], m_endpoints.broadcast_address, report);
        pause(kRequestPauseMs);
    }
    return RC_OK;
}

// A unicast request needs no card to leave by and no pause between
// requests; a socket bound to the card on a port of its own gives it the
// card's source address, and the replies, sent to the card's reply port,
// reach the receive socket.
int private_discover::request_from(const std::vector<std::string>& addresses) {
    std::string card = refresh_address();
    std::vector<std::string> cards = sending_cards(card);
    if (cards.empty()) TRACE_MSG("private_discover::request_from", "no card is up to send from %s\n", card.c_str());
    SweepReport report;
    report.card = card;
    for (const std::string& from : cards) {
        std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
        if (!socket || socket->bind(from.c_str(), 0) != 0) {
            TRACE_MSG("private_discover::request_from", "cannot send from %s\n", from.c_str());
            continue;
        }
        for (std::size_t i = 0; i < addresses.size() && !m_stopping.load(); ++i)
            send_one_request(socket.get(), from.c_str(), addresses[i], &report);
    }
    return report.sent > 0 ? RC_OK : RC_FAIL;
}

// The sweep's socket: broadcast, address reuse (the receive socket holds the
// local port on the wildcard address), the large receive buffer (replies to
// the card's address arrive here while it is open) and bound to the card.
std::unique_ptr<SweepSocket> private_discover::open_sweep_socket(const std::string& card, SweepReport* report) {
    auto failed = [&](const char* message, int error) -> std::unique_ptr<SweepSocket> {
        TRACE_MSG("private_discover::send_request_to_all", "%s", message);
        report->failed++;
        report->error = error;
        return nullptr;
    };
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) return failed("create a sending socket fail\n", errno);
    if (socket->set_broadcast() != 0 || socket->set_reuse_address() != 0)
        return failed("setsockopt error\n", socket->last_error());
    socket->set_receive_buffer(kReceiveBufferBytes);
    if (socket->bind(card.c_str(), m_endpoints.local_port) != 0)
        return failed("bind prepare for receiving error\n", socket->last_error());
    try {
        return std::make_unique<SweepSocket>(std::move(socket), [this](IUdpSocket* s, const std::atomic<int>& closing) {
            return receive_reply(s, closing);
        });
    } catch (const std::system_error& e) {
        return failed("create a sending socket fail\n", e.code().value());
    }
}

void private_discover::send_one_request(IUdpSocket* socket, const char* server_ip, const std::string& to,
                                        SweepReport* report) {
    DEV_INFO_REQUEST request{};
    dev_copy_text(request.server_ip, DEV_TEXT_SIZE, server_ip);
    request.server_port = m_endpoints.local_port;
    request.connection_type = kConnectionType;
    char body[SEND_BODY_CAPACITY] = {};
    int length = static_cast<int>(SEND_BODY_CAPACITY);
    MSG_REQUEST_DEVICE_INFO message;
    if (message.ToXml(&request, body, &length) != 0) {
        TRACE_MSG("private_discover::send_request_to_all", "the udp data is too long to send\n");
        report->failed++;
        return;
    }
    if (send_datagram(socket, to, CMD_REQUEST_DEVICE_INFO, body, length) > 0) {
        report->sent++;
    } else {
        report->failed++;
        report->error = socket->last_error();
    }
}

void private_discover::pause(std::int64_t ms) {
    const std::int64_t until = rt_clock_ms() + ms;
    while (!m_stopping.load()) {
        std::int64_t left = until - rt_clock_ms();
        if (left <= 0) return;
        rt_sleep_ms(std::min(left, kPauseSliceMs));
    }
}

long private_discover::send_datagram(IUdpSocket* socket, const std::string& to, std::uint32_t command,
                                     const char* body_text, int body_length) {
    char datagram[SEND_BUFFER_SIZE] = {};
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = command;
    head.body_length = static_cast<std::uint32_t>(body_length);
    each_htonl(&head);
    std::memcpy(datagram, &head, sizeof head);
    std::memcpy(datagram + PACKET_HEAD_SIZE, body_text, static_cast<std::size_t>(body_length));
    std::size_t total = PACKET_HEAD_SIZE + static_cast<std::size_t>(body_length);
    long sent = socket->send_to(datagram, total, to.c_str(), m_endpoints.device_port);
    if (sent < 1)
        TRACE_MSG("private_discover::send_datagram", "send fail:[%d, %d], error_code = %d\n", static_cast<int>(sent),
                  body_length, socket->last_error());
    return sent;
}

int private_discover::recv_packet(IUdpSocket* socket) {
    return socket ? receive_reply(socket, m_stopping) : RC_FAIL;
}

int private_discover::receive_reply(IUdpSocket* socket, const std::atomic<int>& closing) {
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
    return receive_datagram(socket, closing, buffer, RECV_MAX_FILL, m_tally, "private_discover::recv_packet",
                            [&](long received, const char* source) { process_datagram(buffer, received, source); });
}

int private_discover::process_datagram(char* buffer, long received, const char* source) {
    PACKET_HEAD head;
    std::memcpy(&head, buffer, sizeof head);
    each_ntohl(&head);
    std::memcpy(buffer, &head, sizeof head);
    if (head.magic != PACKET_MAGIC) {
        TRACE_MSG("private_discover::recv_packet", "magic number error please check [0x%x]\n", head.magic);
        return RC_OK;
    }
    // 64-bit sum: a claimed length near 2^32 must not wrap around.
    const std::int64_t expected = static_cast<std::int64_t>(PACKET_HEAD_SIZE) + head.body_length;
    if (received < expected) {
        TRACE_MSG("private_discover::recv_packet", "received data size is not enough, bytes = %ld should recevied %lld\n",
                  received, static_cast<long long>(expected));
        return RC_OK;
    }
    if (received > expected) TRACE_MSG("private_discover::recv_packet", "recv bad packet, recv = %ld ", received);
    handle_packet(source, buffer);
    return RC_OK;
}

int private_discover::handle_packet(const char* source, char* datagram) {
    PACKET_HEAD head;
    std::memcpy(&head, datagram, sizeof head);
    if (head.command != CMD_DEV_INFO_REPLY) {
        TRACE_MSG("private_discover::handle_packet", "Unhandled command id [%d]\n", static_cast<int>(head.command));
        return RC_OK;
    }
    update_device(source, datagram + PACKET_HEAD_SIZE, head.body_length);
    return RC_OK;
}

int private_discover::update_device(const char* source, const char* body, std::int64_t length) {
    if (body == nullptr || length <= 0) {
        TRACE_POS("private_discover::update_device");
        return RC_INVALID_ARG;
    }
    DEV_INFO record;
    std::memset(&record, 0, sizeof record);
    int size = static_cast<int>(sizeof record);
    MSG_DEV_INFO_REPLY message;
    if (message.ToMe(body, &record, &size) != 0) return RC_FAIL;
    DiscoverRecordCB callback = m_callback.load();
    if (callback == nullptr) return RC_OK;
    if (std::strcmp(source, record.ip_address) != 0) {
        TRACE_MSG("private_discover::update_device", "set dev ip = %s to src ip %s\n", record.ip_address, source);
        dev_copy_text(record.ip_address, DEV_TEXT_SIZE, source);
    } else {
        TRACE_MSG("private_discover::update_device", "dev ip = %s \n", record.ip_address);
    }
    callback(&record, 1, m_context.load());
    return RC_OK;
}

// Sent through the chosen card, or through every card that is up when none
// was chosen (the MAC in the request selects the device). From an unbound
// socket a limited broadcast follows the default route only, and fails
// without one; Linux also "sends" from a card that is down without an error,
// so a chosen card must be up.
int private_discover::send_change_ip_request(const NETWORK_INFO* request) {
    char body[SEND_BODY_CAPACITY] = {};
    int length = static_cast<int>(SEND_BODY_CAPACITY);
    MSG_NETWORK_INFO_REQUEST message;
    if (message.ToXml(request, body, &length) != 0) {
        TRACE_MSG("private_discover::send_change_ip_request", "the udp data is too long to send\n");
        m_change_ip_error.store(EMSGSIZE);
        return RC_FAIL;
    }
    std::string card = refresh_address();
    std::vector<std::string> cards = sending_cards(card);
    if (cards.empty()) {
        TRACE_MSG("private_discover::send_change_ip_request", "no card is up to send from %s\n", card.c_str());
        m_change_ip_error.store(ENETDOWN);
        return RC_FAIL;
    }
    int sent = 0;
    for (const std::string& from : cards) sent += send_change_ip_from(from, body, length) ? 1 : 0;
    return sent > 0 ? RC_OK : RC_FAIL;
}

bool private_discover::send_change_ip_from(const std::string& card, const char* body, int length) {
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) {
        m_change_ip_error.store(errno);
        TRACE_MSG("private_discover::send_change_ip_request", "create a sending socket fail\n");
        return false;
    }
    if (socket->set_broadcast() != 0 || socket->bind(card.c_str(), 0) != 0) {
        m_change_ip_error.store(socket->last_error());
        TRACE_MSG("private_discover::send_change_ip_request", "setsockopt error\n");
        return false;
    }
    if (send_datagram(socket.get(), m_endpoints.broadcast_address, CMD_NETWORK_INFO_REQUEST, body, length) > 0)
        return true;
    m_change_ip_error.store(socket->last_error());
    return false;
}
