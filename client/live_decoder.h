#pragma once

// JPEG pictures of a live stream to 32-bit pixels, and the digital zoom's
// choice of what part of a picture to show.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "client/kaltro_client.h"
#include "client/live_video_targets.h"

namespace kaltro {

class JpegDecoder {
public:
    JpegDecoder();
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Decodes into `pixels` (width * 4 bytes per row, 0xffRRGGBB). False for a
    // broken picture or one whose size differs from what the frame announced.
    bool decode(const std::uint8_t* jpeg, std::size_t length, std::uint32_t width, std::uint32_t height,
                std::vector<std::uint8_t>& pixels);

private:
    void* m_handle;  // tjhandle
};

struct CropRect {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// ZOOM_PARAM.value 200 is 1x and 1000 is 5x (value / 200), anything up to 200
// shows the whole picture. The centre is in the target's pixels; the cut-out
// keeps the picture's proportions and stays inside it.
CropRect zoom_crop(const ZOOM_PARAM& zoom, std::int32_t width, std::int32_t height, TargetSize area);

}  // namespace kaltro
