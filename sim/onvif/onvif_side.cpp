#include "sim/onvif/onvif_side.h"

#include "runtime/rt_time.h"

namespace {

constexpr std::int64_t kTickMs = 50;  // how late a reboot may end, in runtime time

std::vector<std::shared_ptr<OnvifCamera>> onvif_cameras(const Simulator& simulator, const OnvifSideOptions& o) {
    std::vector<std::shared_ptr<OnvifCamera>> cameras;
    for (const auto& camera : simulator.cameras()) {
        CameraIdentity id = camera->identity();
        if (id.speaks_onvif())
            cameras.push_back(std::make_shared<OnvifCamera>(camera, o.settings_for(id.mac), o.accounts, o.down_ms));
    }
    return cameras;
}

}  // namespace

OnvifSide::OnvifSide(const Simulator& simulator, const OnvifSideOptions& options)
    : m_cameras(onvif_cameras(simulator, options)), m_wsd(m_cameras, options.wsd_port, options.wsd_max_delay_ms), m_http(m_cameras) {
    if (options.rtsp) m_streams = std::make_unique<OnvifStreams>(m_cameras, options.rtsp_port);
}

std::string OnvifSide::start() {
    if (std::string error = m_http.start(); !error.empty()) return error;
    if (std::string error = m_wsd.start(); !error.empty()) {
        m_http.stop();
        return "WS-Discovery: " + error;
    }
    if (std::string error = m_streams ? m_streams->start() : ""; !error.empty()) {
        m_wsd.stop();
        m_http.stop();
        return error;
    }
    m_running.store(true);
    m_timer = std::thread(&OnvifSide::run_timer, this);
    return "";
}

void OnvifSide::stop() {
    if (!m_running.exchange(false)) return;
    if (m_timer.joinable()) m_timer.join();
    if (m_streams) m_streams->stop();
    m_wsd.stop();
    m_http.stop();
}

nlohmann::json OnvifSide::rtsp_json(const std::string& mac) const {
    return m_streams ? m_streams->to_json(mac) : nlohmann::json();
}

std::shared_ptr<OnvifCamera> OnvifSide::find(const std::string& mac) const {
    for (const auto& camera : m_cameras)
        if (camera->identity().mac == mac) return camera;
    return nullptr;
}

void OnvifSide::run_timer() {
    while (m_running.load()) {
        rt_sleep_ms(kTickMs);
        std::int64_t now = rt_clock_ms();
        for (const auto& camera : m_cameras) camera->tick(now);
        if (m_streams) m_streams->follow();
    }
}
