#pragma once

#include <cerrno>
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
    // Multicasts from this socket leave by the card with this IPv4 address,
    // whatever the routing table says (without it they follow the route for
    // 224.0.0.0/4 or the default route, and cannot be sent without one).
    // 0 or the platform error; a socket that cannot multicast answers
    // EOPNOTSUPP.
    virtual int set_multicast_interface(const char* address) {
        (void)address;
        return EOPNOTSUPP;
    }
    // Bytes sent, or -1 (see last_error).
    virtual long send_to(const void* data, std::size_t length, const char* address, std::uint16_t port) = 0;
    // Waits for one datagram; its source address goes to `source`. Bytes
    // received (cut to size), or 0 / -1 once the socket is shut down or fails.
    virtual long receive(void* buffer, std::size_t size, char source[UDP_ADDRESS_SIZE]) = 0;
    // Lets no further datagram reach this socket; those already queued can
    // still be received. Where two sockets share a port, the others then
    // receive what would have come here. 0 or the platform error.
    virtual int stop_arrivals() = 0;
    // Makes a waiting receive (now or later) return at once.
    virtual void shutdown() = 0;
    virtual int last_error() const = 0;
};

class IUdpTransport {
public:
    virtual ~IUdpTransport() = default;
    // A new UDP socket, or null (see the platform error in errno).
    virtual std::unique_ptr<IUdpSocket> open_udp() = 0;
    // The IPv4 addresses of the host's cards that are up, loopback left out,
    // in the platform's order. 0 or 1.
    virtual int list_ipv4_addresses(std::vector<std::string>* addresses) = 0;
};

// Real sockets. With a non-empty `interfaces` list, that list stands in for
// the host's card addresses (loopback tests, a chosen card). Sends are
// refused (EPERM) only where the test harness's guard says so
// (discovery/netns_guard.h).
class PosixUdpTransport : public IUdpTransport {
public:
    explicit PosixUdpTransport(std::vector<std::string> interfaces = {});
    std::unique_ptr<IUdpSocket> open_udp() override;
    int list_ipv4_addresses(std::vector<std::string>* addresses) override;

private:
    std::vector<std::string> m_interfaces;
};

// The IPv4 addresses of the interfaces of `list` that are up and not
// loopback, in list order (the filter of list_ipv4_addresses).
struct ifaddrs;
std::vector<std::string> up_ipv4_addresses(const ifaddrs* list);
