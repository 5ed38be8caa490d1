#include "client/live_stream.h"

#include "client/kaltro_live.h"
#include "client/live_protocol.h"
#include "runtime/trace.h"

namespace kaltro {

LiveStream::LiveStream(std::shared_ptr<Session> session, std::uint32_t target)
    : m_session(std::move(session)), m_target(target) {}

LiveStream::~LiveStream() { stop(); }

std::int32_t LiveStream::start(std::shared_ptr<Session> session, const LIVE_PARAM& param,
                               std::shared_ptr<LiveStream>& out) {
    auto stream = std::make_shared<LiveStream>(session, param.video_target);
    Response answer;
    std::int32_t result =
        session->request(MSG_LIVE_START, ByteWriter().u32(param.channel).u32(param.stream).data(), answer);
    if (result != NETWORK_OK) return result;
    ByteReader in(answer.payload);
    if (!in.u32(stream->m_stream_id) || stream->m_stream_id == 0) return NETWORK_ERR_PROTOCOL;
    stream->m_decoder = std::thread(&LiveStream::decode_loop, stream.get());
    std::weak_ptr<LiveStream> weak = stream;
    session->set_push_sink([weak](Frame& frame) {
        if (auto live = weak.lock()) live->on_frame(frame);
    });
    out = std::move(stream);
    return NETWORK_OK;
}

std::int32_t LiveStream::device_command(std::int32_t command) {
    Response answer;
    return m_session->request(MSG_LIVE_CONTROL, ByteWriter().u32(m_stream_id).i32(command).data(), answer);
}

std::int32_t LiveStream::control(std::int32_t command, void* argument) {
    switch (command) {
        case LIVE_CTRL_MIC_TEST_START:
        case LIVE_CTRL_MIC_TEST_STOP: return device_command(command);
        case LIVE_CTRL_VIDEO_TARGET:
            if (!argument) return NETWORK_ERR_INVALID_ARG;
            m_target.store(*static_cast<const std::uint32_t*>(argument));
            return NETWORK_OK;
        case LIVE_CTRL_OPTIONS:
            if (!argument) return NETWORK_ERR_INVALID_ARG;
            m_options.store(*static_cast<const std::uint32_t*>(argument));
            return NETWORK_OK;
        case LIVE_CTRL_ZOOM: {
            if (!argument) return NETWORK_ERR_INVALID_ARG;
            std::lock_guard<std::mutex> guard(m_zoom_lock);
            m_zoom = *static_cast<const ZOOM_PARAM*>(argument);
            return NETWORK_OK;
        }
        default: return NETWORK_ERR_NOT_SUPPORTED;
    }
}

void LiveStream::stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping) return;
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_decoder.joinable()) m_decoder.join();
    if (m_stream_id == 0) return;
    m_session->set_push_sink(nullptr);
    Response answer;
    m_session->request(MSG_LIVE_STOP, ByteWriter().u32(m_stream_id).data(), answer);  // best effort
}

void LiveStream::on_frame(Frame& frame) {
    if (frame.header.type != MSG_LIVE_FRAME) return;
    m_counters.received++;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopping) return;
        if (m_has_frame) m_counters.dropped++;
        m_mailbox.swap(frame.payload);
        m_has_frame = true;
    }
    m_wake.notify_one();
}

void LiveStream::decode_loop() {
    JpegDecoder decoder;
    std::vector<std::uint8_t> payload, pixels;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [&] { return m_stopping || m_has_frame; });
            if (m_stopping) return;
            payload.swap(m_mailbox);
            m_has_frame = false;
        }
        if (m_options.load() & LIVE_OPT_FREEZE) continue;
        decode_and_deliver(decoder, payload, pixels);
    }
}

void LiveStream::decode_and_deliver(JpegDecoder& decoder, const std::vector<std::uint8_t>& payload,
                                    std::vector<std::uint8_t>& pixels) {
    LiveFrameHeader header;
    const std::uint8_t* jpeg = nullptr;
    std::size_t length = 0;
    if (!parse_live_frame(payload.data(), payload.size(), header, jpeg, length) || header.stream_id != m_stream_id ||
        !decoder.decode(jpeg, length, header.width, header.height, pixels)) {
        if (m_counters.broken++ == 0) TRACE_MSG("kaltro::LiveStream::decode", "stream %u: undecodable frame\n", m_stream_id);
        return;
    }
    const std::uint32_t target = m_target.load();
    if (target == 0) return;
    KALTRO_VIDEO_FRAME frame{};
    frame.width = static_cast<std::int32_t>(header.width);
    frame.height = static_cast<std::int32_t>(header.height);
    frame.stride = frame.width * 4;
    frame.pixels = pixels.data();
    ZOOM_PARAM zoom;
    {
        std::lock_guard<std::mutex> guard(m_zoom_lock);
        zoom = m_zoom;
    }
    CropRect crop = zoom_crop(zoom, frame.width, frame.height, video_targets().size(target));
    frame.crop_x = crop.x;
    frame.crop_y = crop.y;
    frame.crop_width = crop.width;
    frame.crop_height = crop.height;
    frame.sequence = header.sequence;
    frame.capture_ms = header.capture_ms;
    if (video_targets().deliver(target, frame)) m_counters.delivered++;
}

}  // namespace kaltro
