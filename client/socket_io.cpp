#include "client/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>

#include "client/call_abort.h"
#include "runtime/rt_time.h"

namespace kaltro {

int real_wait_ms(std::int64_t system_ms) {
    if (system_ms <= 0) return 0;
    double real = std::ceil(static_cast<double>(system_ms) / rt_time_speed());
    return static_cast<int>(std::min(real, 60000.0));
}

void set_nonblocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL, 0) | O_NONBLOCK); }

static bool make_address(const std::string& ip, std::uint16_t port, sockaddr_in& addr) {
    addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    return inet_pton(AF_INET, ip.c_str(), &addr.sin_addr) == 1;
}

// Gives up at the deadline, or when the calling thread's caller is stopping.
static int wait_writable(int fd, std::int64_t deadline_ms) {
    for (;;) {
        std::int64_t left = deadline_ms - rt_clock_ms();
        if (left <= 0 || call_aborted()) return 0;
        pollfd p{fd, POLLOUT, 0};
        int r = poll(&p, 1, std::min(real_wait_ms(left), 100));
        if (r > 0) return (p.revents & (POLLERR | POLLHUP | POLLNVAL)) && !(p.revents & POLLOUT) ? -1 : 1;
        if (r < 0 && errno != EINTR) return -1;
    }
}

int connect_tcp(const std::string& ip, std::uint16_t port, std::int64_t timeout_ms) {
    sockaddr_in addr;
    if (!make_address(ip, port, addr)) return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    set_nonblocking(fd);
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    std::int64_t deadline = rt_clock_ms() + timeout_ms;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
        int err = 0;
        socklen_t len = sizeof(err);
        if (errno != EINPROGRESS || wait_writable(fd, deadline) != 1 ||
            getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
            close(fd);
            return -1;
        }
    }
    return fd;
}

int listen_tcp(const std::string& ip, std::uint16_t port) {
    sockaddr_in addr;
    if (!make_address(ip, port, addr)) return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(fd, 64) != 0) {
        close(fd);
        return -1;
    }
    set_nonblocking(fd);
    return fd;
}

bool send_all(int fd, const void* data, std::size_t length, std::int64_t deadline_ms) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        ssize_t n = send(fd, p, length, MSG_NOSIGNAL);
        if (n > 0) {
            p += n;
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (wait_writable(fd, deadline_ms) != 1) return false;
            continue;
        }
        return false;
    }
    return true;
}

bool send_all2(int fd, const void* head, std::size_t head_length, const void* body, std::size_t body_length,
               std::int64_t deadline_ms) {
    iovec parts[2] = {{const_cast<void*>(head), head_length}, {const_cast<void*>(body), body_length}};
    int first = 0;
    while (first < 2) {
        msghdr message{};
        message.msg_iov = parts + first;
        message.msg_iovlen = static_cast<std::size_t>(2 - first);
        ssize_t n = sendmsg(fd, &message, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (wait_writable(fd, deadline_ms) != 1) return false;
            continue;
        }
        if (n < 0) return false;
        // Skip what went out, part by part.
        auto sent = static_cast<std::size_t>(n);
        while (first < 2 && sent >= parts[first].iov_len) sent -= parts[first++].iov_len;
        if (first < 2) {
            parts[first].iov_base = static_cast<std::uint8_t*>(parts[first].iov_base) + sent;
            parts[first].iov_len -= sent;
        }
    }
    return true;
}

int wait_readable(int fd, std::int64_t system_ms) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, real_wait_ms(system_ms));
    if (r < 0) return errno == EINTR ? 0 : -1;
    if (r == 0) return 0;
    return (p.revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : -1;
}

long read_some(int fd, void* buffer, std::size_t length) {
    ssize_t n = recv(fd, buffer, length, 0);
    if (n >= 0) return static_cast<long>(n);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return -2;
    return -1;
}

}  // namespace kaltro
