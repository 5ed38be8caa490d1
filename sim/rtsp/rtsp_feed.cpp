#include "sim/rtsp/rtsp_feed.h"

#include <gst/app/gstappsrc.h>

#include <chrono>
#include <vector>

#include "runtime/rt_time.h"
#include "sim/live_time_code.h"

namespace {

std::uint32_t next_noise(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

bool is_slice(RtspCodec codec, std::uint8_t nal_header) {
    if (codec == RtspCodec::h265) return ((nal_header >> 1) & 0x3F) < 32;  // the VCL types
    const int type = nal_header & 0x1F;
    return type >= 1 && type <= 5;
}

}  // namespace

void corrupt_slices(RtspCodec codec, std::uint8_t* data, std::size_t size, std::uint32_t& seed) {
    const std::size_t header = codec == RtspCodec::h265 ? 2 : 1;
    bool in_slice = false;
    for (std::size_t i = 0; i < size; ++i) {
        // A start code begins the next unit; its header says whether it is a slice.
        if (i + 2 + header < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1) {
            in_slice = is_slice(codec, data[i + 3]);
            i += 2 + header;
            continue;
        }
        // Noise must not invent start codes, or the units it hides would be read.
        if (in_slice) data[i] = static_cast<std::uint8_t>(next_noise(seed) | 0x80);
    }
}

RtspFeed::RtspFeed(GstElement* source, GstPad* encoded, RtspFeedConfig config, std::shared_ptr<RtspLog> log)
    : m_source(GST_ELEMENT(gst_object_ref(source))),
      m_encoded(GST_PAD(gst_object_ref(encoded))),
      m_config(std::move(config)),
      m_log(std::move(log)) {
    m_probe = gst_pad_add_probe(m_encoded, GST_PAD_PROBE_TYPE_BUFFER, &RtspFeed::on_encoded, this, nullptr);
    m_log->streams_running++;
    m_thread = std::thread(&RtspFeed::run, this);
}

RtspFeed::~RtspFeed() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_thread.join();
    if (m_probe != 0) gst_pad_remove_probe(m_encoded, m_probe);
    gst_object_unref(m_encoded);
    gst_object_unref(m_source);
    m_log->streams_running--;
}

void RtspFeed::run() {
    LivePicture picture(m_config.size);
    // Pictures come in real time whatever the simulated time speed: they are for people to watch.
    const double interval = 1000.0 / m_config.fps * rt_time_speed();
    const std::int64_t fault_at = m_config.fault.after_ms * m_config.fps / 1000;
    std::int64_t start = rt_clock_ms();
    for (std::uint32_t sequence = 0;; ++sequence) {
        std::unique_lock<std::mutex> guard(m_lock);
        const std::int64_t due = start + static_cast<std::int64_t>(sequence * interval);
        // A feed that fell behind skips pictures rather than bursting them.
        if (rt_clock_ms() - due > interval) start = rt_clock_ms() - static_cast<std::int64_t>(sequence * interval);
        if (rt_wait_ms(m_wake, guard, due - rt_clock_ms(), [this] { return m_stopping; })) return;
        const bool faulty = m_config.fault.kind != RtspFault::Kind::none && sequence >= fault_at;
        if (faulty && m_config.fault.kind != RtspFault::Kind::garbage) {
            if (m_config.fault.kind == RtspFault::Kind::end) gst_app_src_end_of_stream(GST_APP_SRC(m_source));
            m_wake.wait(guard, [this] { return m_stopping; });
            return;
        }
        guard.unlock();
        m_garbage.store(faulty);
        push_picture(picture, sequence);
    }
}

void RtspFeed::push_picture(LivePicture& picture, std::uint32_t sequence) {
    const std::int64_t now = rt_calendar_ms();
    std::vector<std::uint8_t>& rgb = picture.render_rgb(sequence, m_config.mac, live_clock_text(now));
    draw_live_time_code(rgb.data(), picture.width(), picture.height(), now);
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, rgb.size(), nullptr);
    gst_buffer_fill(buffer, 0, rgb.data(), rgb.size());
    // Time since the feed began: steady whatever state the pipeline passes
    // through (the source's own stamps go wrong across its pauses).
    GST_BUFFER_PTS(buffer) = static_cast<GstClockTime>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - m_started).count());
    GST_BUFFER_DURATION(buffer) = GST_SECOND / static_cast<GstClockTime>(m_config.fps);
    // Before PLAY and after the pipeline stopped the source refuses it; that is no fault.
    gst_app_src_push_buffer(GST_APP_SRC(m_source), buffer);
}

GstPadProbeReturn RtspFeed::on_encoded(GstPad*, GstPadProbeInfo* info, gpointer user) {
    auto* self = static_cast<RtspFeed*>(user);
    // Counted here, past the source's queue, which drops pictures the encoder has no time for.
    self->m_log->frames_sent++;
    if (!self->m_garbage.load()) return GST_PAD_PROBE_OK;
    GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
    GST_PAD_PROBE_INFO_DATA(info) = buffer;
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        corrupt_slices(self->m_config.codec, map.data, map.size, self->m_noise);
        gst_buffer_unmap(buffer, &map);
    }
    return GST_PAD_PROBE_OK;
}
