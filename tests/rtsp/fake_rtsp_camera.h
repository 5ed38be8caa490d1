#pragma once

// A camera that speaks just enough RTSP to misbehave: it answers every
// request on a loopback address with the reply its script gives for the
// method, and remembers what it was sent, so tests can check what a client
// sends to a camera that asks for clear-text login or redirects it.

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class FakeRtspCamera {
public:
    // Gets the method ("OPTIONS", ...) and the CSeq; returns the whole reply,
    // or "" to answer nothing and keep the connection open.
    using Script = std::function<std::string(const std::string& method, const std::string& cseq)>;

    FakeRtspCamera(const std::string& address, Script script);
    ~FakeRtspCamera();

    std::uint16_t port() const { return m_port; }
    int connections() const { return m_connections.load(); }
    // Every request head received, in order.
    std::vector<std::string> requests() const;

    // "RTSP/1.0 <status>" with the CSeq and any extra header lines.
    static std::string reply(const std::string& status, const std::string& cseq, const std::string& headers = "");

private:
    void run();
    void serve(int fd);

    Script m_script;
    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    mutable std::mutex m_lock;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
