#include "discovery/udp_transport.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "discovery/netns_guard.h"

namespace {

bool to_sockaddr(const char* address, std::uint16_t port, sockaddr_in* out) {
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(port);
    if (address == nullptr || address[0] == '\0') {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, address, &out->sin_addr) == 1;
}

class PosixUdpSocket : public IUdpSocket {
public:
    explicit PosixUdpSocket(int fd) : m_fd(fd) {}
    ~PosixUdpSocket() override { ::close(m_fd); }

    int set_reuse_address() override { return set_int(SO_REUSEADDR, 1); }
    int set_receive_buffer(int bytes) override { return set_int(SO_RCVBUF, bytes); }
    int set_broadcast() override { return set_int(SO_BROADCAST, 1); }

    int bind(const char* address, std::uint16_t port) override {
        sockaddr_in sa;
        if (!to_sockaddr(address, port, &sa)) return fail(EINVAL);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) return fail(errno);
        return 0;
    }

    int set_multicast_interface(const char* address) override {
        in_addr card{};
        if (address == nullptr || inet_pton(AF_INET, address, &card) != 1) return fail(EINVAL);
        if (::setsockopt(m_fd, IPPROTO_IP, IP_MULTICAST_IF, &card, sizeof card) != 0) return fail(errno);
        return 0;
    }

    long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) override {
        sockaddr_in sa;
        if (!to_sockaddr(address, port, &sa)) return fail(EINVAL), -1;
        if (netns_guard_refuses(sa.sin_addr)) return fail(EPERM), -1;
        long sent = ::sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (sent < 0) fail(errno);
        return sent;
    }

    long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        sockaddr_in from;
        socklen_t from_len = sizeof from;
        std::memset(&from, 0, sizeof from);
        long got = ::recvfrom(m_fd, buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &from_len);
        if (got < 0) return fail(errno), -1;
        if (inet_ntop(AF_INET, &from.sin_addr, source, UDP_ADDRESS_SIZE) == nullptr) source[0] = '\0';
        return got;
    }

    // A connected UDP socket hears only its peer, so connecting this one to
    // the discard port of its own address takes it out of the delivery of
    // everything else, while its queue stays as it is.
    int stop_arrivals() override {
        sockaddr_in own;
        socklen_t length = sizeof own;
        if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&own), &length) != 0) return fail(errno);
        if (own.sin_addr.s_addr == htonl(INADDR_ANY)) own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        own.sin_port = htons(9);
        if (::connect(m_fd, reinterpret_cast<sockaddr*>(&own), sizeof own) != 0) return fail(errno);
        return 0;
    }

    // Closing a descriptor does not wake a thread blocked on it under Linux;
    // shutting it down does (the receive returns 0).
    void shutdown() override { ::shutdown(m_fd, SHUT_RDWR); }

    int last_error() const override { return m_error; }

private:
    int set_int(int option, int value) {
        if (::setsockopt(m_fd, SOL_SOCKET, option, &value, sizeof value) != 0) return fail(errno);
        return 0;
    }

    int fail(int error) {
        m_error = error;
        return error == 0 ? -1 : error;
    }

    int m_fd;
    std::atomic<int> m_error{0};  // written by a receiving thread and the one closing the socket
};

}  // namespace

PosixUdpTransport::PosixUdpTransport(std::vector<std::string> interfaces) : m_interfaces(std::move(interfaces)) {}

std::unique_ptr<IUdpSocket> PosixUdpTransport::open_udp() {
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixUdpSocket>(fd);
}

int PosixUdpTransport::list_ipv4_addresses(std::vector<std::string>* addresses) {
    if (!m_interfaces.empty()) {
        *addresses = m_interfaces;
        return 0;
    }
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return 1;
    *addresses = up_ipv4_addresses(list);
    freeifaddrs(list);
    return 0;
}

// A card that is down keeps its address, and a socket bound to it can still
// "send" (the datagram is dropped at the card), so only cards that are up
// count.
std::vector<std::string> up_ipv4_addresses(const ifaddrs* list) {
    std::vector<std::string> addresses;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
        char text[INET_ADDRSTRLEN];
        const auto* sa = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
        if (inet_ntop(AF_INET, &sa->sin_addr, text, sizeof text) != nullptr) addresses.push_back(text);
    }
    return addresses;
}
