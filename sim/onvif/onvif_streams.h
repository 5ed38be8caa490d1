#pragma once

// The RTSP streams of a simulator run's ONVIF cameras: each online camera's
// moving test picture served on its own address (GStreamer's RTSP server,
// sim/rtsp/), behind the digest login of its first account, as its
// settings say (codec, size, fault). What GetStreamUri answers is the
// address served. A camera that moves is served at its new address; one
// that reboots stops streaming until it is back, as a real one would.

#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "sim/onvif/onvif_camera.h"
#include "sim/rtsp/rtsp_server.h"

class OnvifStreams {
public:
    OnvifStreams(std::vector<std::shared_ptr<OnvifCamera>> cameras, std::uint16_t port);

    // Serves every online camera; "" or the first error.
    std::string start();
    // Follows the cameras' addresses and reboots (the side's timer calls it).
    void follow();
    void stop();
    // The camera's "rtsp" object of the state dump; null when it never streamed.
    nlohmann::json to_json(const std::string& mac) const;

private:
    std::string serve(OnvifCamera& camera);

    std::vector<std::shared_ptr<OnvifCamera>> m_cameras;
    const std::uint16_t m_port;
    RtspServer m_server;
    mutable std::mutex m_lock;                    // guards both maps
    std::map<std::string, std::string> m_served;  // MAC -> the address its stream is served on
    std::map<std::string, std::string> m_failed;  // MAC -> the address serving failed on (tried again elsewhere only)
};
