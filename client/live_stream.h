#pragma once

// One live stream of a login: asks the device to stream, takes the frames the
// login's reader thread hands over, decodes the newest on a thread of its
// own (older undecoded ones are dropped, so a slow screen never delays the
// login) and delivers the pictures to the stream's video target.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "client/kaltro_client.h"
#include "client/live_decoder.h"
#include "client/session.h"

namespace kaltro {

struct LiveCounters {
    std::atomic<std::uint32_t> received{0};
    std::atomic<std::uint32_t> delivered{0};
    std::atomic<std::uint32_t> dropped{0};  // overtaken by a newer frame before decoding
    std::atomic<std::uint32_t> broken{0};   // not decodable
};

class LiveStream : public std::enable_shared_from_this<LiveStream> {
public:
    LiveStream(std::shared_ptr<Session> session, std::uint32_t target);
    ~LiveStream();
    LiveStream(const LiveStream&) = delete;
    LiveStream& operator=(const LiveStream&) = delete;

    // Asks the device for the stream described by `param`; on success `out`
    // holds the running stream.
    static std::int32_t start(std::shared_ptr<Session> session, const LIVE_PARAM& param,
                              std::shared_ptr<LiveStream>& out);
    // LIVE_CTRL_* commands.
    std::int32_t control(std::int32_t command, void* argument);
    // Ends the stream on the device and stops decoding; no delivery follows.
    void stop();

    const LiveCounters& counters() const { return m_counters; }

private:
    void on_frame(Frame& frame);  // the login's reader thread
    void decode_loop();
    void decode_and_deliver(JpegDecoder& decoder, const std::vector<std::uint8_t>& payload,
                            std::vector<std::uint8_t>& pixels);
    std::int32_t device_command(std::int32_t command);

    std::shared_ptr<Session> m_session;
    std::uint32_t m_stream_id = 0;
    std::atomic<std::uint32_t> m_target;
    std::atomic<std::uint32_t> m_options{0};
    std::mutex m_zoom_lock;
    ZOOM_PARAM m_zoom{0, 0, 0};

    std::mutex m_lock;  // guards the mailbox and m_stopping
    std::condition_variable m_wake;
    std::vector<std::uint8_t> m_mailbox;
    bool m_has_frame = false;
    bool m_stopping = false;
    std::thread m_decoder;
    LiveCounters m_counters;
};

}  // namespace kaltro
