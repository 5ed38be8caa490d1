#include "sim/live_source.h"

#include <algorithm>

#include "client/kaltro_client.h"
#include "client/live_protocol.h"
#include "client/protocol.h"
#include "runtime/rt_time.h"

namespace {
std::int64_t frame_interval_ms() {
    return static_cast<std::int64_t>(1000.0 / LiveSource::kFramesPerSecond * rt_time_speed());
}
}  // namespace

LiveSource::LiveSource(SimCamera& camera, LiveLog& log) : m_camera(camera), m_log(log) {}

LiveSource::~LiveSource() {
    end_mic_test();
    end_stream();
}

void LiveSource::end_stream() {
    if (m_stream_id == 0) return;
    m_stream_id = 0;
    m_log.streams_stopped++;
    m_log.streams_running--;
}

void LiveSource::end_mic_test() {
    if (!m_mic_test) return;
    m_mic_test = false;
    m_log.mic_tests_stopped++;
    m_log.mic_test_on.store(false);
}

std::int32_t LiveSource::start(std::uint32_t channel, std::uint32_t& stream_id) {
    if (channel != 0) return NETWORK_ERR_INVALID_ARG;
    if (!m_picture) m_picture = std::make_unique<LivePicture>();
    end_stream();  // one stream per connection: a new start replaces the old one
    m_stream_id = m_next_id++;
    m_sequence = 0;
    m_due_ms = rt_clock_ms();
    m_log.streams_started++;
    m_log.streams_running++;
    stream_id = m_stream_id;
    return NETWORK_OK;
}

std::int32_t LiveSource::stop(std::uint32_t stream_id) {
    if (stream_id == 0 || stream_id != m_stream_id) return NETWORK_ERR_INVALID_HANDLE;
    end_mic_test();
    end_stream();
    return NETWORK_OK;
}

std::int32_t LiveSource::control(std::uint32_t stream_id, std::int32_t command) {
    if (stream_id == 0 || stream_id != m_stream_id) return NETWORK_ERR_INVALID_HANDLE;
    if (command == LIVE_CTRL_MIC_TEST_START) {
        if (!m_mic_test) m_log.mic_tests_started++;
        m_mic_test = true;
        m_log.mic_test_on.store(true);
        return NETWORK_OK;
    }
    if (command == LIVE_CTRL_MIC_TEST_STOP) {
        end_mic_test();
        return NETWORK_OK;
    }
    return NETWORK_ERR_NOT_SUPPORTED;
}

std::int64_t LiveSource::wait_ms(std::int64_t idle) const {
    if (m_stream_id == 0) return idle;
    return std::clamp<std::int64_t>(m_due_ms - rt_clock_ms(), 0, idle);
}

bool LiveSource::take_due_frame(std::vector<std::uint8_t>& payload) {
    const std::int64_t now = rt_clock_ms();
    if (m_stream_id == 0 || now < m_due_ms) return false;
    // A connection that fell behind skips frames rather than bursting.
    m_due_ms = std::max(m_due_ms + frame_interval_ms(), now);
    std::vector<std::uint8_t> jpeg = m_picture->render_jpeg(m_sequence, m_camera.identity().mac, live_clock_text());
    // A picture too large for one frame would make the client drop the login.
    if (jpeg.empty() || jpeg.size() + kaltro::kLiveFrameHeaderSize > kaltro::kMaxPayload) return false;
    kaltro::LiveFrameHeader header;
    header.stream_id = m_stream_id;
    header.sequence = m_sequence++;
    header.width = static_cast<std::uint32_t>(m_picture->width());
    header.height = static_cast<std::uint32_t>(m_picture->height());
    header.capture_ms = static_cast<std::uint64_t>(now);
    payload = kaltro::encode_live_frame(header, jpeg.data(), jpeg.size());
    m_log.frames_sent++;
    return true;
}
