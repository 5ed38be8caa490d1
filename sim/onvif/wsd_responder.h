#pragma once

// The WS-Discovery socket of the ONVIF cameras: one UDP socket on the
// wildcard address and the discovery port, a member of 239.255.255.250 on
// every card that can take multicast. It learns each datagram's destination
// (the group, or one camera's own address for a unicast Probe) and sends
// every camera's answer from that camera's own address, as a camera of its
// own on the LAN would. Answers to the group wait a random time up to the
// maximum delay first, as WS-Discovery asks (APP_MAX_DELAY), so a hundred
// cameras do not answer in one burst; answers to a unicast Probe go at once.

#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "sim/onvif/onvif_camera.h"

class WsdResponder {
public:
    WsdResponder(std::vector<std::shared_ptr<OnvifCamera>> cameras, std::uint16_t port, std::int64_t max_delay_ms);
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
    struct Pending {
        std::string from_ip;
        std::string bytes;
        sockaddr_in to;
    };

    void join_group();
    void run();
    void schedule(Pending pending, bool to_group);
    void run_sender();
    void send_from(const Pending& pending);

    std::vector<std::shared_ptr<OnvifCamera>> m_cameras;
    std::uint16_t m_port;
    std::int64_t m_max_delay_ms;
    int m_fd = -1;
    std::vector<std::string> m_unjoined;
    std::thread m_thread;
    std::thread m_sender;
    std::atomic<bool> m_running{false};
    std::atomic<std::uint64_t> m_sent{0};
    std::mutex m_lock;  // guards m_pending and m_random
    std::condition_variable m_wake;
    std::multimap<std::int64_t, Pending> m_pending;  // by rt_clock_ms when due
    std::mt19937 m_random{std::random_device{}()};
};
