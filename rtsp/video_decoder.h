#pragma once

// H.264 and H.265 pictures of an RTSP stream to the 32-bit pixels the video
// targets take (0xffRRGGBB). Only pictures that decoded without error are
// handed on: a picture the decoder had to patch up is counted as broken and
// never shown as if it were the camera's.

#include <cstdint>
#include <functional>
#include <vector>

#include "client/kaltro_live.h"

struct AVCodecContext;
struct AVCodecParameters;
struct AVFrame;
struct AVPacket;
struct SwsContext;

namespace rtsp {

class VideoDecoder {
public:
    VideoDecoder() = default;
    ~VideoDecoder();
    VideoDecoder(const VideoDecoder&) = delete;
    VideoDecoder& operator=(const VideoDecoder&) = delete;

    // False unless the stream is H.264 or H.265 and a decoder opens.
    bool open(const AVCodecParameters& stream);

    struct Counts {
        int good = 0;    // pictures handed to `picture`
        int broken = 0;  // packets refused and pictures with errors
    };
    // Feeds one packet (null: the end, flushing what the decoder holds) and
    // hands each whole picture to `picture`, valid during the call.
    Counts decode(const AVPacket* packet, const std::function<void(const KALTRO_VIDEO_FRAME&)>& picture);

private:
    bool convert(const AVFrame& frame, KALTRO_VIDEO_FRAME* out);

    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    SwsContext* m_scale = nullptr;
    std::vector<std::uint8_t> m_pixels;
    std::uint32_t m_sequence = 0;
};

}  // namespace rtsp
