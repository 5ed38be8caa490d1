#include "sim/device_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/socket_io.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/device_session.h"

namespace {
constexpr std::int64_t kPollMs = 100;       // how often idle loops look at their stop flags
constexpr std::int64_t kIdleMs = 60000;     // a client silent this long is gone
constexpr std::int64_t kWriteMs = 10000;
}  // namespace

DeviceServer::DeviceServer(std::shared_ptr<SimCamera> camera, const DeviceSideOptions& options)
    : m_camera(camera), m_state(camera, options), m_reboot_ms(options.reboot_ms), m_bench_port(options.bench_port) {}

DeviceServer::~DeviceServer() { stop(); }

std::vector<std::uint16_t> DeviceServer::ports() const {
    std::vector<std::uint16_t> ports{m_camera->identity().cmd_port};
    if (m_bench_port != 0 && m_bench_port != ports.front()) ports.push_back(m_bench_port);
    return ports;
}

// All or nothing: a camera half reachable would only confuse a test.
std::string DeviceServer::bind_listeners() {
    CameraIdentity id = m_camera->identity();
    m_bound_ip = id.ip;
    m_bound_port = id.cmd_port;
    for (std::uint16_t port : ports()) {
        int fd = kaltro::listen_tcp(id.ip, port);
        if (fd < 0) {
            close_listeners();
            return "cannot listen on " + id.ip + ":" + std::to_string(port);
        }
        m_listen_fds.push_back(fd);
    }
    return "";
}

void DeviceServer::close_listeners() {
    for (int fd : m_listen_fds) ::close(fd);
    m_listen_fds.clear();
}

std::string DeviceServer::start() {
    if (std::string error = bind_listeners(); !error.empty()) return error;
    m_stop.store(false);
    m_acceptor = std::thread(&DeviceServer::accept_loop, this);
    return "";
}

void DeviceServer::stop() {
    if (m_stop.exchange(true)) return;
    if (m_acceptor.joinable()) m_acceptor.join();
    kill_connections();
    reap(true);
    close_listeners();
}

void DeviceServer::kill_connections() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& connection : m_connections) shutdown(connection->fd, SHUT_RDWR);
}

void DeviceServer::reap(bool all) {
    std::list<std::unique_ptr<Connection>> done;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if (all || (*it)->finished.load()) {
                done.push_back(std::move(*it));
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : done) {
        if (connection->thread.joinable()) connection->thread.join();
        ::close(connection->fd);
    }
}

void DeviceServer::accept_loop() {
    while (!m_stop.load()) {
        if (m_reboot_requested.exchange(false)) reboot();
        reap(false);
        CameraIdentity id = m_camera->identity();
        // A change-IP request moves the camera: follow it to the new address.
        if (!m_listen_fds.empty() && (id.ip != m_bound_ip || id.cmd_port != m_bound_port)) {
            close_listeners();
            bind_listeners();
        }
        // Offline by another side of the camera (its ONVIF upgrade's reboot):
        // refuse connections as a rebooting camera does.
        if (!m_camera->online() && !m_listen_fds.empty()) {
            close_listeners();
            kill_connections();
        }
        if (m_listen_fds.empty() && m_camera->online()) bind_listeners();  // address was busy: try again
        if (m_listen_fds.empty() || !m_camera->online()) {
            rt_sleep_ms(kPollMs);
            continue;
        }
        wait_and_accept();
    }
}

void DeviceServer::wait_and_accept() {
    std::vector<pollfd> waits;
    for (int fd : m_listen_fds) waits.push_back(pollfd{fd, POLLIN, 0});
    if (poll(waits.data(), waits.size(), kaltro::real_wait_ms(kPollMs)) <= 0) return;
    for (const pollfd& wait : waits)
        if (wait.revents & POLLIN) accept_one(wait.fd);
}

void DeviceServer::accept_one(int listen_fd) {
    int fd = accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    auto connection = std::make_unique<Connection>();
    connection->fd = fd;
    Connection& ref = *connection;
    std::lock_guard<std::mutex> guard(m_lock);
    m_connections.push_back(std::move(connection));
    ref.thread = std::thread(&DeviceServer::serve, this, std::ref(ref));
}

void DeviceServer::serve(Connection& connection) {
    int fd = connection.fd;
    bool writable = true;
    DeviceSession session(m_state, [fd, &writable](const std::vector<std::uint8_t>& bytes) {
        if (writable) writable = kaltro::send_all(fd, bytes.data(), bytes.size(), rt_clock_ms() + kWriteMs);
    });
    std::int64_t last_rx = rt_clock_ms();
    std::vector<std::uint8_t> buffer(256 * 1024);  // room for several upgrade pieces per read
    DeviceSession::Verdict verdict = DeviceSession::Verdict::keep;
    while (verdict == DeviceSession::Verdict::keep && writable && !m_stop.load()) {
        // A client that stopped reading a stream is caught by the write deadline.
        if (!session.streaming() && rt_clock_ms() - last_rx > kIdleMs) break;
        int ready = kaltro::wait_readable(fd, session.wait_ms(kPollMs * 10));
        if (ready < 0) break;
        session.on_tick();
        if (ready == 0) continue;
        long n = kaltro::read_some(fd, buffer.data(), buffer.size());
        if (n == -2) continue;
        if (n <= 0) break;
        last_rx = rt_clock_ms();
        verdict = session.on_bytes(buffer.data(), static_cast<std::size_t>(n));
    }
    if (verdict == DeviceSession::Verdict::reboot) m_reboot_requested.store(true);
    shutdown(fd, SHUT_RDWR);
    connection.finished.store(true);
}

void DeviceServer::reboot() {
    std::string version = m_state.take_pending_version();
    TRACE_MSG("DeviceServer::reboot", "%s reboots into %s\n", m_camera->identity().mac.c_str(), version.c_str());
    m_camera->set_online(false);
    close_listeners();
    kill_connections();
    reap(true);
    for (std::int64_t waited = 0; waited < m_reboot_ms && !m_stop.load(); waited += kPollMs) rt_sleep_ms(kPollMs);
    if (!version.empty()) m_camera->update([&](CameraIdentity& id) { id.version = version; });
    if (m_state.never_come_back()) return;  // stays offline with no listener
    bind_listeners();
    m_camera->set_online(true);
}
