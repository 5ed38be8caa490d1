#include "sim/onvif/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "client/socket_io.h"
#include "onvif/username_token.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/onvif/http_requests.h"

namespace {

constexpr std::int64_t kPollMs = 100;         // how often the acceptor looks at the cameras
constexpr unsigned kConnectionTimeoutS = 60;  // an idle keep-alive connection is closed

void on_connection(void* cls, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code) {
    auto* server = static_cast<OnvifHttpServer*>(cls);
    if (code == MHD_CONNECTION_NOTIFY_STARTED) server->connection_opened(connection);
    else server->connection_closed(connection);
}

// The local address and port of a connection's socket.
bool local_end(int fd, std::string* ip, std::uint16_t* port) {
    sockaddr_in own{};
    socklen_t length = sizeof own;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) != 0 || own.sin_family != AF_INET) return false;
    char text[INET_ADDRSTRLEN];
    if (inet_ntop(AF_INET, &own.sin_addr, text, sizeof text) == nullptr) return false;
    *ip = text;
    *port = ntohs(own.sin_port);
    return true;
}

int socket_of(MHD_Connection* connection) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
    return info == nullptr ? -1 : info->connect_fd;
}

}  // namespace

OnvifHttpServer::OnvifHttpServer(std::vector<std::shared_ptr<OnvifCamera>> cameras) {
    for (auto& camera : cameras) {
        Listener listener;
        listener.camera = std::move(camera);
        m_listeners.push_back(std::move(listener));
    }
}

OnvifHttpServer::~OnvifHttpServer() { stop(); }

std::string OnvifHttpServer::start() {
    // The digest nonces are made from this seed; a fresh one per run.
    static const std::string seed = onvif::random_bytes(32);
    m_daemon = MHD_start_daemon(
        MHD_USE_NO_LISTEN_SOCKET | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION | MHD_USE_POLL |
            MHD_USE_ITC,
        0, nullptr, nullptr, &onvif_http_request, this, MHD_OPTION_NOTIFY_COMPLETED, &onvif_http_completed, this,
        MHD_OPTION_NOTIFY_CONNECTION, &on_connection, this, MHD_OPTION_CONNECTION_TIMEOUT, kConnectionTimeoutS,
        MHD_OPTION_DIGEST_AUTH_RANDOM, seed.size(), seed.data(), MHD_OPTION_NONCE_NC_SIZE, 4096, MHD_OPTION_END);
    if (m_daemon == nullptr) return "cannot start the HTTP daemon";
    for (Listener& listener : m_listeners) {
        if (!listen_on(listener)) {
            stop();
            return "cannot listen on " + listener.ip + ":" + std::to_string(listener.port);
        }
    }
    m_stop.store(false);
    m_acceptor = std::thread(&OnvifHttpServer::accept_loop, this);
    return "";
}

void OnvifHttpServer::stop() {
    m_stop.store(true);
    if (m_acceptor.joinable()) m_acceptor.join();
    for (Listener& listener : m_listeners) {
        if (listener.fd >= 0) ::close(listener.fd);
        listener.fd = -1;
    }
    if (m_daemon != nullptr) MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
}

bool OnvifHttpServer::listen_on(Listener& listener) {
    CameraIdentity id = listener.camera->identity();
    listener.ip = id.ip;
    listener.port = id.http_port;
    listener.fd = kaltro::listen_tcp(id.ip, id.http_port);
    return listener.fd >= 0;
}

// A camera that moved is listened for at its new address; one that is
// rebooting is not listened for at all, and its connections are cut.
void OnvifHttpServer::follow(Listener& listener) {
    CameraIdentity id = listener.camera->identity();
    bool wanted = listener.camera->online();
    if (listener.fd >= 0 && (!wanted || id.ip != listener.ip || id.http_port != listener.port)) {
        ::close(listener.fd);
        listener.fd = -1;
        if (!wanted) drop_connections_to(listener.ip);
    }
    if (listener.fd >= 0 || !wanted) return;
    if (listen_on(listener)) {
        listener.warned = false;
    } else if (!listener.warned) {
        listener.warned = true;
        TRACE_MSG("OnvifHttpServer::follow", "cannot listen on %s:%u\n", id.ip.c_str(), id.http_port);
    }
}

void OnvifHttpServer::accept_loop() {
    while (!m_stop.load()) {
        std::vector<pollfd> waits;
        std::vector<const Listener*> owners;
        for (Listener& listener : m_listeners) {
            follow(listener);
            if (listener.fd < 0) continue;
            waits.push_back(pollfd{listener.fd, POLLIN, 0});
            owners.push_back(&listener);
        }
        if (poll(waits.data(), waits.size(), kaltro::real_wait_ms(kPollMs)) <= 0) continue;
        for (std::size_t i = 0; i < waits.size(); ++i)
            if (waits[i].revents & POLLIN) accept_from(*owners[i]);
    }
}

void OnvifHttpServer::accept_from(const Listener& listener) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    int fd = accept4(listener.fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
    if (fd < 0) return;
    // The daemon owns the socket from here, and closes it even on failure.
    if (MHD_add_connection(m_daemon, fd, reinterpret_cast<sockaddr*>(&peer), length) != MHD_YES)
        TRACE_MSG("OnvifHttpServer::accept_from", "the daemon refused a connection to %s\n", listener.ip.c_str());
}

std::shared_ptr<OnvifCamera> OnvifHttpServer::camera_of(MHD_Connection* connection) const {
    std::string ip;
    std::uint16_t port = 0;
    if (!local_end(socket_of(connection), &ip, &port)) return nullptr;
    for (const Listener& listener : m_listeners) {
        CameraIdentity id = listener.camera->identity();
        if (id.ip == ip && id.http_port == port) return listener.camera;
    }
    return nullptr;
}

void OnvifHttpServer::connection_opened(MHD_Connection* connection) {
    int fd = socket_of(connection);
    std::string ip;
    std::uint16_t port = 0;
    if (!local_end(fd, &ip, &port)) return;
    std::lock_guard<std::mutex> guard(m_lock);
    m_connections[connection] = {fd, ip};
}

void OnvifHttpServer::connection_closed(MHD_Connection* connection) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_connections.erase(connection);
}

// As a reboot does. The daemon still owns the sockets and closes them once
// it sees them shut (it tells connection_closed before it does, under the
// same lock, so no socket is shut after its number was given out again).
void OnvifHttpServer::drop_connections_to(const std::string& ip) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [connection, end] : m_connections)
        if (end.second == ip) ::shutdown(end.first, SHUT_RDWR);
}
