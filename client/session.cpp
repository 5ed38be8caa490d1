#include "client/session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "client/login_auth.h"
#include "client/socket_io.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace kaltro {

std::int32_t result_from_status(std::int32_t status) {
    switch (status) {
        case NETWORK_OK:
        case NETWORK_ERR_FAIL:
        case NETWORK_ERR_UPGRADE_SAME_VERSION:
        case NETWORK_ERR_UPGRADE_BOARD_TYPE:
        case NETWORK_ERR_INVALID_ARG:
        case NETWORK_ERR_NOT_SUPPORTED:
        case NETWORK_ERR_UPGRADE_RUNNING:
        case NETWORK_ERR_UPGRADE_INVALID_FILE:
        case NETWORK_ERR_USER:
        case NETWORK_ERR_PASSWORD:
        case NETWORK_ERR_LOGIN_REFUSED:
        case NETWORK_ERR_MAX_USER:
        case NETWORK_ERR_BUSY:
        case NETWORK_ERR_NETWORK:
            return status;
        default:
            return NETWORK_ERR_FAIL;  // a code of the device's own is a plain failure here
    }
}

Session::Session(int fd, SessionTiming timing, EventDispatcher& dispatcher)
    : m_fd(fd), m_timing(timing), m_dispatcher(dispatcher), m_last_rx(rt_clock_ms()) {
    m_reader = std::thread(&Session::reader_loop, this);
}

Session::~Session() { close(); }

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
    if (result != NETWORK_OK) return result;  // the destructor closes the connection quietly
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
    if (result == NETWORK_OK) m_logged_in.store(true);
    return result;
}

void Session::bind(std::int32_t handle) { m_handle.store(handle); }

void Session::set_event_callback(NETWORK_EVENT_CB callback, void* user) {
    m_events->set(callback, user);
    if (callback != nullptr && m_disconnect_pending->exchange(false)) post_disconnect();
}

bool Session::write_frame(const FrameHeader& header, const std::uint8_t* payload, std::size_t length,
                          std::vector<std::uint8_t>& scratch) {
    if (!m_connected.load()) return false;
    scratch.clear();
    encode_frame(scratch, header, payload, length);
    std::lock_guard<std::mutex> guard(m_write_lock);
    if (!send_all(m_fd, scratch.data(), scratch.size(), rt_clock_ms() + m_timing.write_ms)) {
        drop("write failed or timed out");
        return false;
    }
    return true;
}

std::int32_t Session::request(std::uint16_t type, const std::vector<std::uint8_t>& payload, Response& out) {
    auto pending = std::make_shared<Pending>();
    FrameHeader header;
    header.type = type;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (!m_connected.load()) return NETWORK_ERR_NETWORK;
        header.request_id = m_next_id++;
        if (m_next_id == 0) m_next_id = 1;  // 0 marks frames that expect no answer
        m_pending[header.request_id] = pending;
    }
    std::vector<std::uint8_t> scratch;
    bool sent = write_frame(header, payload.data(), payload.size(), scratch);
    std::unique_lock<std::mutex> guard(m_lock);
    std::int64_t deadline = rt_clock_ms() + m_timing.request_ms;
    while (sent && !pending->done) {
        std::int64_t left = deadline - rt_clock_ms();
        if (left <= 0) break;
        m_answered.wait_for(guard, std::chrono::milliseconds(std::min(real_wait_ms(left), 100)));
    }
    m_pending.erase(header.request_id);
    if (!pending->done) {
        guard.unlock();
        // A device that does not answer cannot be trusted to answer later
        // requests in order either: give the login up.
        if (sent) drop("request timed out");
        return sent ? NETWORK_ERR_TIMEOUT : NETWORK_ERR_NETWORK;
    }
    out = std::move(pending->response);
    return pending->result;
}

bool Session::send_unanswered(std::uint16_t type, const std::uint8_t* payload, std::size_t length,
                              std::vector<std::uint8_t>& scratch) {
    FrameHeader header;
    header.type = type;
    return write_frame(header, payload, length, scratch);
}

void Session::drop(const char* why) {
    if (m_connected.load()) TRACE_MSG("kaltro::Session::drop", "handle %d: %s\n", m_handle.load(), why);
    // Wakes the reader thread, which reports the loss.
    shutdown(m_fd, SHUT_RDWR);
}

void Session::reader_loop() {
    FrameReader reader;
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
        if (ready > 0 && !read_available(reader)) break;
    }
    on_connection_lost();
}

bool Session::read_available(FrameReader& reader) {
    std::uint8_t buffer[16384];
    long n = read_some(m_fd, buffer, sizeof(buffer));
    if (n == -2) return true;
    if (n <= 0) return false;
    m_last_rx.store(rt_clock_ms());
    if (!reader.feed(buffer, static_cast<std::size_t>(n))) {
        TRACE_MSG("kaltro::Session::read_available", "handle %d: bad frame (%s)\n", m_handle.load(),
                  header_check_text(reader.error()));
        fail_pending(NETWORK_ERR_PROTOCOL);
        return false;
    }
    while (auto frame = reader.next()) dispatch(*frame);
    if (reader.broken()) {
        fail_pending(NETWORK_ERR_PROTOCOL);
        return false;
    }
    return true;
}

void Session::dispatch(Frame& frame) {
    const FrameHeader& h = frame.header;
    if (h.type == MSG_EVENT) {
        ByteReader in(frame.payload);
        DEVICE_EVENT event{static_cast<std::int32_t>(sizeof(DEVICE_EVENT)), 0, 0, 0};
        if (in.i32(event.main) && in.i32(event.sub) && in.i32(event.param) && event.main != EVENT_DISCONNECTED)
            m_dispatcher.post({m_events, m_handle.load(), event, nullptr});
        return;
    }
    if (!(h.type & kResponseBit) || h.request_id == 0) return;  // keep-alive answers and strays
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_pending.find(h.request_id);
    if (it == m_pending.end()) return;  // answer to a request that timed out
    it->second->done = true;
    it->second->result = result_from_status(h.status);
    it->second->response.status = h.status;
    it->second->response.payload = std::move(frame.payload);
    m_answered.notify_all();
}

void Session::send_keepalive() {
    std::vector<std::uint8_t> scratch;
    send_unanswered(MSG_KEEPALIVE, nullptr, 0, scratch);
}

void Session::fail_pending(std::int32_t result) {
    std::lock_guard<std::mutex> guard(m_lock);
    for (auto& [id, pending] : m_pending) {
        if (pending->done) continue;
        pending->done = true;
        pending->result = result;
    }
    m_answered.notify_all();
}

void Session::on_connection_lost() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_connected.store(false);
    }
    fail_pending(NETWORK_ERR_NETWORK);
    if (m_logged_in.load() && !m_closing.load() && !m_disconnect_reported.exchange(true)) post_disconnect();
}

void Session::post_disconnect() {
    DEVICE_EVENT event{static_cast<std::int32_t>(sizeof(DEVICE_EVENT)), EVENT_DISCONNECTED, 0, 0};
    auto pending = m_disconnect_pending;
    m_dispatcher.post({m_events, m_handle.load(), event, [pending] { pending->store(true); }});
}

void Session::close() {
    if (m_closing.exchange(true)) {
        if (m_reader.joinable() && m_reader.get_id() != std::this_thread::get_id()) m_reader.join();
        return;
    }
    m_events->close();
    if (m_logged_in.load() && m_connected.load()) {
        std::vector<std::uint8_t> scratch;
        send_unanswered(MSG_LOGOUT, nullptr, 0, scratch);
    }
    shutdown(m_fd, SHUT_RDWR);
    if (m_reader.joinable()) m_reader.join();
    ::close(m_fd);
    m_fd = -1;
}

}  // namespace kaltro
