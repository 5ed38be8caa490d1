// An attacker for the system tests: a host on the LAN that answers for
// cameras it is not. Its discovery side is the simulator's (so it takes
// ipcsim's camera options: MAC, address, version), and on each camera's
// command port it either
//   --answer accept-any : takes any login without knowing the password (it
//                         answers the proof with "logged in" and no proof of
//                         its own) and every request with "done";
//   --answer silent     : takes the connection and never answers.
// Runs until SIGINT or SIGTERM; prints "ready" once it listens.

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

struct Connection {
    int fd = -1;
    FrameReader reader;
};

std::vector<std::uint8_t> answer_for(const FrameView& frame) {
    std::vector<std::uint8_t> payload;
    if (frame.header.type == MSG_LOGIN_BEGIN) payload.assign(kNonceSize, 0x42);  // any nonce will do
    if (frame.header.request_id == 0) return {};
    return encode_frame(static_cast<std::uint16_t>(frame.header.type | kResponseBit), frame.header.request_id, 0,
                        payload);
}

// Reads what a client sent; false when the connection is over.
bool serve(Connection& connection, bool silent) {
    std::uint8_t buffer[70000];
    long n = read_some(connection.fd, buffer, sizeof buffer);
    if (n == -2) return true;
    if (n <= 0) return false;
    if (silent) return true;
    return connection.reader.consume(buffer, static_cast<std::size_t>(n), [&](const FrameView& frame) {
        std::vector<std::uint8_t> reply = answer_for(frame);
        return reply.empty() || send_all(connection.fd, reply.data(), reply.size(), rt_clock_ms() + 5000);
    });
}

void run(const std::vector<int>& listeners, bool silent) {
    std::vector<std::unique_ptr<Connection>> connections;
    while (!g_stop) {
        std::vector<pollfd> polled;
        for (int fd : listeners) polled.push_back({fd, POLLIN, 0});
        for (auto& c : connections) polled.push_back({c->fd, POLLIN, 0});
        if (poll(polled.data(), polled.size(), 100) <= 0) continue;
        for (std::size_t i = 0; i < listeners.size(); ++i) {
            if (!(polled[i].revents & POLLIN)) continue;
            int fd = accept4(listeners[i], nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd >= 0) connections.push_back(std::make_unique<Connection>(Connection{fd, {}}));
        }
        for (std::size_t i = listeners.size(); i < polled.size(); ++i) {
            Connection& c = *connections[i - listeners.size()];
            if (polled[i].revents != 0 && !serve(c, silent)) {
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
    CLI::App app{"impostor_camera - answers for cameras it is not (tests only)"};
    SimOptions options;
    add_sim_options(app, options);
    std::string answer = "accept-any";
    app.add_option("--answer", answer, "accept-any or silent")->check(CLI::IsMember({"accept-any", "silent"}));
    CLI11_PARSE(app, argc, argv);
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
    run(listeners, answer == "silent");
    responder.stop();
    for (int fd : listeners) ::close(fd);
    return 0;
}
