#pragma once

// The faults a simulated camera's RTSP stream can be told to show, and the
// codec it streams in: words of the simulator's settings, kept apart from
// the GStreamer side so the camera settings can read them.

#include <cstdint>
#include <string>

// What a stream does after `after_ms` of pictures: nothing (none), stop
// sending while the session stays up (stall), end with end-of-stream
// (end), or send H.264 whose slices are noise (garbage).
struct RtspFault {
    enum class Kind { none, stall, end, garbage };
    Kind kind = Kind::none;
    std::int64_t after_ms = 0;
};

// Reads "none", "stall=MS", "end=MS" or "garbage=MS"; false for anything else.
bool parse_rtsp_fault(const std::string& text, RtspFault* out);
std::string rtsp_fault_text(const RtspFault& fault);

enum class RtspCodec { h264, h265 };
