#include "client/live_decoder.h"

#include <turbojpeg.h>

#include <algorithm>

namespace kaltro {

JpegDecoder::JpegDecoder() : m_handle(tjInitDecompress()) {}

JpegDecoder::~JpegDecoder() {
    if (m_handle) tjDestroy(m_handle);
}

bool JpegDecoder::decode(const std::uint8_t* jpeg, std::size_t length, std::uint32_t width, std::uint32_t height,
                         std::vector<std::uint8_t>& pixels) {
    if (!m_handle || length > 0xFFFFFFFFu) return false;
    int w = 0, h = 0, subsampling = 0, colorspace = 0;
    auto* data = const_cast<std::uint8_t*>(jpeg);  // the old API is not const-correct; nothing is written
    if (tjDecompressHeader3(m_handle, data, static_cast<unsigned long>(length), &w, &h, &subsampling, &colorspace) != 0)
        return false;
    if (w <= 0 || h <= 0 || static_cast<std::uint32_t>(w) != width || static_cast<std::uint32_t>(h) != height)
        return false;
    pixels.resize(static_cast<std::size_t>(w) * h * 4);
    return tjDecompress2(m_handle, data, static_cast<unsigned long>(length), pixels.data(), w, w * 4, h, TJPF_BGRX,
                         TJFLAG_FASTDCT) == 0;
}

CropRect zoom_crop(const ZOOM_PARAM& zoom, std::int32_t width, std::int32_t height, TargetSize area) {
    if (zoom.value <= 200 || width <= 0 || height <= 0) return {0, 0, width, height};
    const double factor = zoom.value / 200.0;
    const std::int32_t w = std::max(1, static_cast<std::int32_t>(width / factor));
    const std::int32_t h = std::max(1, static_cast<std::int32_t>(height / factor));
    double cx = width / 2.0, cy = height / 2.0;
    if (area.width > 0 && area.height > 0) {
        cx = static_cast<double>(zoom.x) * width / area.width;
        cy = static_cast<double>(zoom.y) * height / area.height;
    }
    const std::int32_t x = std::clamp(static_cast<std::int32_t>(cx - w / 2.0), 0, width - w);
    const std::int32_t y = std::clamp(static_cast<std::int32_t>(cy - h / 2.0), 0, height - h);
    return {x, y, w, h};
}

}  // namespace kaltro
