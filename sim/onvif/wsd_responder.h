#pragma once

// The WS-Discovery socket of the ONVIF cameras: one UDP socket on the
// wildcard address and the discovery port, a member of 239.255.255.250 on
// every card that can take multicast. It learns each datagram's destination
// (the group, or one camera's own address for a unicast Probe) and sends
// every camera's answer from that camera's own address, as a camera of its
// own on the LAN would.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/onvif/onvif_camera.h"

class WsdResponder {
public:
    WsdResponder(std::vector<std::shared_ptr<OnvifCamera>> cameras, std::uint16_t port);
    ~WsdResponder();
    WsdResponder(const WsdResponder&) = delete;
    WsdResponder& operator=(const WsdResponder&) = delete;

    // Binds and starts answering. "" or an error text; joining the group
    // on no card at all is not one (unicast Probes still work).
    std::string start();
    void stop();

    std::uint16_t port() const { return m_port; }
    // The cards whose group membership failed, for a warning.
    const std::vector<std::string>& unjoined() const { return m_unjoined; }
    std::uint64_t matches_sent() const { return m_sent.load(); }

private:
    void join_group();
    void run();
    void send_from(const std::string& from_ip, const std::string& bytes, const void* to, unsigned to_length);

    std::vector<std::shared_ptr<OnvifCamera>> m_cameras;
    std::uint16_t m_port;
    int m_fd = -1;
    std::vector<std::string> m_unjoined;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_sent{0};
};
