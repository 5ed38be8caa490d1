#include "tests/rtsp/fake_rtsp_camera.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/socket_io.h"

namespace {

std::string header_value(const std::string& head, const std::string& name) {
    const std::size_t at = head.find("\r\n" + name + ":");
    if (at == std::string::npos) return "";
    std::size_t start = at + name.size() + 3;
    while (start < head.size() && head[start] == ' ') ++start;
    return head.substr(start, head.find("\r\n", start) - start);
}

}  // namespace

FakeRtspCamera::FakeRtspCamera(const std::string& address, Script script) : m_script(std::move(script)) {
    m_listener = kaltro::listen_tcp(address, 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    if (m_listener >= 0 && getsockname(m_listener, reinterpret_cast<sockaddr*>(&bound), &length) == 0)
        m_port = ntohs(bound.sin_port);
    m_thread = std::thread(&FakeRtspCamera::run, this);
}

FakeRtspCamera::~FakeRtspCamera() {
    m_stop.store(true);
    m_thread.join();
    if (m_listener >= 0) close(m_listener);
}

std::vector<std::string> FakeRtspCamera::requests() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_requests;
}

std::string FakeRtspCamera::reply(const std::string& status, const std::string& cseq, const std::string& headers) {
    return "RTSP/1.0 " + status + "\r\nCSeq: " + cseq + "\r\n" + headers + "Content-Length: 0\r\n\r\n";
}

// One connection at a time is all a single client needs.
void FakeRtspCamera::run() {
    while (!m_stop.load() && m_listener >= 0) {
        pollfd p{m_listener, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const int fd = accept(m_listener, nullptr, nullptr);
        if (fd < 0) continue;
        m_connections++;
        serve(fd);
        close(fd);
    }
}

void FakeRtspCamera::serve(int fd) {
    std::string pending;
    char buffer[4096];
    while (!m_stop.load()) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        const long n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find("\r\n\r\n")) != std::string::npos;) {
            const std::string head = "\r\n" + pending.substr(0, end + 2);
            pending.erase(0, end + 4);
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_requests.push_back(head.substr(2));
            }
            const std::string answer = m_script(head.substr(2, head.find(' ') - 2), header_value(head, "CSeq"));
            if (!answer.empty() && write(fd, answer.data(), answer.size()) < 0) return;
        }
    }
}
