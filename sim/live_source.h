#pragma once

// The live side of one client connection of a simulated camera: starts and
// stops its stream, takes live commands, and makes the next frame when it is
// due. Transport-free: the connection asks when to wake up and sends what
// it is given.

#include <cstdint>
#include <memory>
#include <vector>

#include "sim/live_log.h"
#include "sim/live_picture.h"
#include "sim/sim_camera.h"

class LiveSource {
public:
    // Frames per second of real time, whatever the simulated time speed: the
    // picture is for people to watch.
    static constexpr int kFramesPerSecond = 25;

    LiveSource(SimCamera& camera, LiveLog& log);
    ~LiveSource();
    LiveSource(const LiveSource&) = delete;
    LiveSource& operator=(const LiveSource&) = delete;

    // Each returns a result code (NETWORK_*).
    std::int32_t start(std::uint32_t channel, std::uint32_t& stream_id);
    std::int32_t stop(std::uint32_t stream_id);
    std::int32_t control(std::uint32_t stream_id, std::int32_t command);

    bool streaming() const { return m_stream_id != 0; }
    // System milliseconds until the next frame is due, at most `idle`.
    std::int64_t wait_ms(std::int64_t idle) const;
    // The LIVE_FRAME payload due now; false when none is due.
    bool take_due_frame(std::vector<std::uint8_t>& payload);

private:
    void end_stream();
    void end_mic_test();

    SimCamera& m_camera;
    LiveLog& m_log;
    std::unique_ptr<LivePicture> m_picture;  // made at the first start
    std::uint32_t m_stream_id = 0;           // 0: no stream
    std::uint32_t m_next_id = 1;
    std::uint32_t m_sequence = 0;
    std::int64_t m_due_ms = 0;
    bool m_mic_test = false;
};
