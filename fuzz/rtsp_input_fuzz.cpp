// What the RTSP client reads from a camera itself (FFmpeg parses the rest):
// the stream address GetStreamUri gives and the login for FFmpeg built from
// it, the head of the login probe's reply, FFmpeg's messages with any login
// cut out, and the time code read back from a decoded picture.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "rtsp/ffmpeg_trace.h"
#include "rtsp/login_probe.h"
#include "rtsp/stream_uri.h"
#include "sim/live_time_code.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    rtsp::StreamUri uri;
    if (rtsp::parse_stream_uri(text, "10.0.0.5", &uri) == rtsp::UriVerdict::ok) {
        std::string url;
        // The address part doubles as a login of any bytes.
        rtsp::ffmpeg_url(uri, std::string(text.substr(0, size / 2)), std::string(text.substr(size / 2)), &url);
        rtsp::plain_uri(uri);
    }

    rtsp::ReplyHead head;
    rtsp::parse_reply_head(text, &head);
    rtsp::without_logins(std::string(text));

    // A picture of 128 x 2 pixels (the narrowest that carries a code), and
    // the same bytes as a wider one with too short a stride.
    std::vector<std::uint8_t> pixels(data, data + size);
    pixels.resize(128 * 2 * 4);
    std::int64_t when = 0;
    read_live_time_code(pixels.data(), 128, 2, 128 * 4, &when);
    read_live_time_code(pixels.data(), 256, 1, 128 * 4, &when);
    return 0;
}
