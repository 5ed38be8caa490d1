#include "client/socket_io.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/sendfile.h>
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

// send_all with send's flags.
static bool send_flagged(int fd, const void* data, std::size_t length, int flags, std::int64_t deadline_ms) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    while (length > 0) {
        ssize_t n = send(fd, p, length, flags | MSG_NOSIGNAL);
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

bool send_all(int fd, const void* data, std::size_t length, std::int64_t deadline_ms) {
    return send_flagged(fd, data, length, 0, deadline_ms);
}

namespace {

// sendfile has no MSG_NOSIGNAL: the thread holds SIGPIPE back while it
// writes and takes the one its write to a closed peer raised before letting
// signals in again, so that peer is an error code, not the end of the
// caller's process. A thread that held SIGPIPE back already keeps its own.
class SigpipeHeld {
public:
    SigpipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
    }
    ~SigpipeHeld() {
        if (m_raised && !sigismember(&m_before, SIGPIPE)) {
            timespec none{};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    void note(int error) { m_raised = m_raised || error == EPIPE; }

private:
    sigset_t m_pipe, m_before;
    bool m_raised = false;
};

}  // namespace

// The rest of a frame's file bytes through a buffer, for a file that
// sendfile cannot take (a file system without it).
static FileSend send_file_by_copy(int fd, int file, off_t at, std::size_t length, std::int64_t deadline_ms) {
    std::uint8_t buffer[16384];
    while (length > 0) {
        ssize_t n = pread(file, buffer, std::min(length, sizeof buffer), at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return FileSend::file_bad;  // unreadable, or it ends before its bytes
        if (!send_flagged(fd, buffer, static_cast<std::size_t>(n), 0, deadline_ms)) return FileSend::failed;
        at += n;
        length -= static_cast<std::size_t>(n);
    }
    return FileSend::sent;
}

FileSend send_file_all(int fd, const void* head, std::size_t head_length, int file, std::uint64_t offset,
                       std::size_t length, std::int64_t deadline_ms) {
    // MSG_MORE: the head waits for the file's bytes and leaves in their packets.
    if (!send_flagged(fd, head, head_length, MSG_MORE, deadline_ms)) return FileSend::failed;
    off_t at = static_cast<off_t>(offset);
    SigpipeHeld held;
    while (length > 0) {
        ssize_t n = sendfile(fd, file, &at, length);
        if (n > 0) {
            length -= static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return FileSend::file_bad;  // the file ends before its bytes
        held.note(errno);
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (wait_writable(fd, deadline_ms) != 1) return FileSend::failed;
            continue;
        }
        if (errno == EINVAL || errno == ENOSYS) return send_file_by_copy(fd, file, at, length, deadline_ms);
        return errno == EIO ? FileSend::file_bad : FileSend::failed;
    }
    return FileSend::sent;
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
