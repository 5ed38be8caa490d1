#include "discovery/sweep_socket.h"

#include "runtime/result_codes.h"

SweepSocket::SweepSocket(std::unique_ptr<IUdpSocket> socket, ReceiveStep receive)
    : m_socket(std::move(socket)), m_receive(std::move(receive)), m_thread(&SweepSocket::run, this) {}

// New replies go to the receive socket from here on; what is queued here is
// still taken before the socket closes, so none is lost in between.
SweepSocket::~SweepSocket() {
    m_socket->stop_arrivals();
    m_closing.store(1);
    m_socket->shutdown();
    m_thread.join();
}

void SweepSocket::run() {
    int after_close = 0;
    while (m_receive(m_socket.get(), m_closing) == RC_OK)
        if (m_closing.load() && ++after_close >= kDrainAfterClose) return;
}
