#pragma once

// One login to a device: its TCP connection, the reader thread that matches
// responses to requests by id, keep-alive, and the disconnect event.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/event_dispatcher.h"
#include "client/protocol.h"
#include "client/response_router.h"
#include "client/socket_io.h"

namespace kaltro {

// Time limits of a login, in (runtime) milliseconds.
struct SessionTiming {
    std::int64_t connect_ms = 5000;
    std::int64_t request_ms = 10000;
    std::int64_t write_ms = 10000;
    std::int64_t keepalive_ms = 5000;  // device silence before a keep-alive is sent
    std::int64_t dead_ms = 20000;      // silence after which the device is gone
};

class Session {
public:
    Session(int fd, SessionTiming timing, EventDispatcher& dispatcher);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // Connects and logs in. Returns a result code; on success `out` holds the session.
    static std::int32_t open(const std::string& ip, std::uint16_t port, const std::string& user,
                             const std::string& password, const SessionTiming& timing,
                             EventDispatcher& dispatcher, std::unique_ptr<Session>& out);

    // Sends a request and waits for its response (or the timeout, or the loss
    // of the connection). Returns the result code; the device's status is in `out`.
    std::int32_t request(std::uint16_t type, const std::vector<std::uint8_t>& payload, Response& out);
    // Sends a frame that is never answered (upgrade data). False when the connection is gone.
    bool send_unanswered(std::uint16_t type, const std::uint8_t* payload, std::size_t length);
    // Sends an unanswered frame whose payload is `prefix`, then `length`
    // bytes of the open file `file` from `offset`, which this process never
    // copies. A file that gave out before them cut the frame short: the
    // connection is dropped (file_bad), since the device would read the
    // next frame's bytes as this one's.
    FileSend send_unanswered_from_file(std::uint16_t type, const std::uint8_t* prefix,
                                       std::size_t prefix_length, int file, std::uint64_t offset,
                                       std::size_t length);

    // Called once the API has a handle for this login.
    void bind(std::int32_t handle);
    void set_event_callback(NETWORK_EVENT_CB callback, void* user);
    // Frames the device pushes unasked (live video); null removes the sink.
    void set_push_sink(ResponseRouter::PushSink sink) { m_router.set_push_sink(std::move(sink)); }
    // Logs out (best effort), stops the reader thread and closes the socket.
    // No event callback for this login runs after it returned.
    void close();
    bool connected() const { return m_connected.load(); }
    // Ends the connection from any thread; the reader thread reports it.
    void drop(const char* why);

private:
    std::int32_t login(const std::string& user, const std::string& password);
    void reader_loop();
    bool read_available();
    void send_keepalive();
    bool write_frame(const FrameHeader& header, const std::uint8_t* payload, std::size_t length);
    void on_connection_lost();

    const int m_fd;
    SessionTiming m_timing;
    EventDispatcher& m_dispatcher;
    std::shared_ptr<EventTarget> m_events = std::make_shared<EventTarget>();
    std::atomic<std::int32_t> m_handle{-1};
    std::atomic<bool> m_connected{true};
    std::atomic<bool> m_logged_in{false};
    std::atomic<bool> m_closing{false};
    std::atomic<std::int64_t> m_last_rx;
    std::int64_t m_last_ping = 0;  // reader thread only

    std::mutex m_write_lock;
    ResponseRouter m_router;
    std::thread m_reader;
};

}  // namespace kaltro
