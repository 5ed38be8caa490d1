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
#include "sim/device_side.h"
#include "sim/discovery_responder.h"
#include "sim/firmware_tool.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_dump = 0;

void on_signal(int) { g_stop = 1; }
void on_dump_signal(int) { g_dump = 1; }

// Runs until SIGINT/SIGTERM; SIGUSR1 writes the device state dump.
void wait_for_signal(DeviceSide& devices, const std::string& dump_path) {
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGUSR1, on_dump_signal);
    while (!g_stop) {
        rt_sleep_ms(100);
        if (g_dump && !dump_path.empty()) devices.write_dump(dump_path);
        g_dump = 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ipcsim - simulated IP cameras for tervane"};
    SimOptions options;
    add_sim_options(app, options);
    DeviceSideOptions device_options;
    add_device_options(app, device_options);
    MkfwOptions mkfw_options;
    CLI::App* mkfw = add_mkfw_command(app, mkfw_options);
    bool verbose = false;
    app.add_flag("-v,--verbose,--trace", verbose, "print the trace and the XML of every message (quiet without)");
    CLI11_PARSE(app, argc, argv);

    if (mkfw->parsed()) {
        std::string error = run_mkfw(mkfw_options);
        if (!error.empty()) std::fprintf(stderr, "ipcsim mkfw: %s\n", error.c_str());
        return error.empty() ? 0 : 1;
    }
    if (app.count("--config") > 0) {
        std::string error = load_device_config(app["--config"]->as<std::string>(), app, device_options);
        if (!error.empty()) {
            std::fprintf(stderr, "ipcsim: %s\n", error.c_str());
            return 1;
        }
    }

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
    DeviceSide devices(simulator, device_options);
    if (std::string error = devices.start(); !error.empty()) {
        std::fprintf(stderr, "ipcsim: device side: %s\n", error.c_str());
        responder.stop();
        return 1;
    }
    std::fprintf(stderr, "ipcsim: %zu cameras, discovery on %s:%u\n", simulator.cameras().size(),
                 options.discovery_address.c_str(), options.discovery_port);
    // Ready line on stdout for scripts that wait for the simulator.
    std::printf("ready\n");
    std::fflush(stdout);

    wait_for_signal(devices, device_options.dump_path);
    devices.stop();
    responder.stop();
    if (!device_options.dump_path.empty() && !devices.write_dump(device_options.dump_path))
        std::fprintf(stderr, "ipcsim: cannot write %s\n", device_options.dump_path.c_str());
    return 0;
}
