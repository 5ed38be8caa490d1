#include "rtsp/video_decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "client/live_protocol.h"

namespace rtsp {

VideoDecoder::~VideoDecoder() {
    sws_freeContext(m_scale);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
}

bool VideoDecoder::open(const AVCodecParameters& stream) {
    if (stream.codec_id != AV_CODEC_ID_H264 && stream.codec_id != AV_CODEC_ID_HEVC) return false;
    const AVCodec* codec = avcodec_find_decoder(stream.codec_id);
    m_codec = codec ? avcodec_alloc_context3(codec) : nullptr;
    m_frame = av_frame_alloc();
    if (!m_codec || !m_frame || avcodec_parameters_to_context(m_codec, &stream) < 0) return false;
    // A picture leaves the decoder as soon as it is whole: no reordering
    // delay, no frame threads (each holds a picture back); slices may still
    // decode in parallel. A packet need not hold a whole picture (the
    // demuxer cuts the first one of a stream in two when its slices arrive
    // across the PLAY answer), so the decoder puts pictures together from
    // chunks rather than showing each part as a picture with the rest
    // missing. Pictures the decoder cannot vouch for are not output.
    m_codec->flags |= AV_CODEC_FLAG_LOW_DELAY;
    m_codec->flags2 |= AV_CODEC_FLAG2_CHUNKS;
    m_codec->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    m_codec->thread_type = FF_THREAD_SLICE;
    m_codec->thread_count = 2;
    return avcodec_open2(m_codec, codec, nullptr) == 0;
}

VideoDecoder::Counts VideoDecoder::decode(const AVPacket* packet,
                                          const std::function<void(const KALTRO_VIDEO_FRAME&)>& picture) {
    Counts counts;
    if (!m_codec) return counts;
    const int sent = avcodec_send_packet(m_codec, packet);
    if (sent < 0 && sent != AVERROR(EAGAIN) && sent != AVERROR_EOF) counts.broken++;
    while (avcodec_receive_frame(m_codec, m_frame) == 0) {
        KALTRO_VIDEO_FRAME frame{};
        const bool whole = m_frame->decode_error_flags == 0 && !(m_frame->flags & AV_FRAME_FLAG_CORRUPT);
        if (whole && convert(*m_frame, &frame)) {
            picture(frame);
            counts.good++;
        } else {
            counts.broken++;
        }
        av_frame_unref(m_frame);
    }
    return counts;
}

bool VideoDecoder::convert(const AVFrame& frame, KALTRO_VIDEO_FRAME* out) {
    if (frame.width <= 0 || frame.height <= 0 || frame.width > static_cast<int>(kaltro::kLiveMaxWidth) ||
        frame.height > static_cast<int>(kaltro::kLiveMaxHeight))
        return false;
    // Same size, so only the colours are converted. AV_PIX_FMT_RGB32 is a
    // native 0xAARRGGBB word, and from a picture without alpha it is opaque.
    m_scale = sws_getCachedContext(m_scale, frame.width, frame.height, static_cast<AVPixelFormat>(frame.format),
                                   frame.width, frame.height, AV_PIX_FMT_RGB32, SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_scale) return false;
    const int stride = frame.width * 4;
    m_pixels.resize(static_cast<std::size_t>(stride) * frame.height);
    std::uint8_t* planes[1] = {m_pixels.data()};
    const int strides[1] = {stride};
    if (sws_scale(m_scale, frame.data, frame.linesize, 0, frame.height, planes, strides) != frame.height) return false;
    out->width = frame.width;
    out->height = frame.height;
    out->stride = stride;
    out->pixels = m_pixels.data();
    out->crop_width = frame.width;
    out->crop_height = frame.height;
    out->sequence = m_sequence++;
    return true;
}

}  // namespace rtsp
