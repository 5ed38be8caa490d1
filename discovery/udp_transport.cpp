#include "discovery/udp_transport.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool env_is_one(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && std::strcmp(value, "1") == 0;
}

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

    long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) override {
        sockaddr_in sa;
        if (!to_sockaddr(address, port, &sa)) return fail(EINVAL), -1;
        if (sa.sin_addr.s_addr == htonl(INADDR_BROADCAST) && !PosixUdpTransport::broadcast_allowed())
            return fail(EPERM), -1;
        long sent = ::sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        if (sent < 0) fail(errno);
        return sent;
    }

    long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        return receive_with(buffer, size, source, 0);
    }

    long try_receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        return receive_with(buffer, size, source, MSG_DONTWAIT);
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

    long receive_with(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE], int flags) {
        sockaddr_in from;
        socklen_t from_len = sizeof from;
        std::memset(&from, 0, sizeof from);
        long got = ::recvfrom(m_fd, buffer, size, flags, reinterpret_cast<sockaddr*>(&from), &from_len);
        if (got < 0) return fail(errno), -1;
        if (inet_ntop(AF_INET, &from.sin_addr, source, UDP_ADDRESS_SIZE) == nullptr) source[0] = '\0';
        return got;
    }

    int fail(int error) {
        m_error = error;
        return error == 0 ? -1 : error;
    }

    int m_fd;
    int m_error = 0;
};

}  // namespace

PosixUdpTransport::PosixUdpTransport(std::vector<std::string> interfaces) : m_interfaces(std::move(interfaces)) {}

bool PosixUdpTransport::broadcast_allowed() {
    return env_is_one("TERVANE_IN_NETNS") || env_is_one("TERVANE_ALLOW_BROADCAST");
}

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
    for (ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        char text[INET_ADDRSTRLEN];
        auto* sa = reinterpret_cast<sockaddr_in*>(it->ifa_addr);
        if (inet_ntop(AF_INET, &sa->sin_addr, text, sizeof text) != nullptr) addresses->push_back(text);
    }
    freeifaddrs(list);
    return 0;
}
