#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The sockets of the discovery engine go through this mediator, so tests can
// run the engine against an in-memory network and capture what it sends,
// while the program uses real POSIX sockets. Addresses are dotted IPv4 text;
// null or "" means the wildcard address.

constexpr std::size_t UDP_ADDRESS_SIZE = 32;

class IUdpSocket {
public:
    virtual ~IUdpSocket() = default;
    // Each returns 0 on success, else the platform error code.
    virtual int set_reuse_address() = 0;
    virtual int set_receive_buffer(int bytes) = 0;
    virtual int set_broadcast() = 0;
    virtual int bind(const char* address, std::uint16_t port) = 0;
    // Bytes sent, or -1 (see last_error).
    virtual long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) = 0;
    // Waits for one datagram; its source address goes to `source`. Bytes
    // received (cut to size), or 0 / -1 once the socket is shut down or fails.
    virtual long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) = 0;
    // Like receive but never waits: -1 when nothing is queued.
    virtual long try_receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) = 0;
    // Makes a waiting receive (now or later) return at once.
    virtual void shutdown() = 0;
    virtual int last_error() const = 0;
};

class IUdpTransport {
public:
    virtual ~IUdpTransport() = default;
    // A new UDP socket, or null (see the platform error in errno).
    virtual std::unique_ptr<IUdpSocket> open_udp() = 0;
    // The host's IPv4 interface addresses in the platform's order. 0 or 1.
    virtual int list_ipv4_addresses(std::vector<std::string>* addresses) = 0;
};

// Real sockets. With a non-empty `interfaces` list, that list stands in for
// the host's interface addresses (loopback tests, a chosen card).
//
// A limited broadcast leaves the machine, so sending to 255.255.255.255 is
// refused (EPERM) unless the process runs in a private network namespace
// made for it (TERVANE_IN_NETNS=1) or the user allowed it for a real LAN
// (TERVANE_ALLOW_BROADCAST=1).
class PosixUdpTransport : public IUdpTransport {
public:
    explicit PosixUdpTransport(std::vector<std::string> interfaces = {});
    std::unique_ptr<IUdpSocket> open_udp() override;
    int list_ipv4_addresses(std::vector<std::string>* addresses) override;

    static bool broadcast_allowed();

private:
    std::vector<std::string> m_interfaces;
};
