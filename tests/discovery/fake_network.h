#pragma once

#include <chrono>
#include <cstdio>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discovery/udp_transport.h"
#include "runtime/rt_time.h"

// An in-memory UDP network for the engine's tests. A datagram sent to an
// address and port goes, as on Linux, to the socket bound to exactly that
// address if there is one, else to the last socket bound to the wildcard
// address on that port; datagrams to the device port are handed to `device`.
class FakeNetwork : public IUdpTransport {
public:
    struct Datagram {
        std::string from;  // bound address of the sending socket ("" wildcard)
        std::uint16_t from_port = 0;
        std::string to;
        std::uint16_t port = 0;
        std::string bytes;
        std::int64_t at_ms = 0;  // rt_clock_ms when sent
    };

    std::vector<std::string> interfaces{"192.168.1.20"};
    std::uint16_t device_port = 13000;
    // Called (from the sending thread) for every datagram to device_port;
    // may be replaced while the engine runs.
    void set_device(std::function<void(const Datagram&)> device) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_device = std::move(device);
    }

    std::unique_ptr<IUdpSocket> open_udp() override;
    int list_ipv4_addresses(std::vector<std::string>* addresses) override {
        *addresses = interfaces;
        return 0;
    }

    // Delivers a datagram from `source`; false when no socket holds the port.
    bool deliver(const std::string& source, const std::string& to, std::uint16_t port, const std::string& bytes);

    std::vector<Datagram> sent() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }

private:
    class Socket;
    friend class Socket;
    void record(Datagram datagram);
    void attach(Socket* socket);
    void detach(Socket* socket);

    mutable std::mutex m_lock;
    std::vector<Socket*> m_bound;
    std::vector<Datagram> m_sent;
    std::function<void(const Datagram&)> m_device;
};

class FakeNetwork::Socket : public IUdpSocket {
public:
    explicit Socket(FakeNetwork* network) : m_network(network) {}
    ~Socket() override { m_network->detach(this); }

    int set_reuse_address() override { return 0; }
    int set_receive_buffer(int) override { return 0; }
    int set_broadcast() override { return 0; }
    int bind(const char* address, std::uint16_t port) override {
        m_address = address ? address : "";
        m_port = port;
        m_network->attach(this);
        return 0;
    }
    long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) override {
        Datagram d{m_address, m_port, address, port, std::string(static_cast<const char*>(data), length), rt_clock_ms()};
        m_network->record(d);
        return static_cast<long>(length);
    }
    long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        std::unique_lock<std::mutex> guard(m_lock);
        m_ready.wait(guard, [&] { return m_shut || !m_queue.empty(); });
        return take(buffer, size, source);
    }
    long try_receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_queue.empty() ? -1 : take(buffer, size, source);
    }
    void shutdown() override {
        std::lock_guard<std::mutex> guard(m_lock);
        m_shut = true;
        m_ready.notify_all();
    }
    int last_error() const override { return 0; }

    void push(const std::string& source, const std::string& bytes) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.emplace_back(source, bytes);
        m_ready.notify_all();
    }
    const std::string& address() const { return m_address; }
    std::uint16_t port() const { return m_port; }

private:
    long take(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) {
        if (m_queue.empty()) return 0;
        auto [from, bytes] = m_queue.front();
        m_queue.pop_front();
        std::size_t n = bytes.size() < size ? bytes.size() : size;
        std::memcpy(buffer, bytes.data(), n);
        std::snprintf(source, UDP_ADDRESS_SIZE, "%s", from.c_str());
        return static_cast<long>(n);
    }

    FakeNetwork* m_network;
    std::string m_address;
    std::uint16_t m_port = 0;
    std::mutex m_lock;
    std::condition_variable m_ready;
    std::deque<std::pair<std::string, std::string>> m_queue;
    bool m_shut = false;
};

inline std::unique_ptr<IUdpSocket> FakeNetwork::open_udp() { return std::make_unique<Socket>(this); }

inline void FakeNetwork::attach(Socket* socket) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_bound.push_back(socket);
}

inline void FakeNetwork::detach(Socket* socket) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::erase(m_bound, socket);
}

inline void FakeNetwork::record(Datagram datagram) {
    std::function<void(const Datagram&)> device;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_sent.push_back(datagram);
        if (datagram.port == device_port) device = m_device;
    }
    if (device) device(datagram);
}

inline bool FakeNetwork::deliver(const std::string& source, const std::string& to, std::uint16_t port,
                                 const std::string& bytes) {
    std::lock_guard<std::mutex> guard(m_lock);
    Socket* target = nullptr;
    for (Socket* s : m_bound)
        if (s->port() == port && s->address() == to) target = s;
    if (target == nullptr)
        for (Socket* s : m_bound)
            if (s->port() == port && s->address().empty()) target = s;
    if (target == nullptr) return false;
    target->push(source, bytes);
    return true;
}

// Waits (real time, with a deadline) until pred holds.
template <class Pred>
bool wait_for(Pred pred, int deadline_ms = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(deadline_ms);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}
