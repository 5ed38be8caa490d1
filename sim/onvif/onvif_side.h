#pragma once

// The ONVIF side of a simulator run: every camera that speaks ONVIF, its
// WS-Discovery responder, its HTTP services and RTSP stream, and the timer
// that ends the cameras' reboots (and moves their streams along).

#include <atomic>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "sim/onvif/http_server.h"
#include "sim/onvif/onvif_camera.h"
#include "sim/onvif/onvif_settings.h"
#include "sim/onvif/onvif_streams.h"
#include "sim/onvif/wsd_responder.h"
#include "sim/simulator.h"

class OnvifSide {
public:
    OnvifSide(const Simulator& simulator, const OnvifSideOptions& options);
    ~OnvifSide() { stop(); }
    OnvifSide(const OnvifSide&) = delete;
    OnvifSide& operator=(const OnvifSide&) = delete;

    bool empty() const { return m_cameras.empty(); }
    // Starts the responder, the HTTP server and the timer; "" or an error.
    std::string start();
    void stop();

    const std::vector<std::shared_ptr<OnvifCamera>>& cameras() const { return m_cameras; }
    std::shared_ptr<OnvifCamera> find(const std::string& mac) const;
    std::uint16_t wsd_port() const { return m_wsd.port(); }
    const WsdResponder& wsd() const { return m_wsd; }
    // The camera's "rtsp" object of the state dump; null without a stream.
    nlohmann::json rtsp_json(const std::string& mac) const;

private:
    void run_timer();

    std::vector<std::shared_ptr<OnvifCamera>> m_cameras;
    WsdResponder m_wsd;
    OnvifHttpServer m_http;
    std::unique_ptr<OnvifStreams> m_streams;  // null: no RTSP
    std::thread m_timer;
    std::atomic<bool> m_running{false};
};
