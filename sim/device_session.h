#pragma once

// The device side of one client connection: parses the client's frames,
// runs the login handshake and answers requests from the camera's
// DeviceState. Transport-free, so the fuzz target drives it with raw bytes.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/login_auth.h"
#include "client/protocol.h"
#include "sim/device_state.h"
#include "sim/live_source.h"

class DeviceSession {
public:
    using Send = std::function<void(const std::vector<std::uint8_t>&)>;
    // What the connection should do after a batch of bytes.
    enum class Verdict { keep, close, reboot };

    DeviceSession(DeviceState& device, Send send);
    ~DeviceSession();
    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // Feeds bytes from the client. A broken stream, a protocol violation or
    // a logout closes the connection; a verified upgrade reboots the camera.
    Verdict on_bytes(const std::uint8_t* data, std::size_t length);
    // Live video: how long the connection may wait for input before the
    // next frame is due (at most `idle`), and sending the frame when it is.
    std::int64_t wait_ms(std::int64_t idle) const { return m_live.wait_ms(idle); }
    void on_tick();
    // A client watching a stream may stay silent: it is reading.
    bool streaming() const { return m_live.streaming(); }

private:
    Verdict handle(const kaltro::FrameView& frame);
    Verdict handle_login(const kaltro::FrameView& frame);
    Verdict handle_request(const kaltro::FrameView& frame);
    Verdict handle_upgrade(const kaltro::FrameView& frame);
    Verdict handle_live(const kaltro::FrameView& frame);
    void answer(const kaltro::FrameView& request, std::int32_t status, const std::vector<std::uint8_t>& payload = {});

    DeviceState& m_device;
    Send m_send;
    kaltro::FrameReader m_reader;
    std::string m_user;
    kaltro::Nonce m_nonce{};
    bool m_challenged = false;
    bool m_logged_in = false;
    LiveSource m_live;
};
