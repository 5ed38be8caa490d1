#include "factory_test/onvif_bench.h"

#include <algorithm>

#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "search/identity_pool.h"

namespace {

bool streams_video(const onvif::VideoProfile& profile) {
    return profile.codec == onvif::VideoCodec::h264 || profile.codec == onvif::VideoCodec::h265;
}

bool offers(const std::vector<onvif::IrCutMode>& modes, onvif::IrCutMode mode) {
    return std::find(modes.begin(), modes.end(), mode) != modes.end();
}

// The wait for a stream's first picture (or its end), each state change
// told to it.
struct LiveStart {
    std::mutex lock;
    std::condition_variable changed;
    bool started = false;
};

}  // namespace

std::optional<onvif::VideoProfile> bench_profile(const std::vector<onvif::VideoProfile>& profiles) {
    auto video = std::find_if(profiles.begin(), profiles.end(), streams_video);
    if (video != profiles.end()) return *video;
    auto unnamed = std::find_if(profiles.begin(), profiles.end(),
                                [](const onvif::VideoProfile& profile) { return profile.encoding.empty(); });
    if (unnamed != profiles.end()) return *unnamed;
    return std::nullopt;
}

OnvifBenchCamera::OnvifBenchCamera(std::unique_ptr<onvif::ICamera> session, std::string ip, onvif::Credentials login)
    : m_session(std::move(session)), m_ip(std::move(ip)), m_login(std::move(login)) {
    m_session->set_abort_check([this] { return closing(); });
    m_thread = std::thread(&OnvifBenchCamera::run, this);
}

bool OnvifBenchCamera::closing() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_closing;
}

OnvifBenchCamera::~OnvifBenchCamera() {
    close();
    m_session->set_abort_check(nullptr);
}

void OnvifBenchCamera::close() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closing = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable() && m_thread.get_id() != std::this_thread::get_id()) m_thread.join();
    stop_live();
}

void OnvifBenchCamera::traced(const char* what, const onvif::Result& result) const {
    if (!result.ok())
        TRACE_MSG("OnvifBenchCamera", "%s %s: %d %s\n", m_ip.c_str(), what, static_cast<int>(result.status),
                  result.detail.c_str());
}

OnvifBringUp OnvifBenchCamera::bring_up(std::int64_t budget_ms) {
    onvif::FoundEndpoint found;
    found.xaddr = m_session->device_xaddr();
    found.address = m_ip;
    IdentityReading identity = CIdentityPool::read_identity(*m_session, found, budget_ms, [this] { return closing(); });
    // The reading clears the session's abort check as it returns.
    m_session->set_abort_check([this] { return closing(); });
    m_state = OnvifBringUp{};
    m_state.info = identity.information;
    m_state.mac = identity.mac;
    if (identity.state != IdentityState::known) {
        m_state.login_error = identity.error;
        TRACE_MSG("OnvifBenchCamera::bring_up", "%s: %s\n", m_ip.c_str(), identity.error.c_str());
        return m_state;
    }
    m_state.logged_in = true;
    onvif::Services services;
    onvif::Result result = m_session->discover_services(&services);
    traced("services", result);
    std::vector<onvif::VideoProfile> profiles;
    if (result.ok()) result = m_session->get_profiles(&profiles);
    traced("GetProfiles", result);
    if (result.ok()) m_state.profile = bench_profile(profiles);
    if (!result.ok()) m_state.stream_error = result.detail;
    else if (!m_state.profile) m_state.stream_error = "no H.264 or H.265 profile";
    if (m_state.profile) {
        result = m_session->get_stream_uri(m_state.profile->token, &m_state.stream_uri);
        traced("GetStreamUri", result);
        if (!result.ok()) m_state.stream_error = result.detail;
        read_offer(services);
    }
    return m_state;
}

// Pan/tilt and zoom as the profile's PTZ node can do them, the IR-cut
// filter as the imaging service offers it for the profile's video source.
void OnvifBenchCamera::read_offer(const onvif::Services& services) {
    const onvif::VideoProfile& profile = *m_state.profile;
    if (!services.ptz.empty() && !profile.ptz_node.empty()) {
        onvif::Result result = m_session->get_ptz_node(profile.ptz_node, &m_node);
        traced("GetNode", result);
        m_state.offer.pan_tilt = result.ok() && onvif::offers_pan_tilt(m_node);
        m_state.offer.zoom = result.ok() && onvif::offers_zoom(m_node);
    }
    if (!services.imaging.empty() && !profile.video_source.empty()) {
        std::vector<onvif::IrCutMode> modes;
        onvif::Result result = m_session->get_ir_cut_modes(profile.video_source, &modes);
        traced("imaging GetOptions", result);
        m_state.offer.ir_cut = result.ok() && offers(modes, onvif::IrCutMode::on) && offers(modes, onvif::IrCutMode::off);
    }
}

rtsp::LiveState OnvifBenchCamera::start_live(std::uint32_t target, rtsp::RtspLive::StateCallback on_state) {
    stop_live();
    if (m_state.stream_uri.empty()) return rtsp::LiveState::not_found;
    rtsp::LiveOptions options;
    options.uri = m_state.stream_uri;
    options.camera_address = m_ip;
    options.user = m_login.user;
    options.password = m_login.password;
    options.video_target = target;
    auto start = std::make_shared<LiveStart>();
    auto live = std::make_unique<rtsp::RtspLive>(options, [start, on_state](rtsp::LiveState state) {
        if (state != rtsp::LiveState::starting) {
            std::lock_guard<std::mutex> guard(start->lock);
            start->started = true;
        }
        start->changed.notify_all();
        if (on_state) on_state(state);
    });
    {
        // The stream's own open budget ends the wait; the bound here only
        // keeps a stream that never reports from holding the caller.
        std::unique_lock<std::mutex> guard(start->lock);
        rt_wait_ms(start->changed, guard, options.open_ms + options.close_ms, [&] { return start->started; });
    }
    rtsp::LiveState state = live->state();
    std::lock_guard<std::mutex> guard(m_lock);
    m_live = std::move(live);
    return state;
}

void OnvifBenchCamera::stop_live() {
    std::unique_ptr<rtsp::RtspLive> live;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        live = std::move(m_live);
    }
    // Outside the lock: the stream's last state change may still be on its way.
    if (live) live->stop();
}

void OnvifBenchCamera::post(std::function<void()> command) {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (m_closing) return;
        m_queue.push_back(std::move(command));
    }
    m_wake.notify_all();
}

void OnvifBenchCamera::run() {
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_wake.wait(guard, [this] { return m_closing || !m_queue.empty(); });
        if (m_closing) return;
        std::function<void()> command = std::move(m_queue.front());
        m_queue.pop_front();
        guard.unlock();
        command();
        guard.lock();
    }
}

void OnvifBenchCamera::move(onvif::PanTiltDirection direction) {
    if (!m_state.offer.pan_tilt) return;
    post([this, direction] {
        traced("ContinuousMove",
               m_session->continuous_move(m_state.profile->token, *onvif::pan_tilt_velocity(m_node, direction)));
    });
}

void OnvifBenchCamera::stop_move() {
    if (!m_state.offer.pan_tilt && !m_state.offer.zoom) return;
    post([this] { traced("Stop", m_session->stop_move(m_state.profile->token)); });
}

void OnvifBenchCamera::zoom(double magnification) {
    if (!m_state.offer.zoom) return;
    post([this, magnification] {
        traced("zoom", m_session->move_zoom(m_state.profile->token, *onvif::zoom_move(m_node, magnification)));
    });
}

void OnvifBenchCamera::ir_cut(bool open) {
    if (!m_state.offer.ir_cut) return;
    post([this, open] {
        traced("SetImagingSettings", m_session->set_ir_cut(m_state.profile->video_source,
                                                           open ? onvif::IrCutMode::off : onvif::IrCutMode::on));
    });
}

bool OnvifBenchCamera::record_identity(RecordIdentity* out) {
    // Under m_lock: set by the command, or never when closing drops it.
    struct Reading {
        bool finished = false;
        onvif::Result result;
        onvif::DeviceInformation info;
    };
    auto reading = std::make_shared<Reading>();
    post([this, reading] {
        onvif::DeviceInformation info;
        onvif::Result result = m_session->get_device_information(&info);
        traced("GetDeviceInformation", result);
        std::lock_guard<std::mutex> guard(m_lock);
        *reading = Reading{true, result, info};
        m_wake.notify_all();
    });
    // The session's own time-outs bound the call; closing ends the wait.
    std::unique_lock<std::mutex> guard(m_lock);
    m_wake.wait(guard, [&] { return reading->finished || m_closing; });
    if (!reading->finished || !reading->result.ok()) return false;
    *out = RecordIdentity{m_state.mac, 0, reading->info.hardware_id, reading->info.firmware_version, "onvif",
                          reading->info.model};
    return true;
}
