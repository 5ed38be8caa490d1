#include "rtsp/rtsp_live.h"

#include <arpa/inet.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "client/kaltro_live.h"
#include "discovery/netns_guard.h"
#include "rtsp/ffmpeg_trace.h"
#include "rtsp/login_probe.h"
#include "rtsp/stream_uri.h"
#include "rtsp/video_decoder.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace rtsp {

namespace {

struct StateName {
    LiveState state;
    const char* name;
};
constexpr StateName kStateNames[] = {
    {LiveState::starting, "starting"},
    {LiveState::playing, "playing"},
    {LiveState::stopped, "stopped"},
    {LiveState::ended, "ended by the camera"},
    {LiveState::stalled, "stalled"},
    {LiveState::garbage, "undecodable"},
    {LiveState::login_refused, "login refused"},
    {LiveState::clear_text_only, "clear-text login only"},
    {LiveState::redirected, "redirected"},
    {LiveState::not_found, "no such stream"},
    {LiveState::unreachable, "unreachable"},
    {LiveState::bad_uri, "unusable stream address"},
    {LiveState::foreign_host, "stream address off the camera"},
    {LiveState::guarded, "refused by the network guard"},
    {LiveState::unsupported, "no H.264 or H.265 video"},
    {LiveState::failed, "failed"},
};

LiveState after_probe(ProbeResult result) {
    switch (result) {
        case ProbeResult::digest:
        case ProbeResult::open: return LiveState::starting;
        case ProbeResult::clear_text_only: return LiveState::clear_text_only;
        case ProbeResult::redirected: return LiveState::redirected;
        case ProbeResult::not_found: return LiveState::not_found;
        case ProbeResult::unreachable: return LiveState::unreachable;
        case ProbeResult::stopped: return LiveState::stopped;
        case ProbeResult::failed: break;
    }
    return LiveState::failed;
}

LiveState after_open_error(int error) {
    if (error == AVERROR_HTTP_UNAUTHORIZED || error == AVERROR_HTTP_FORBIDDEN) return LiveState::login_refused;
    if (error == AVERROR_HTTP_NOT_FOUND) return LiveState::not_found;
    if (error == AVERROR(ECONNREFUSED) || error == AVERROR(ETIMEDOUT) || error == AVERROR(EHOSTUNREACH) ||
        error == AVERROR(ENETUNREACH) || error == AVERROR(ECONNRESET) || error == AVERROR_EOF)
        return LiveState::unreachable;
    return LiveState::failed;
}

std::string error_text(int error) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(error, text, sizeof text);
    return text;
}

}  // namespace

const char* live_state_name(LiveState state) {
    for (const StateName& entry : kStateNames)
        if (entry.state == state) return entry.name;
    return "?";
}

bool live_state_final(LiveState state) { return state != LiveState::starting && state != LiveState::playing; }

// One FFmpeg session: the input, its interrupt callback and the decoder.
class RtspLive::Session {
public:
    explicit Session(RtspLive& live) : m_live(live) {}
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // `starting` once the stream plays, or the state it ended in.
    LiveState open(const std::string& url);
    // Reads, decodes and delivers until the stream ends; the state it ended in.
    LiveState play();

private:
    enum class Phase { opening, streaming, closing };
    static int interrupted(void* self);
    void narrow_protocols();
    LiveState ended_by(int error, int packets_since_picture, int broken_since_picture) const;
    void deliver(const KALTRO_VIDEO_FRAME& frame);

    RtspLive& m_live;
    AVFormatContext* m_format = nullptr;
    int m_stream = -1;
    VideoDecoder m_decoder;
    Phase m_phase = Phase::opening;
    std::int64_t m_deadline = 0;  // rt_clock_ms; the interrupt callback ends the wait after it
    bool m_narrowed = false;
    char* m_retired_protocols = nullptr;
};

RtspLive::Session::~Session() {
    if (!m_format) return;
    // FFmpeg sends TEARDOWN as it closes; only the close budget may cut it short.
    m_phase = Phase::closing;
    m_deadline = rt_clock_ms() + m_live.m_options.close_ms;
    avformat_close_input(&m_format);
}

// Once the connection to the camera is made, no other may be: FFmpeg would
// follow a redirect of any later reply to any address, and it opens every
// connection by the protocols this list allows. The callback first runs
// before the first request is written, so before any reply is read.
void RtspLive::Session::narrow_protocols() {
    if (m_narrowed || !m_format) return;
    m_narrowed = true;
    m_retired_protocols = m_format->protocol_whitelist;  // still read by the open in progress
    m_format->protocol_whitelist = av_strdup("rtsp");
}

int RtspLive::Session::interrupted(void* user) {
    auto* self = static_cast<Session*>(user);
    self->narrow_protocols();
    if (self->m_phase != Phase::closing && self->m_live.m_stop.load()) return 1;
    return rt_clock_ms() > self->m_deadline ? 1 : 0;
}

LiveState RtspLive::Session::open(const std::string& url) {
    m_format = avformat_alloc_context();
    if (!m_format) return LiveState::failed;
    m_format->interrupt_callback = {&Session::interrupted, this};
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);
    av_dict_set(&options, "allowed_media_types", "video", 0);
    av_dict_set(&options, "protocol_whitelist", "tcp", 0);
    // Nothing is held back to smooth or to probe the stream: the SDP names
    // the codec. (FFmpeg still holds each picture until the next one begins,
    // as it finds where a picture ends only from there: one picture interval.)
    av_dict_set(&options, "fflags", "nobuffer", 0);
    av_dict_set(&options, "probesize", "32768", 0);
    av_dict_set(&options, "analyzeduration", "0", 0);
    av_dict_set(&options, "user_agent", "tervane", 0);
    m_deadline = rt_clock_ms() + m_live.m_options.open_ms;
    const int error = avformat_open_input(&m_format, url.c_str(), av_find_input_format("rtsp"), &options);
    av_dict_free(&options);
    av_freep(&m_retired_protocols);
    if (error < 0) {
        if (m_live.m_stop.load()) return LiveState::stopped;
        TRACE_MSG("rtsp::RtspLive::open", "open failed: %s\n", error_text(error).c_str());
        return error == AVERROR_EXIT ? LiveState::unreachable : after_open_error(error);
    }
    for (unsigned i = 0; i < m_format->nb_streams && m_stream < 0; ++i)
        if (m_format->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            m_decoder.open(*m_format->streams[i]->codecpar))
            m_stream = static_cast<int>(i);
    return m_stream < 0 ? LiveState::unsupported : LiveState::starting;
}

void RtspLive::Session::deliver(const KALTRO_VIDEO_FRAME& frame) {
    const bool taken = m_live.m_options.video_target != 0 &&
                       Network_ClientDeliverVideoFrame(m_live.m_options.video_target, &frame) == NETWORK_OK;
    std::lock_guard<std::mutex> guard(m_live.m_counts_lock);
    m_live.m_counts.pictures++;
    if (taken) m_live.m_counts.delivered++;
}

LiveState RtspLive::Session::ended_by(int error, int packets_since_picture, int broken_since_picture) const {
    if (m_live.m_stop.load()) return LiveState::stopped;
    if (error != AVERROR_EXIT) {
        TRACE_MSG("rtsp::RtspLive::play", "stream ended: %s\n", error_text(error).c_str());
        return LiveState::ended;
    }
    return broken_since_picture > 0 || packets_since_picture > 2 ? LiveState::garbage : LiveState::stalled;
}

LiveState RtspLive::Session::play() {
    m_phase = Phase::streaming;
    AVPacket* packet = av_packet_alloc();
    if (!packet) return LiveState::failed;
    int packets_since_picture = 0, broken_since_picture = 0;
    LiveState end = LiveState::ended;
    for (;;) {
        const int read = av_read_frame(m_format, packet);
        if (read < 0) {
            end = ended_by(read, packets_since_picture, broken_since_picture);
            break;
        }
        if (packet->stream_index == m_stream) {
            const VideoDecoder::Counts decoded =
                m_decoder.decode(packet, [this](const KALTRO_VIDEO_FRAME& frame) { deliver(frame); });
            packets_since_picture++;
            broken_since_picture += decoded.broken;
            {
                std::lock_guard<std::mutex> guard(m_live.m_counts_lock);
                m_live.m_counts.packets++;
                m_live.m_counts.broken += static_cast<std::uint32_t>(decoded.broken);
            }
            if (decoded.good > 0) {
                packets_since_picture = broken_since_picture = 0;
                m_deadline = rt_clock_ms() + m_live.m_options.stall_ms;
                if (m_live.state() == LiveState::starting) m_live.set_state(LiveState::playing);
            }
        }
        av_packet_unref(packet);
        // Packets that keep coming but never decode do not end the wait in FFmpeg.
        if (rt_clock_ms() > m_deadline) {
            end = ended_by(AVERROR_EXIT, packets_since_picture, broken_since_picture);
            break;
        }
    }
    av_packet_free(&packet);
    return end;
}

RtspLive::RtspLive(LiveOptions options, StateCallback on_state)
    : m_options(std::move(options)), m_on_state(std::move(on_state)) {
    m_thread = std::thread(&RtspLive::run, this);
}

RtspLive::~RtspLive() { stop(); }

void RtspLive::stop() {
    std::lock_guard<std::mutex> guard(m_stop_lock);
    m_stop.store(true);
    if (m_thread.joinable()) m_thread.join();
}

LiveCounts RtspLive::counts() const {
    std::lock_guard<std::mutex> guard(m_counts_lock);
    return m_counts;
}

void RtspLive::set_state(LiveState state) {
    m_state.store(state);
    if (m_on_state) m_on_state(state);
}

LiveState RtspLive::stream() {
    StreamUri uri;
    std::string url;
    const UriVerdict verdict = parse_stream_uri(m_options.uri, m_options.camera_address, &uri);
    if (verdict == UriVerdict::foreign_host) return LiveState::foreign_host;
    if (verdict != UriVerdict::ok || !ffmpeg_url(uri, m_options.user, m_options.password, &url))
        return LiveState::bad_uri;
    in_addr address{};
    inet_pton(AF_INET, uri.host.c_str(), &address);
    if (netns_guard_refuses(address)) return LiveState::guarded;
    TRACE_MSG("rtsp::RtspLive", "opening %s\n", plain_uri(uri).c_str());
    int status = 0;
    const LiveState probed = after_probe(probe_login(uri, m_options.open_ms, [this] { return m_stop.load(); }, &status));
    if (probed != LiveState::starting) {
        TRACE_MSG("rtsp::RtspLive", "%s refused before login: %s (status %d)\n", plain_uri(uri).c_str(),
                  live_state_name(probed), status);
        return probed;
    }
    Session session(*this);
    const LiveState opened = session.open(url);
    return opened == LiveState::starting ? session.play() : opened;
}

void RtspLive::run() {
    route_ffmpeg_messages();
    const LiveState end = stream();  // the session is closed (TEARDOWN) when this returns
    if (m_options.video_target != 0) {
        const KALTRO_VIDEO_FRAME none{};
        Network_ClientDeliverVideoFrame(m_options.video_target, &none);
    }
    TRACE_MSG("rtsp::RtspLive", "stream %s\n", live_state_name(end));
    set_state(end);
}

}  // namespace rtsp
