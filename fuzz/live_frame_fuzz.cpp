// A LIVE_FRAME payload as a device could send it: header checks, then the
// JPEG decoder with the announced size, as the client library runs them.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "client/live_decoder.h"
#include "client/live_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static kaltro::JpegDecoder decoder;
    kaltro::LiveFrameHeader header;
    const std::uint8_t* jpeg = nullptr;
    std::size_t length = 0;
    if (!kaltro::parse_live_frame(data, size, header, jpeg, length)) return 0;
    // Keep the fuzzer away from huge allocations the library would also make.
    if (static_cast<std::uint64_t>(header.width) * header.height > 1024 * 1024) return 0;
    std::vector<std::uint8_t> pixels;
    decoder.decode(jpeg, length, header.width, header.height, pixels);
    return 0;
}
