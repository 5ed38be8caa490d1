#include "client/response_router.h"

#include <algorithm>

#include "client/call_abort.h"
#include "client/socket_io.h"
#include "runtime/rt_time.h"

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

std::uint32_t ResponseRouter::expect() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed) return 0;
    std::uint32_t id = m_next_id++;
    if (m_next_id == 0) m_next_id = 1;  // 0 marks frames that expect no answer
    m_pending[id] = Pending{};
    return id;
}

std::int32_t ResponseRouter::wait(std::uint32_t id, std::int64_t deadline_ms, Response& out) {
    std::unique_lock<std::mutex> guard(m_lock);
    auto it = m_pending.find(id);
    if (it == m_pending.end()) return NETWORK_ERR_NETWORK;
    // Sliced so a sped-up clock, or a caller that is stopping, ends the wait on time.
    while (!it->second.done) {
        std::int64_t left = deadline_ms - rt_clock_ms();
        if (left <= 0 || call_aborted()) break;
        m_answered.wait_for(guard, std::chrono::milliseconds(std::min(real_wait_ms(left), 100)));
    }
    Pending pending = std::move(it->second);
    m_pending.erase(it);
    if (!pending.done) return NETWORK_ERR_TIMEOUT;
    out = std::move(pending.response);
    return pending.result;
}

bool ResponseRouter::feed(const std::uint8_t* data, std::size_t length) {
    bool intact = m_reader.consume(data, length, [this](const FrameView& view) {
        Frame frame{view.header, std::vector<std::uint8_t>(view.payload, view.payload + view.header.length)};
        route(frame);
        return true;
    });
    if (!intact) close(NETWORK_ERR_PROTOCOL);
    return intact;
}

void ResponseRouter::route(Frame& frame) {
    const FrameHeader& h = frame.header;
    if (h.type == MSG_EVENT) {
        ByteReader in(frame.payload);
        DEVICE_EVENT event{static_cast<std::int32_t>(sizeof(DEVICE_EVENT)), 0, 0, 0};
        // The disconnect event is the library's to give, never the device's.
        if (in.i32(event.main) && in.i32(event.sub) && in.i32(event.param) && event.main != EVENT_DISCONNECTED &&
            m_events)
            m_events(event);
        return;
    }
    if (!(h.type & kResponseBit) && h.request_id == 0 && h.type != MSG_KEEPALIVE) {
        std::lock_guard<std::mutex> guard(m_push_lock);
        if (m_push) m_push(frame);
        return;
    }
    if (!(h.type & kResponseBit) || h.request_id == 0) return;  // keep-alive answers and strays
    std::lock_guard<std::mutex> guard(m_lock);
    auto it = m_pending.find(h.request_id);
    if (it == m_pending.end() || it->second.done) return;  // answer to a request that timed out
    it->second.done = true;
    it->second.result = result_from_status(h.status);
    it->second.response.status = h.status;
    it->second.response.payload = std::move(frame.payload);
    m_answered.notify_all();
}

void ResponseRouter::set_push_sink(PushSink sink) {
    std::lock_guard<std::mutex> guard(m_push_lock);
    m_push = std::move(sink);
}

void ResponseRouter::close(std::int32_t result) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_closed = true;
    for (auto& [id, pending] : m_pending) {
        if (pending.done) continue;
        pending.done = true;
        pending.result = result;
    }
    m_answered.notify_all();
}

}  // namespace kaltro
