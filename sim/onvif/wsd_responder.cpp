#include "sim/onvif/wsd_responder.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "discovery/netns_guard.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/onvif/probe_match.h"

namespace {
constexpr std::size_t kMaxDatagram = 65536;
// A flood of Probes must not grow the queue without bound: past this the
// answers are dropped, as a busy camera's would be.
constexpr std::size_t kMaxPending = 20000;

// One datagram from or to `peer`, with room for its ancillary data.
msghdr datagram_header(sockaddr_in* peer, iovec* io, char* control, std::size_t control_size) {
    msghdr message{};
    message.msg_name = peer;
    message.msg_namelen = sizeof *peer;
    message.msg_iov = io;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = control_size;
    return message;
}
}  // namespace

WsdResponder::WsdResponder(std::vector<std::shared_ptr<OnvifCamera>> cameras, std::uint16_t port,
                           std::int64_t max_delay_ms)
    : m_cameras(std::move(cameras)), m_port(port), m_max_delay_ms(max_delay_ms) {}

WsdResponder::~WsdResponder() { stop(); }

std::string WsdResponder::start() {
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (m_fd < 0) return std::string("socket: ") + std::strerror(errno);
    int on = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    // The destination of each datagram tells a Probe to the group from one
    // to a camera's own address.
    setsockopt(m_fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(m_port);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    socklen_t length = sizeof any;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&any), &length) != 0) {
        std::string error = "bind 0.0.0.0:" + std::to_string(m_port) + ": " + std::strerror(errno);
        ::close(m_fd);
        m_fd = -1;
        return error;
    }
    m_port = ntohs(any.sin_port);
    join_group();
    m_running.store(true);
    m_thread = std::thread(&WsdResponder::run, this);
    m_sender = std::thread(&WsdResponder::run_sender, this);
    return "";
}

void WsdResponder::stop() {
    if (!m_running.exchange(false)) return;
    // Closing does not wake a thread blocked in recvmsg; shutting down does.
    ::shutdown(m_fd, SHUT_RDWR);
    if (m_thread.joinable()) m_thread.join();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_wake.notify_all();
    }
    if (m_sender.joinable()) m_sender.join();
    ::close(m_fd);
    m_fd = -1;
}

// Once per card, by its index: a card with a hundred camera addresses is
// still one member. No default route is needed this way.
void WsdResponder::join_group() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return;
    std::set<unsigned> joined;
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
        if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_MULTICAST) == 0) continue;
        unsigned index = if_nametoindex(it->ifa_name);
        if (index == 0 || !joined.insert(index).second) continue;
        ip_mreqn request{};
        inet_pton(AF_INET, kWsdGroup, &request.imr_multiaddr);
        request.imr_ifindex = static_cast<int>(index);
        if (setsockopt(m_fd, IPPROTO_IP, IP_ADD_MEMBERSHIP, &request, sizeof request) != 0)
            m_unjoined.push_back(std::string(it->ifa_name) + ": " + std::strerror(errno));
    }
    freeifaddrs(list);
}

void WsdResponder::run() {
    std::string buffer(kMaxDatagram, '\0');
    char control[CMSG_SPACE(sizeof(in_pktinfo))];
    while (m_running.load()) {
        sockaddr_in source{};
        iovec io{buffer.data(), buffer.size()};
        msghdr message = datagram_header(&source, &io, control, sizeof control);
        long received = ::recvmsg(m_fd, &message, 0);
        if (received <= 0 || !m_running.load()) {
            if (m_running.load()) TRACE_MSG("WsdResponder::run", "receive failed %d\n", errno);
            if (received < 0 && errno == EINTR) continue;
            return;
        }
        std::string destination;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c != nullptr; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
            in_pktinfo info;
            std::memcpy(&info, CMSG_DATA(c), sizeof info);
            char text[INET_ADDRSTRLEN];
            if (inet_ntop(AF_INET, &info.ipi_addr, text, sizeof text)) destination = text;
        }
        std::string_view datagram(buffer.data(), static_cast<std::size_t>(received));
        for (ProbeReply& reply : answer_probe(m_cameras, datagram, destination))
            schedule({std::move(reply.from_ip), std::move(reply.bytes), source}, destination == kWsdGroup);
    }
}

void WsdResponder::schedule(Pending pending, bool to_group) {
    if (!to_group || m_max_delay_ms <= 0) {
        send_from(pending);
        return;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_pending.size() >= kMaxPending) return;
    std::int64_t delay = std::uniform_int_distribution<std::int64_t>(0, m_max_delay_ms)(m_random);
    m_pending.emplace(rt_clock_ms() + delay, std::move(pending));
    m_wake.notify_all();
}

void WsdResponder::run_sender() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (m_running.load()) {
        if (m_pending.empty()) {
            rt_wait_ms(m_wake, lock, 1000, [this] { return !m_running.load() || !m_pending.empty(); });
            continue;
        }
        std::int64_t due = m_pending.begin()->first;
        if (due > rt_clock_ms()) {
            // Woken early by an answer due sooner, or by the stop.
            rt_wait_ms(m_wake, lock, due - rt_clock_ms(),
                       [&] { return !m_running.load() || m_pending.empty() || m_pending.begin()->first < due; });
            continue;
        }
        Pending pending = std::move(m_pending.begin()->second);
        m_pending.erase(m_pending.begin());
        lock.unlock();
        send_from(pending);
        lock.lock();
    }
}

// From the camera's address and the discovery port without a socket per
// camera: the source address rides along with the datagram.
void WsdResponder::send_from(const Pending& pending) {
    if (netns_guard_refuses(pending.to.sin_addr)) return;
    in_pktinfo info{};
    if (inet_pton(AF_INET, pending.from_ip.c_str(), &info.ipi_spec_dst) != 1) return;
    char control[CMSG_SPACE(sizeof info)] = {};
    iovec io{const_cast<char*>(pending.bytes.data()), pending.bytes.size()};
    sockaddr_in to = pending.to;
    msghdr message = datagram_header(&to, &io, control, sizeof control);
    cmsghdr* c = CMSG_FIRSTHDR(&message);
    c->cmsg_level = IPPROTO_IP;
    c->cmsg_type = IP_PKTINFO;
    c->cmsg_len = CMSG_LEN(sizeof info);
    std::memcpy(CMSG_DATA(c), &info, sizeof info);
    if (::sendmsg(m_fd, &message, 0) > 0) m_sent.fetch_add(1);
    else TRACE_MSG("WsdResponder::send_from", "cannot send from %s: %s\n", pending.from_ip.c_str(), std::strerror(errno));
}
