#include "sim/discovery_responder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "discovery/dev_info.h"
#include "discovery/xml_message.h"
#include "runtime/trace.h"

#include <arpa/inet.h>

namespace {

bool is_ipv4(const char* text) {
    in_addr parsed{};
    return inet_pton(AF_INET, text, &parsed) == 1;
}

bool empty_or_ipv4(const char* text) { return text[0] == '\0' || is_ipv4(text); }

}  // namespace

DiscoveryResponder::DiscoveryResponder(Simulator& simulator, IUdpTransport* transport)
    : m_simulator(simulator), m_transport(transport) {}

DiscoveryResponder::~DiscoveryResponder() { stop(); }

std::string DiscoveryResponder::start() {
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket) return std::string("socket: ") + std::strerror(errno);
    socket->set_reuse_address();
    socket->set_broadcast();
    const SimOptions& o = m_simulator.options();
    if (int error = socket->bind(o.discovery_address.c_str(), o.discovery_port); error != 0)
        return "bind " + o.discovery_address + ":" + std::to_string(o.discovery_port) + ": " + std::strerror(error);
    m_socket = std::move(socket);
    m_running.store(1);
    m_thread = std::thread(&DiscoveryResponder::run, this);
    return "";
}

void DiscoveryResponder::stop() {
    if (!m_running.exchange(0)) return;
    m_socket->shutdown();
    if (m_thread.joinable()) m_thread.join();
    m_socket.reset();
}

void DiscoveryResponder::run() {
    char buffer[RECV_BUFFER_SIZE + XML_PAD_BYTES];
    char source[UDP_ADDRESS_SIZE];
    while (m_running.load()) {
        std::memset(buffer, 0, sizeof buffer);
        long received = m_socket->receive(buffer, RECV_MAX_FILL, source);
        if (received <= 0) {
            if (m_running.load()) TRACE_MSG("DiscoveryResponder::run", "receive failed %d\n", m_socket->last_error());
            return;
        }
        handle(buffer, received, source);
    }
}

void DiscoveryResponder::handle(char* buffer, long received, const char* /*source*/) {
    if (received < static_cast<long>(PACKET_HEAD_SIZE)) return;
    PACKET_HEAD head;
    std::memcpy(&head, buffer, sizeof head);
    each_ntohl(&head);
    if (head.magic != PACKET_MAGIC) return;
    if (received < static_cast<long long>(PACKET_HEAD_SIZE) + head.body_length) return;
    const char* body = buffer + PACKET_HEAD_SIZE;
    if (head.command == CMD_REQUEST_DEVICE_INFO) answer_request(body);
    if (head.command == CMD_NETWORK_INFO_REQUEST) change_ip(body);
}

void DiscoveryResponder::answer_request(const char* body) {
    DEV_INFO_REQUEST request{};
    int size = sizeof request;
    MSG_REQUEST_DEVICE_INFO message;
    if (message.ToMe(body, &request, &size) != 0 || request.server_ip[0] == '\0') return;
    for (const auto& camera : m_simulator.cameras()) {
        CameraIdentity id = camera->identity();
        if (camera->online() && id.speaks_native()) send_reply(id, request.server_ip, request.server_port);
    }
}

void DiscoveryResponder::change_ip(const char* body) {
    NETWORK_INFO request{};
    int size = sizeof request;
    MSG_NETWORK_INFO_REQUEST message;
    if (message.ToMe(body, &request, &size) != 0) return;
    std::shared_ptr<SimCamera> camera = m_simulator.find_by_mac(request.dev_mac);
    if (!camera || !camera->online() || !camera->identity().speaks_native() || request.new_dev_ip[0] == '\0') return;
    // A camera refuses an address it could not take, as a real one does,
    // rather than going off the LAN under a name that is no address.
    if (!is_ipv4(request.new_dev_ip) || !empty_or_ipv4(request.new_dev_submask) ||
        !empty_or_ipv4(request.new_dev_gateway)) {
        std::fprintf(stderr, "ipcsim: %s refused a malformed address change\n", request.dev_mac);
        return;
    }
    camera->update([&](CameraIdentity& id) {
        id.ip = request.new_dev_ip;
        id.mask = request.new_dev_submask;
        id.gateway = request.new_dev_gateway;
        // A port of 0 (or out of range) would make the camera unreachable: keep the old one.
        auto port = [](std::int32_t value, std::uint16_t old) {
            return value > 0 && value <= 0xFFFF ? static_cast<std::uint16_t>(value) : old;
        };
        id.cmd_port = port(request.new_dev_cmdport, id.cmd_port);
        id.media_port = port(request.new_dev_mediaport, id.media_port);
        id.phone_port = port(request.new_dev_mobileport, id.phone_port);
        id.http_port = port(request.new_dev_httpport, id.http_port);
    });
    std::fprintf(stderr, "ipcsim: %s now at %s\n", request.dev_mac, request.new_dev_ip);
}

void DiscoveryResponder::send_reply(const CameraIdentity& id, const char* server_ip, std::uint16_t server_port) {
    DEV_INFO info;
    std::memset(&info, 0, sizeof info);
    dev_copy_text(info.mac_address, DEV_TEXT_SIZE, id.mac.c_str());
    dev_copy_text(info.ip_address, DEV_TEXT_SIZE, m_simulator.claimed_ip(id).c_str());
    dev_copy_text(info.master_ip, DEV_TEXT_SIZE, "0.0.0.0");
    dev_copy_text(info.subnet_mask, DEV_TEXT_SIZE, id.mask.c_str());
    dev_copy_text(info.gateway, DEV_TEXT_SIZE, id.gateway.c_str());
    dev_copy_text(info.software_ver, DEV_TEXT_SIZE, id.version.c_str());
    info.cmd_port = id.cmd_port;
    info.media_port = id.media_port;
    info.http_port = id.http_port;
    info.phone_port = id.phone_port;
    info.ipc_type = id.ipc_type;
    info.board_type = id.board_type;
    info.device_type = id.device_type;

    char datagram[SEND_BUFFER_SIZE] = {};
    int length = static_cast<int>(SEND_BODY_CAPACITY);
    MSG_DEV_INFO_REPLY message;
    if (message.ToXml(&info, datagram + PACKET_HEAD_SIZE, &length) != 0) return;
    PACKET_HEAD head{};
    head.magic = PACKET_MAGIC;
    head.command = CMD_DEV_INFO_REPLY;
    head.body_length = static_cast<std::uint32_t>(length);
    each_htonl(&head);
    std::memcpy(datagram, &head, sizeof head);

    // Sent from the camera's own address, as a real device on the LAN would.
    std::unique_ptr<IUdpSocket> socket = m_transport->open_udp();
    if (!socket || socket->bind(id.ip.c_str(), 0) != 0) {
        TRACE_MSG("DiscoveryResponder::send_reply", "cannot send from %s\n", id.ip.c_str());
        return;
    }
    if (socket->send_to(datagram, PACKET_HEAD_SIZE + static_cast<std::size_t>(length), server_ip, server_port) > 0)
        m_replies.fetch_add(1);
}
