#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "discovery/udp_transport.h"

// A socket that a sweep sends its requests from, bound to the local port on a
// card's address. While it is open, Linux hands it the unicast replies to that
// address (the most specific bind wins over the receive socket's wildcard
// one), so a thread of its own feeds everything it receives into the engine's
// receive path from the moment it opens until it closes: replies are taken as
// they arrive, not left to pile up in the socket's buffer.
class SweepSocket {
public:
    // One receive step on `socket` (see private_discover::receive_reply):
    // non-zero once the socket has been shut down and nothing is left.
    using ReceiveStep = std::function<int(IUdpSocket* socket, const std::atomic<int>& closing)>;

    // At most this many datagrams are still taken once closing has begun, so a
    // flood cannot hold the sweep open.
    static constexpr int kDrainAfterClose = 4096;

    SweepSocket(std::unique_ptr<IUdpSocket> socket, ReceiveStep receive);
    // Stops new arrivals (they go to the receive socket), lets the thread
    // take what is queued, joins it.
    ~SweepSocket();
    SweepSocket(const SweepSocket&) = delete;
    SweepSocket& operator=(const SweepSocket&) = delete;

    IUdpSocket* socket() const { return m_socket.get(); }

private:
    void run();

    std::unique_ptr<IUdpSocket> m_socket;
    ReceiveStep m_receive;
    std::atomic<int> m_closing{0};
    std::thread m_thread;
};
