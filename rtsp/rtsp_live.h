#pragma once

// Live video from an RTSP camera into a video target of the client library
// (client/kaltro_live.h), the same delivery the native live video uses, so a
// front end shows both alike. FFmpeg speaks RTSP (RTP interleaved on the TCP
// connection) and decodes H.264 or H.265 on the stream's own thread; each
// whole picture goes to the target at once, so the newest picture is always
// the one shown and nothing waits in a queue.
//
// The stream opens only the camera's own address (rtsp/stream_uri.h), never
// sends a password in clear text nor follows a redirect (rtsp/login_probe.h).
// A stream that stops sending, sends what does not decode, or is ended by
// the camera ends with that state; the target then gets the end mark (a
// frame without pixels), so its last picture is not left up as if live.
// Stopping closes the session with TEARDOWN.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace rtsp {

enum class LiveState {
    starting,         // connecting, logging in, waiting for the first picture
    playing,          // pictures arrive
    stopped,          // by stop()
    ended,            // the camera ended the stream or closed the connection
    stalled,          // no picture for the stall time
    garbage,          // data arrived but no picture decoded for the stall time
    login_refused,    // wrong user name or password
    clear_text_only,  // the camera offers only a clear-text login
    redirected,       // the camera sends the client to another address
    not_found,        // the camera has no such stream
    unreachable,      // no connection or no answer in time
    bad_uri,          // not an rtsp:// URI of an IPv4 address, or a login that cannot be sent
    foreign_host,     // the URI names another host than the camera
    guarded,          // the test harness's network guard refuses the address
    unsupported,      // no H.264 or H.265 video in the stream
    failed,           // anything else (an RTSP error status, a broken answer)
};

// A short English text for traces and tests: "playing", "stalled", ...
const char* live_state_name(LiveState state);
// True for the states a stream ends in.
bool live_state_final(LiveState state);

struct LiveOptions {
    std::string uri;             // as the camera gave it (GetStreamUri)
    std::string camera_address;  // the camera's IPv4 address: the only host opened
    std::string user;
    std::string password;
    std::uint32_t video_target = 0;  // 0: decode, deliver nowhere
    // In the runtime's (possibly sped-up) milliseconds:
    std::int64_t open_ms = 10000;  // connection and login until the first picture
    std::int64_t stall_ms = 3000;  // longest gap between whole pictures
    std::int64_t close_ms = 2000;  // for the TEARDOWN
};

struct LiveCounts {
    std::uint32_t packets = 0;    // video packets received
    std::uint32_t pictures = 0;   // whole pictures decoded
    std::uint32_t delivered = 0;  // of them, taken by the target
    std::uint32_t broken = 0;     // packets or pictures that did not decode
};

class RtspLive {
public:
    // Called on the stream's thread at every change of state. It must return
    // quickly and must not call stop() or destroy the stream.
    using StateCallback = std::function<void(LiveState)>;

    // Starts the stream's thread; returns at once.
    explicit RtspLive(LiveOptions options, StateCallback on_state = {});
    // stop()
    ~RtspLive();
    RtspLive(const RtspLive&) = delete;
    RtspLive& operator=(const RtspLive&) = delete;

    // Ends the stream (TEARDOWN within close_ms) and waits for its thread;
    // no picture is delivered after it returns. A stream that had ended on
    // its own keeps that state.
    void stop();

    LiveState state() const { return m_state.load(); }
    LiveCounts counts() const;

private:
    class Session;
    void run();
    LiveState stream();
    void set_state(LiveState state);

    const LiveOptions m_options;
    const StateCallback m_on_state;
    std::atomic<LiveState> m_state{LiveState::starting};
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_counts_lock;
    LiveCounts m_counts;
    std::mutex m_stop_lock;  // one stop() joins
    std::thread m_thread;
};

}  // namespace rtsp
