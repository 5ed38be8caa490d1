#include "client/live_protocol.h"

#include "client/protocol.h"

namespace kaltro {

std::vector<std::uint8_t> encode_live_frame(const LiveFrameHeader& header, const std::uint8_t* jpeg,
                                            std::size_t length) {
    ByteWriter out;
    out.u32(header.stream_id).u32(header.sequence).u32(header.width).u32(header.height).u64(header.capture_ms);
    out.bytes(jpeg, length);
    return std::move(out.data());
}

bool parse_live_frame(const std::uint8_t* payload, std::size_t length, LiveFrameHeader& header,
                      const std::uint8_t*& jpeg, std::size_t& jpeg_length) {
    ByteReader in(payload, length);
    if (!in.u32(header.stream_id) || !in.u32(header.sequence) || !in.u32(header.width) || !in.u32(header.height) ||
        !in.u64(header.capture_ms))
        return false;
    if (header.width == 0 || header.height == 0 || header.width > kLiveMaxWidth || header.height > kLiveMaxHeight)
        return false;
    jpeg_length = in.remaining();
    return jpeg_length > 0 && in.bytes(jpeg_length, jpeg);
}

}  // namespace kaltro
