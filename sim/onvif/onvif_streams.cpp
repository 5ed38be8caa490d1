#include "sim/onvif/onvif_streams.h"

#include "runtime/trace.h"

OnvifStreams::OnvifStreams(std::vector<std::shared_ptr<OnvifCamera>> cameras, std::uint16_t port)
    : m_cameras(std::move(cameras)), m_port(port) {}

std::string OnvifStreams::serve(OnvifCamera& camera) {
    const CameraIdentity id = camera.identity();
    const OnvifMediaSettings& media = camera.settings().media;
    RtspStreamConfig config;
    config.camera = id.mac;
    config.address = id.ip;
    config.port = m_port;
    config.size = {media.width, media.height};
    config.fault = media.rtsp_fault;
    config.codec = media.h265 ? RtspCodec::h265 : RtspCodec::h264;
    // The login the camera takes now, for the first of its accounts.
    camera.with_settings([&](OnvifDeviceSettings& s) {
        if (s.users.empty()) return;
        config.user = s.users.begin()->first;
        config.password = s.users.begin()->second.password;
    });
    std::string uri;
    std::string error = m_server.start_stream(config, &uri);
    std::lock_guard<std::mutex> guard(m_lock);
    if (!error.empty()) {
        m_failed[id.mac] = id.ip;
        return id.mac + ": " + error;
    }
    camera.set_stream_uri(uri);
    m_served[id.mac] = id.ip;
    m_failed.erase(id.mac);
    return "";
}

std::string OnvifStreams::start() {
    for (const auto& camera : m_cameras)
        if (std::string error = camera->online() ? serve(*camera) : ""; !error.empty()) return "RTSP: " + error;
    return "";
}

void OnvifStreams::follow() {
    for (const auto& camera : m_cameras) {
        const CameraIdentity id = camera->identity();
        std::string served, failed;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            auto it = m_served.find(id.mac);
            if (it != m_served.end()) served = it->second;
            auto refused = m_failed.find(id.mac);
            if (refused != m_failed.end()) failed = refused->second;
        }
        const bool wanted = camera->online();
        if (!served.empty() && (!wanted || served != id.ip)) {
            m_server.stop_stream(id.mac);
            std::lock_guard<std::mutex> guard(m_lock);
            m_served.erase(id.mac);
            served.clear();
        }
        if (served.empty() && wanted && failed != id.ip)
            if (std::string error = serve(*camera); !error.empty())
                TRACE_MSG("OnvifStreams::follow", "cannot stream %s\n", error.c_str());
    }
}

void OnvifStreams::stop() {
    std::lock_guard<std::mutex> guard(m_lock);
    for (const auto& [mac, address] : m_served) m_server.stop_stream(mac);
    m_served.clear();
}

nlohmann::json OnvifStreams::to_json(const std::string& mac) const { return m_server.to_json(mac); }
