#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "discovery/udp_transport.h"
#include "sim/simulator.h"

// The cameras' side of discovery: one socket on the discovery port answers
// every device-information request with one reply per online camera, sent
// from the camera's own address to the request's server_ip:server_port, and
// applies a change-IP request to the camera whose MAC it names.
class DiscoveryResponder {
public:
    DiscoveryResponder(Simulator& simulator, IUdpTransport* transport);
    ~DiscoveryResponder();
    DiscoveryResponder(const DiscoveryResponder&) = delete;
    DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

    // Binds the discovery address and port and starts answering. "" or an error text.
    std::string start();
    void stop();

    // One received datagram (zero-padded buffer as the engine's receive path).
    void handle(char* buffer, long received, const char* source);

    std::uint64_t replies_sent() const { return m_replies.load(); }

private:
    void run();
    void answer_request(const char* body);
    void change_ip(const char* body);
    void send_reply(const CameraIdentity& identity, const char* server_ip, std::uint16_t server_port);

    Simulator& m_simulator;
    IUdpTransport* m_transport;
    std::unique_ptr<IUdpSocket> m_socket;
    std::thread m_thread;
    std::atomic<int> m_running{0};
    std::atomic<std::uint64_t> m_replies{0};
};
