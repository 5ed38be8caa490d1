// An attacker for the system tests and the hostile-LAN measurements: a host
// that answers for cameras. Its discovery side is the simulator's (so it
// takes ipcsim's camera options: MAC, address, version), and on each camera's
// command port it plays one of
//   --answer accept-any : a host that is not the camera: takes any login
//                         without knowing the password (answers the proof
//                         with "logged in" and no proof of its own) and every
//                         request with "done";
//   --answer silent     : takes the connection and never answers;
//   --answer flood      : a camera that knows the password (--password) and,
//                         once logged in, sends events as fast as the
//                         connection takes them, each one different; it
//                         takes a firmware and reports it half sent for ever.
// Runs until SIGINT or SIGTERM; prints "ready" once it listens and, at the
// end, "events N" (events sent).

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

#include "client/login_auth.h"
#include "client/protocol.h"
#include "client/socket_io.h"
#include "discovery/netns_guard.h"
#include "discovery/udp_transport.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/discovery_responder.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

using namespace kaltro;

namespace {

volatile std::sig_atomic_t g_stop = 0;
void on_signal(int) { g_stop = 1; }

enum class Role { accept_any, silent, flood };

struct Connection {
    int fd = -1;
    FrameReader reader;
    std::string user;
    Nonce nonce{};
    bool logged_in = false;
    std::uint32_t next_event = 0;
};

class Impostor {
public:
    Impostor(Role role, std::string password) : m_role(role), m_password(std::move(password)) { m_nonce.fill(0x42); }

    void run(const std::vector<int>& listeners);
    std::uint64_t events_sent() const { return m_events; }

private:
    bool serve(Connection& c);
    std::vector<std::uint8_t> answer(Connection& c, const FrameView& frame);
    std::vector<std::uint8_t> login_answer(Connection& c, const FrameView& frame);
    void flood(Connection& c);

    Role m_role;
    std::string m_password;
    Nonce m_nonce;
    std::uint64_t m_events = 0;
};

std::vector<std::uint8_t> response(const FrameView& frame, const std::vector<std::uint8_t>& payload = {}) {
    return encode_frame(static_cast<std::uint16_t>(frame.header.type | kResponseBit), frame.header.request_id, 0,
                        payload);
}

std::vector<std::uint8_t> Impostor::login_answer(Connection& c, const FrameView& frame) {
    ByteReader in(frame.payload, frame.header.length);
    if (frame.header.type == MSG_LOGIN_BEGIN) {
        in.text(c.user, kMaxCredential);
        return response(frame, std::vector<std::uint8_t>(m_nonce.begin(), m_nonce.end()));
    }
    c.logged_in = true;
    if (m_role != Role::flood) return response(frame);  // "logged in", proving nothing
    const std::uint8_t* client_nonce = nullptr;
    if (!in.bytes(kNonceSize, client_nonce)) return response(frame);
    Nonce theirs;
    std::copy(client_nonce, client_nonce + kNonceSize, theirs.begin());
    Proof proof = device_proof(m_password, theirs, m_nonce, c.user);
    return response(frame, std::vector<std::uint8_t>(proof.begin(), proof.end()));
}

std::vector<std::uint8_t> Impostor::answer(Connection& c, const FrameView& frame) {
    if (frame.header.request_id == 0 && frame.header.type != MSG_KEEPALIVE) return {};
    if (frame.header.type == MSG_LOGIN_BEGIN || frame.header.type == MSG_LOGIN_PROOF) return login_answer(c, frame);
    if (frame.header.type == MSG_UPGRADE_STATUS) return response(frame, ByteWriter().u32(50).data());
    return response(frame);
}

// Reads what a client sent; false when the connection is over.
bool Impostor::serve(Connection& c) {
    std::uint8_t buffer[70000];
    long n = read_some(c.fd, buffer, sizeof buffer);
    if (n == -2) return true;
    if (n <= 0) return false;
    if (m_role == Role::silent) return true;
    return c.reader.consume(buffer, static_cast<std::size_t>(n), [&](const FrameView& frame) {
        std::vector<std::uint8_t> reply = answer(c, frame);
        return reply.empty() || send_all(c.fd, reply.data(), reply.size(), rt_clock_ms() + 5000);
    });
}

// As many events as the socket takes now, every one different.
void Impostor::flood(Connection& c) {
    constexpr int kBatch = 256;
    std::vector<std::uint8_t> batch;
    for (int i = 0; i < kBatch; ++i, ++c.next_event) {
        ByteWriter event;
        event.i32(0x20001).i32(static_cast<std::int32_t>(c.next_event)).i32(0);
        std::vector<std::uint8_t> one = encode_frame(MSG_EVENT, 0, 0, event.data());
        batch.insert(batch.end(), one.begin(), one.end());
    }
    ssize_t sent = ::send(c.fd, batch.data(), batch.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent <= 0) return;
    // A frame cut by a full socket is finished before anything else goes out.
    const auto done = static_cast<std::size_t>(sent);
    if (done == batch.size() || send_all(c.fd, batch.data() + done, batch.size() - done, rt_clock_ms() + 5000))
        m_events += kBatch;
}

void Impostor::run(const std::vector<int>& listeners) {
    std::vector<std::unique_ptr<Connection>> connections;
    while (!g_stop) {
        std::vector<pollfd> polled;
        for (int fd : listeners) polled.push_back({fd, POLLIN, 0});
        for (auto& c : connections) {
            short events = POLLIN;
            if (m_role == Role::flood && c->logged_in) events |= POLLOUT;
            polled.push_back({c->fd, events, 0});
        }
        if (poll(polled.data(), polled.size(), 100) <= 0) continue;
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            if (!(polled[i].revents & POLLIN)) continue;
            int fd = accept4(listeners[i], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0) continue;
            connections.push_back(std::make_unique<Connection>());
            connections.back()->fd = fd;
        }
        for (std::size_t i = listeners.size(); i < polled.size(); ++i) {
            Connection& c = *connections[i - listeners.size()];
            short revents = polled[i].revents;
            bool alive = !(revents & (POLLIN | POLLHUP | POLLERR)) || serve(c);
            if (alive && (revents & POLLOUT)) flood(c);
            if (!alive) {
                ::close(c.fd);
                c.fd = -1;
            }
        }
        std::erase_if(connections, [](const auto& c) { return c->fd < 0; });
    }
    for (auto& c : connections) ::close(c->fd);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"impostor_camera - answers for cameras (tests and measurements only)"};
    SimOptions options;
    add_sim_options(app, options);
    std::string answer = "accept-any";
    std::string password = "tovik";
    app.add_option("--answer", answer, "accept-any, silent or flood")
        ->check(CLI::IsMember({"accept-any", "silent", "flood"}));
    app.add_option("--password", password, "the password a flooding camera proves");
    CLI11_PARSE(app, argc, argv);
    // Its responder answers any request on the LAN, to whatever address the
    // request names: outside a private namespace only on the address named.
    const bool card_named = app.count("--discovery-address") > 0 && options.discovery_address != "0.0.0.0";
    if (std::string refusal = developer_send_refusal(card_named); !refusal.empty()) {
        std::fprintf(stderr, "impostor_camera: %s\n", refusal.c_str());
        return 2;
    }
    xml_set_output(nullptr);
    set_trace_sink(trace_null_sink, nullptr);

    Simulator simulator(options);
    PosixUdpTransport transport;
    DiscoveryResponder responder(simulator, &transport);
    if (std::string error = responder.start(); !error.empty()) {
        std::fprintf(stderr, "impostor_camera: discovery: %s\n", error.c_str());
        return 1;
    }
    std::vector<int> listeners;
    for (const auto& camera : simulator.cameras()) {
        CameraIdentity id = camera->identity();
        int fd = listen_tcp(id.ip, id.cmd_port);
        if (fd < 0) {
            std::fprintf(stderr, "impostor_camera: cannot listen on %s:%u\n", id.ip.c_str(), id.cmd_port);
            return 1;
        }
        listeners.push_back(fd);
    }
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::printf("ready\n");
    std::fflush(stdout);
    Role role = answer == "silent" ? Role::silent : answer == "flood" ? Role::flood : Role::accept_any;
    Impostor impostor(role, password);
    impostor.run(listeners);
    responder.stop();
    for (int fd : listeners) ::close(fd);
    std::printf("events %llu\n", static_cast<unsigned long long>(impostor.events_sent()));
    return 0;
}
