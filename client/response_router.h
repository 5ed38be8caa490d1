#pragma once

// The client's side of the byte stream from a device: parses frames, hands
// each response to the request waiting for its id and each event to the
// event sink. A stream that breaks the framing fails every waiting request.
// Thread-safe: the reader thread feeds it while callers wait on it.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "client/kaltro_client.h"
#include "client/protocol.h"

namespace kaltro {

struct Response {
    std::int32_t status = 0;
    std::vector<std::uint8_t> payload;
};

class ResponseRouter {
public:
    using EventSink = std::function<void(const DEVICE_EVENT&)>;
    // Takes frames the device pushes unasked (request id 0) other than events: live video.
    using PushSink = std::function<void(Frame&)>;
    explicit ResponseRouter(EventSink events) : m_events(std::move(events)) {}

    void set_push_sink(PushSink sink);

    // Registers the next request and returns its id (never 0), or 0 once closed.
    std::uint32_t expect();
    // Waits for the answer to `id` until `deadline_ms` (or until the calling
    // thread's abort check says so); removes the request. Returns the result
    // code; NETWORK_ERR_TIMEOUT when no answer came.
    std::int32_t wait(std::uint32_t id, std::int64_t deadline_ms, Response& out);
    // Parses bytes from the device; false once the stream is broken.
    bool feed(const std::uint8_t* data, std::size_t length);
    // Fails every waiting request with `result`; later expect() calls get 0.
    void close(std::int32_t result);

private:
    struct Pending {
        bool done = false;
        std::int32_t result = 0;
        Response response;
    };
    void route(Frame& frame);

    EventSink m_events;
    std::mutex m_push_lock;  // held while the sink runs, so a cleared sink is never called again
    PushSink m_push;
    FrameReader m_reader;  // reader thread only
    std::mutex m_lock;
    std::condition_variable m_answered;
    std::map<std::uint32_t, Pending> m_pending;
    std::uint32_t m_next_id = 1;
    bool m_closed = false;
};

// Maps a device status to one of the library's result codes.
std::int32_t result_from_status(std::int32_t status);

}  // namespace kaltro
