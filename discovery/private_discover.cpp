#include "discovery/private_discover.h"

#include <cstring>

#include "discovery/xml_message.h"
#include "runtime/result_codes.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

// While a sweep pauses, its socket is polled this often for replies, taking
// at most a batch each time so that a flood cannot hold the sweep (and a
// caller stopping it) past its pause.
constexpr std::int64_t kDrainSliceMs = 10;
constexpr int kDrainBatch = 256;

}  // namespace

private_discover::private_discover(IUdpTransport* transport, DiscoveryEndpoints endpoints)
    : m_endpoints(std::move(endpoints)), m_transport(transport) {}

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
        debug_print("bind refresh_ip = %s\n", address);
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
    std::vector<std::string> found;
    if (m_transport->list_ipv4_addresses(&found) != 0) {
        TRACE_POS("private_discover::get_host_ip");
        return RC_FAIL;
    }
    if (found.size() > static_cast<std::size_t>(kMaxAddresses)) found.resize(kMaxAddresses);
    for (const std::string& address : found) {
        if (address == "127.0.0.1") continue;
        bool known = false;
        for (int i = 0; i < m_address_count && !known; ++i) known = address == m_addresses[i];
        if (!known) dev_copy_text(m_addresses[m_address_count++], DEV_TEXT_SIZE, address.c_str());
    }
    return RC_OK;
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

// One sweep: a request per local address, all from one socket bound to the
// chosen card's address and the local port.
int private_discover::send_request_to_all() {
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) {
        TRACE_MSG("private_discover::send_request_to_all", "create a sending socket fail\n");
        return RC_FAIL;
    }
    // Address reuse lets this socket share the local port with the receive
    // socket, which holds it on the wildcard address.
    if (socket->set_broadcast() != 0 || socket->set_reuse_address() != 0) {
        TRACE_MSG("private_discover::send_request_to_all", "setsockopt error\n");
        return RC_FAIL;
    }
    std::string card = refresh_address();
    TRACE_MSG("private_discover::send_request_to_all", "create_socket = %s\n", card.c_str());
    if (card.empty()) TRACE_MSG("private_discover::send_request_to_all", "no ip\n");
    if (socket->bind(card.c_str(), m_endpoints.local_port) != 0) {
        TRACE_MSG("private_discover::send_request_to_all", "bind prepare for receiving error\n");
        return RC_FAIL;
    }
    for (int i = 0; i < m_address_count && !m_stopping.load(); ++i) {
        send_one_request(socket.get(), m_addresses[i]);
        pause_and_drain(socket.get(), kRequestPauseMs);
    }
    drain(socket.get());
    return RC_OK;
}

int private_discover::send_one_request(IUdpSocket* socket, const char* server_ip) {
    DEV_INFO_REQUEST request{};
    dev_copy_text(request.server_ip, DEV_TEXT_SIZE, server_ip);
    request.server_port = m_endpoints.local_port;
    request.connection_type = kConnectionType;
    char body[SEND_BODY_CAPACITY] = {};
    int length = static_cast<int>(SEND_BODY_CAPACITY);
    MSG_REQUEST_DEVICE_INFO message;
    if (message.ToXml(&request, body, &length) != 0) {
        TRACE_MSG("private_discover::send_request_to_all", "the udp data is too long to send\n");
        return RC_FAIL;
    }
    send_datagram(socket, CMD_REQUEST_DEVICE_INFO, body, length);
    return RC_OK;
}

long private_discover::send_datagram(IUdpSocket* socket, std::uint32_t command, const char* body_text,
                                     int body_length) {
    char datagram[SEND_BUFFER_SIZE] = {};
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = command;
    head.body_length = static_cast<std::uint32_t>(body_length);
    each_htonl(&head);
    std::memcpy(datagram, &head, sizeof head);
    std::memcpy(datagram + PACKET_HEAD_SIZE, body_text, static_cast<std::size_t>(body_length));
    std::size_t total = PACKET_HEAD_SIZE + static_cast<std::size_t>(body_length);
    long sent = socket->send_to(datagram, total, m_endpoints.broadcast_address.c_str(), m_endpoints.device_port);
    if (sent < 1)
        TRACE_MSG("private_discover::send_datagram", "send fail:[%d, %d], error_code = %d\n", static_cast<int>(sent),
                  body_length, socket->last_error());
    return sent;
}

// The sweep's socket holds the local port on a specific address, and Linux
// hands a unicast reply to the most specific bind: replies that devices send
// to that address while the sweep runs arrive here, not at the receive
// socket. The pause after each request therefore feeds them into the same
// receive path.
void private_discover::pause_and_drain(IUdpSocket* socket, std::int64_t ms) {
    const std::int64_t until = rt_clock_ms() + ms;
    while (!m_stopping.load()) {
        drain(socket);
        std::int64_t left = until - rt_clock_ms();
        if (left <= 0) return;
        rt_sleep_ms(left < kDrainSliceMs ? left : kDrainSliceMs);
    }
}

void private_discover::drain(IUdpSocket* socket) {
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES];
    char source[UDP_ADDRESS_SIZE];
    for (int i = 0; i < kDrainBatch && !m_stopping.load(); ++i) {
        std::memset(buffer, 0, sizeof buffer);
        long received = socket->try_receive(buffer, RECV_MAX_FILL, source);
        if (received <= 0) return;
        process_datagram(buffer, received, source);
    }
}

int private_discover::recv_packet(IUdpSocket* socket) {
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES] = {};
    char source[UDP_ADDRESS_SIZE] = {};
    long received = socket ? socket->receive(buffer, RECV_MAX_FILL, source) : -1;
    if (received <= 0) {
        TRACE_MSG("private_discover::recv_packet", "recvfrom error\n");
        return RC_FAIL;
    }
    return process_datagram(buffer, received, source);
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

int private_discover::send_change_ip_request(const NETWORK_INFO* request) {
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) {
        TRACE_MSG("private_discover::send_change_ip_request", "create a sending socket fail\n");
        return RC_FAIL;
    }
    if (socket->set_broadcast() != 0) {
        TRACE_MSG("private_discover::send_change_ip_request", "setsockopt error\n");
        return RC_FAIL;
    }
    char body[SEND_BODY_CAPACITY] = {};
    int length = static_cast<int>(SEND_BODY_CAPACITY);
    MSG_NETWORK_INFO_REQUEST message;
    if (message.ToXml(request, body, &length) != 0) {
        TRACE_MSG("private_discover::send_change_ip_request", "the udp data is too long to send\n");
        return RC_FAIL;
    }
    send_datagram(socket.get(), CMD_NETWORK_INFO_REQUEST, body, length);
    return RC_OK;
}
