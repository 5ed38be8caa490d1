#pragma once

#include <algorithm>
#include <cerrno>
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
// A bind to port 0 gets a port of its own from 49152 up.
class FakeNetwork : public IUdpTransport {
public:
    struct Datagram {
        std::string from;  // bound address of the sending socket ("" wildcard)
        std::uint16_t from_port = 0;
        std::string to;
        std::uint16_t port = 0;
        std::string bytes;
        std::int64_t at_ms = 0;  // rt_clock_ms when sent
        std::string multicast_if;  // the sending socket's multicast interface ("" none set)
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
    // Every socket that could receive a datagram to `to`:`port` fails one
    // receive (result -1, error EIO): while an engine's send socket shares
    // the reply port, the one its receive thread reads gets the error too.
    bool fail_receive(const std::string& to, std::uint16_t port);
    // Sends from sockets bound to this address fail (ENETUNREACH) and are not recorded.
    void refuse_sends_from(const std::string& address) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_refused_from.push_back(address);
    }

    std::vector<Datagram> sent() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_sent;
    }

    // Every bind made, with the receive buffer its socket had asked for by then.
    struct Bind {
        std::string address;
        std::uint16_t port = 0;
        int receive_buffer = 0;
    };
    std::vector<Bind> binds() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_binds;
    }

private:
    class Socket;
    friend class Socket;
    bool record(Datagram datagram);
    Socket* receiver_of(const std::string& to, std::uint16_t port);
    void attach(Socket* socket, int receive_buffer);
    void detach(Socket* socket);

    mutable std::mutex m_lock;
    std::vector<Socket*> m_bound;
    std::vector<Datagram> m_sent;
    std::function<void(const Datagram&)> m_device;
    std::vector<std::string> m_refused_from;
    std::vector<Bind> m_binds;
    std::uint16_t m_next_ephemeral = 49152;
};

class FakeNetwork::Socket : public IUdpSocket {
public:
    explicit Socket(FakeNetwork* network) : m_network(network) {}
    ~Socket() override { m_network->detach(this); }

    int set_reuse_address() override { return 0; }
    int set_receive_buffer(int bytes) override {
        m_receive_buffer = bytes;
        return 0;
    }
    int set_broadcast() override { return 0; }
    int set_multicast_interface(const char* address) override {
        m_multicast_if = address ? address : "";
        return 0;
    }
    int bind(const char* address, std::uint16_t port) override {
        m_address = address ? address : "";
        m_port = port;
        m_network->attach(this, m_receive_buffer);
        return 0;
    }
    long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) override {
        Datagram d{m_address, m_port, address, port, std::string(static_cast<const char*>(data), length), rt_clock_ms(),
                   m_multicast_if};
        if (m_network->record(d)) return static_cast<long>(length);
        m_error = ENETUNREACH;
        return -1;
    }
    long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) override {
        std::unique_lock<std::mutex> guard(m_lock);
        m_ready.wait(guard, [&] { return m_shut || !m_queue.empty(); });
        return take(buffer, size, source);
    }
    int stop_arrivals() override {
        m_network->detach(this);
        return 0;
    }
    void shutdown() override {

        std::lock_guard<std::mutex> guard(m_lock);
        m_shut = true;
        m_ready.notify_all();
    }
    int last_error() const override { return m_error; }

    // A datagram, or with `error` a failed receive.
    void push(const std::string& source, const std::string& bytes, bool error = false) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_queue.push_back({source, bytes, error});
        m_ready.notify_all();
    }
    const std::string& address() const { return m_address; }
    std::uint16_t port() const { return m_port; }
    void set_port(std::uint16_t port) { m_port = port; }

private:
    struct Entry {
        std::string from;
        std::string bytes;
        bool error;
    };

    long take(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) {
        if (m_queue.empty()) return 0;
        auto [from, bytes, error] = m_queue.front();
        m_queue.pop_front();
        if (error) {
            m_error = EIO;
            return -1;
        }
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
    std::deque<Entry> m_queue;
    bool m_shut = false;
    int m_error = 0;
    int m_receive_buffer = 0;
    std::string m_multicast_if;
};

inline std::unique_ptr<IUdpSocket> FakeNetwork::open_udp() { return std::make_unique<Socket>(this); }

inline void FakeNetwork::attach(Socket* socket, int receive_buffer) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (socket->port() == 0) socket->set_port(m_next_ephemeral++);
    m_bound.push_back(socket);
    m_binds.push_back({socket->address(), socket->port(), receive_buffer});
}

inline void FakeNetwork::detach(Socket* socket) {
    std::lock_guard<std::mutex> guard(m_lock);
    std::erase(m_bound, socket);
}

inline bool FakeNetwork::record(Datagram datagram) {
    std::function<void(const Datagram&)> device;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (std::find(m_refused_from.begin(), m_refused_from.end(), datagram.from) != m_refused_from.end())
            return false;
        m_sent.push_back(datagram);
        if (datagram.port == device_port) device = m_device;
    }
    if (device) device(datagram);
    return true;
}

// Under m_lock.
inline FakeNetwork::Socket* FakeNetwork::receiver_of(const std::string& to, std::uint16_t port) {
    Socket* target = nullptr;
    for (Socket* s : m_bound)
        if (s->port() == port && s->address() == to) target = s;
    if (target == nullptr)
        for (Socket* s : m_bound)
            if (s->port() == port && s->address().empty()) target = s;
    return target;
}

inline bool FakeNetwork::deliver(const std::string& source, const std::string& to, std::uint16_t port,
                                 const std::string& bytes) {
    std::lock_guard<std::mutex> guard(m_lock);
    Socket* target = receiver_of(to, port);
    if (target == nullptr) return false;
    target->push(source, bytes);
    return true;
}

inline bool FakeNetwork::fail_receive(const std::string& to, std::uint16_t port) {
    std::lock_guard<std::mutex> guard(m_lock);
    bool any = false;
    for (Socket* s : m_bound) {
        if (s->port() != port || (s->address() != to && !s->address().empty())) continue;
        s->push("", "", true);
        any = true;
    }
    return any;
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
