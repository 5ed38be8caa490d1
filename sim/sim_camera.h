#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

// Which device protocols a camera speaks: the native search and client
// protocol, ONVIF, or both (one camera, one MAC, found by either search).
enum class CameraProtocol { native, onvif, both };

// What a simulated camera says about itself on the network: the fields of its
// discovery reply. Every side of the simulator (the discovery responders and
// the device servers) reads it; a change of address or a firmware upgrade
// changes it.
struct CameraIdentity {
    std::string mac;
    std::string ip;
    std::string mask = "255.255.255.0";
    std::string gateway;
    std::string version;
    std::uint16_t cmd_port = 8000;
    std::uint16_t media_port = 8001;
    std::uint16_t http_port = 80;
    std::uint16_t phone_port = 8002;
    std::int32_t ipc_type = 0;
    std::int32_t board_type = 0;
    std::int32_t device_type = 2;
    CameraProtocol protocol = CameraProtocol::native;

    bool speaks_native() const { return protocol != CameraProtocol::onvif; }
    bool speaks_onvif() const { return protocol != CameraProtocol::native; }
};

// "native", "onvif", "both".
const char* camera_protocol_name(CameraProtocol protocol);
// Reads those names; false for anything else.
bool parse_camera_protocol(const std::string& text, CameraProtocol* out);

// One simulated camera's shared state. Thread-safe: the responder thread, the
// device server's threads and the control side all use it.
class SimCamera {
public:
    explicit SimCamera(CameraIdentity identity) : m_identity(std::move(identity)) {}

    CameraIdentity identity() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_identity;
    }

    // Applies `change` to the identity under the lock.
    template <class F>
    void update(F&& change) {
        std::lock_guard<std::mutex> guard(m_lock);
        change(m_identity);
    }

    // False while the camera "reboots" (or is told never to come back): it
    // then answers neither discovery nor connections.
    bool online() const { return m_online.load(); }
    void set_online(bool online) { m_online.store(online); }

private:
    mutable std::mutex m_lock;
    CameraIdentity m_identity;
    std::atomic<bool> m_online{true};
};
