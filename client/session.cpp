#include "client/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "client/call_abort.h"
#include "client/login_auth.h"
#include "client/socket_io.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace kaltro {

Session::Session(int fd, SessionTiming timing, EventDispatcher& dispatcher)
    : m_fd(fd),
      m_timing(timing),
      m_dispatcher(dispatcher),
      m_last_rx(rt_clock_ms()),
      m_router([this](const DEVICE_EVENT& event) {
          if (m_events->push(event)) m_dispatcher.schedule(m_events);
      }) {
    m_reader = std::thread(&Session::reader_loop, this);
}

Session::~Session() {
    close();
    // Closed only here, when no caller can hold the session any more: a
    // number closed earlier could be reused by another socket under a
    // caller's late write.
    ::close(m_fd);
}

std::int32_t Session::open(const std::string& ip, std::uint16_t port, const std::string& user,
                           const std::string& password, const SessionTiming& timing, EventDispatcher& dispatcher,
                           std::unique_ptr<Session>& out) {
    int fd = connect_tcp(ip, port, timing.connect_ms);
    if (fd < 0) {
        TRACE_MSG("kaltro::Session::open", "connect %s:%u failed\n", ip.c_str(), port);
        return NETWORK_ERR_NETWORK;
    }
    auto session = std::make_unique<Session>(fd, timing, dispatcher);
    std::int32_t result = session->login(user, password);
    if (result != NETWORK_OK) {
        TRACE_MSG("kaltro::Session::open", "login to %s:%u refused: %d\n", ip.c_str(), port, result);
        return result;  // the destructor closes the connection quietly
    }
    out = std::move(session);
    return NETWORK_OK;
}

std::int32_t Session::login(const std::string& user, const std::string& password) {
    Response begin;
    std::int32_t result = request(MSG_LOGIN_BEGIN, ByteWriter().text(user).data(), begin);
    if (result != NETWORK_OK) return result;
    if (begin.payload.size() != kNonceSize) return NETWORK_ERR_PROTOCOL;
    Nonce device_nonce, client_nonce;
    std::memcpy(device_nonce.data(), begin.payload.data(), kNonceSize);
    if (!make_nonce(client_nonce)) return NETWORK_ERR_FAIL;
    Proof proof = login_proof(password, device_nonce, client_nonce, user);
    ByteWriter body;
    body.bytes(client_nonce.data(), client_nonce.size()).bytes(proof.data(), proof.size());
    Response done;
    result = request(MSG_LOGIN_PROOF, body.data(), done);
    if (result != NETWORK_OK) return result;
    // The device proves the password in turn. One that cannot is not the
    // camera the caller means (a host answering in its place): refused like
    // a wrong password, and the connection closed unused.
    if (!device_proof_valid(password, client_nonce, device_nonce, user, done.payload.data(), done.payload.size())) {
        TRACE_MSG("kaltro::Session::login", "the device did not prove the password\n");
        return NETWORK_ERR_PASSWORD;
    }
    m_logged_in.store(true);
    return NETWORK_OK;
}

void Session::bind(std::int32_t handle) {
    m_handle.store(handle);
    m_events->bind(handle);
}

void Session::set_event_callback(NETWORK_EVENT_CB callback, void* user) {
    if (m_events->set(callback, user)) m_dispatcher.schedule(m_events);
}

bool Session::write_frame(const FrameHeader& header, const std::uint8_t* payload, std::size_t length) {
    if (!m_connected.load()) return false;
    std::uint8_t head[kHeaderSize];
    encode_header(head, header, length);
    std::lock_guard<std::mutex> guard(m_write_lock);
    if (!send_all2(m_fd, head, sizeof(head), payload, length, rt_clock_ms() + m_timing.write_ms)) {
        drop("write failed or timed out");
        return false;
    }
    return true;
}

std::int32_t Session::request(std::uint16_t type, const std::vector<std::uint8_t>& payload, Response& out) {
    if (call_aborted()) return NETWORK_ERR_NETWORK;  // nothing new for a caller that is stopping
    FrameHeader header;
    header.type = type;
    header.request_id = m_router.expect();
    if (header.request_id == 0) return NETWORK_ERR_NETWORK;
    bool sent = write_frame(header, payload.data(), payload.size());
    std::int32_t result = m_router.wait(header.request_id, rt_clock_ms() + m_timing.request_ms, out);
    // A device that does not answer cannot be trusted to answer later
    // requests in order either: give the login up. So also when the caller
    // stopped waiting: its answer could still come, to nobody.
    if (sent && result == NETWORK_ERR_TIMEOUT) {
        bool given_up = call_aborted();
        drop(given_up ? "request given up: the caller is stopping" : "request timed out");
        if (given_up) result = NETWORK_ERR_NETWORK;
    }
    return result;
}

bool Session::send_unanswered(std::uint16_t type, const std::uint8_t* payload, std::size_t length) {
    FrameHeader header;
    header.type = type;
    return write_frame(header, payload, length);
}

FileSend Session::send_unanswered_from_file(std::uint16_t type, const std::uint8_t* prefix,
                                            std::size_t prefix_length, int file, std::uint64_t offset,
                                            std::size_t length) {
    if (!m_connected.load()) return FileSend::failed;
    FrameHeader header;
    header.type = type;
    std::uint8_t head[kHeaderSize + 16];
    if (prefix_length > sizeof(head) - kHeaderSize) return FileSend::failed;
    encode_header(head, header, prefix_length + length);
    std::memcpy(head + kHeaderSize, prefix, prefix_length);
    std::lock_guard<std::mutex> guard(m_write_lock);
    FileSend sent = send_file_all(m_fd, head, kHeaderSize + prefix_length, file, offset, length,
                                  rt_clock_ms() + m_timing.write_ms);
    if (sent != FileSend::sent)
        drop(sent == FileSend::file_bad ? "the file gave out inside a frame" : "write failed or timed out");
    return sent;
}

void Session::drop(const char* why) {
    if (m_connected.load()) TRACE_MSG("kaltro::Session::drop", "handle %d: %s\n", m_handle.load(), why);
    // Wakes the reader thread, which reports the loss.
    shutdown(m_fd, SHUT_RDWR);
}

void Session::reader_loop() {
    while (!m_closing.load()) {
        std::int64_t now = rt_clock_ms();
        if (now - m_last_rx.load() > m_timing.dead_ms) {
            TRACE_MSG("kaltro::Session::reader_loop", "handle %d: device silent, giving up\n", m_handle.load());
            break;
        }
        // Probe a device that has been quiet for a while; its answer (or any
        // other frame) proves it alive.
        if (now - m_last_rx.load() >= m_timing.keepalive_ms && now - m_last_ping >= m_timing.keepalive_ms) {
            send_keepalive();
            m_last_ping = now;
        }
        std::int64_t wait = std::min(m_timing.keepalive_ms, m_timing.dead_ms - (now - m_last_rx.load()) + 1);
        int ready = wait_readable(m_fd, std::max<std::int64_t>(wait, 1));
        if (ready < 0) break;
        if (ready > 0 && !read_available()) break;
    }
    on_connection_lost();
}

bool Session::read_available() {
    std::uint8_t buffer[16384];
    long n = read_some(m_fd, buffer, sizeof(buffer));
    if (n == -2) return true;
    if (n <= 0) return false;
    m_last_rx.store(rt_clock_ms());
    if (!m_router.feed(buffer, static_cast<std::size_t>(n))) {
        TRACE_MSG("kaltro::Session::read_available", "handle %d: device broke the framing\n", m_handle.load());
        return false;
    }
    return true;
}

void Session::send_keepalive() {
    send_unanswered(MSG_KEEPALIVE, nullptr, 0);
}

void Session::on_connection_lost() {
    m_connected.store(false);
    m_router.close(NETWORK_ERR_NETWORK);
    // The target gives the disconnect once per login, and keeps it for the
    // first callback when none is set yet.
    if (m_logged_in.load() && !m_closing.load() && m_events->push_disconnect()) m_dispatcher.schedule(m_events);
}

void Session::close() {
    if (m_closing.exchange(true)) {
        if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) m_reader.join();
        return;
    }
    m_events->close();
    if (m_logged_in.load() && m_connected.load()) {
        send_unanswered(MSG_LOGOUT, nullptr, 0);
    }
    shutdown(m_fd, SHUT_RDWR);
    if (m_reader.joinable()) m_reader.join();
}

}  // namespace kaltro
