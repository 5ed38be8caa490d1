#pragma once

// Live video on a login's connection (message types 0x0030..0x003F).
//
//   LIVE_START   client -> device: u32 channel, u32 stream kind -> u32 stream id
//   LIVE_STOP    client -> device: u32 stream id
//   LIVE_CONTROL client -> device: u32 stream id, i32 command (microphone test 3 / 4)
//   LIVE_FRAME   device -> client, request id 0, never answered:
//                u32 stream id, u32 sequence, u32 width, u32 height,
//                u64 capture time (device ms), then one JPEG picture
//
// Frames travel on the same connection as requests, so a stream ends with
// its login and needs no second authentication.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kaltro {

enum LiveMsgType : std::uint16_t {
    MSG_LIVE_START = 0x0030,
    MSG_LIVE_STOP = 0x0031,
    MSG_LIVE_CONTROL = 0x0032,
    MSG_LIVE_FRAME = 0x0033,
};

constexpr std::size_t kLiveFrameHeaderSize = 24;
// Largest picture either side handles; bigger ones are dropped as broken.
constexpr std::uint32_t kLiveMaxWidth = 4096;
constexpr std::uint32_t kLiveMaxHeight = 4096;

struct LiveFrameHeader {
    std::uint32_t stream_id = 0;
    std::uint32_t sequence = 0;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint64_t capture_ms = 0;
};

std::vector<std::uint8_t> encode_live_frame(const LiveFrameHeader& header, const std::uint8_t* jpeg,
                                            std::size_t length);

// Splits a LIVE_FRAME payload into header and picture. False for a short
// payload, no picture, or a size outside 1..kLiveMax*.
bool parse_live_frame(const std::uint8_t* payload, std::size_t length, LiveFrameHeader& header,
                      const std::uint8_t*& jpeg, std::size_t& jpeg_length);

}  // namespace kaltro
