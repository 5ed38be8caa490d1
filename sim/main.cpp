// ipcsim: simulated cameras on the local network (or on loopback) for trying
// the tool end to end without hardware.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <string>

#include "discovery/udp_transport.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/discovery_responder.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

void wait_for_signal() {
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    while (!g_stop) rt_sleep_ms(100);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ipcsim - simulated IP cameras for tervane"};
    SimOptions options;
    add_sim_options(app, options);
    bool verbose = false;
    app.add_flag("-v,--verbose", verbose, "print the trace and the XML of every message");
    CLI11_PARSE(app, argc, argv);

    if (!verbose) {
        xml_set_output(nullptr);
        set_trace_sink(trace_null_sink, nullptr);
    }

    Simulator simulator(options);
    PosixUdpTransport transport;
    DiscoveryResponder responder(simulator, &transport);
    if (std::string error = responder.start(); !error.empty()) {
        std::fprintf(stderr, "ipcsim: discovery: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "ipcsim: %zu cameras, discovery on %s:%u\n", simulator.cameras().size(),
                 options.discovery_address.c_str(), options.discovery_port);
    // Ready line on stdout for scripts that wait for the simulator.
    std::printf("ready\n");
    std::fflush(stdout);

    wait_for_signal();
    responder.stop();
    return 0;
}
