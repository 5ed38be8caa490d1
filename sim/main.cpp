// ipcsim: simulated cameras on the local network (or on loopback) for trying
// the tool end to end without hardware.
#include <CLI/CLI.hpp>
#include <csignal>
#include <functional>
#include <cstdio>
#include <string>

#include "discovery/udp_transport.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"
#include "sim/device_side.h"
#include "sim/discovery_responder.h"
#include "sim/firmware_tool.h"
#include "sim/onvif/onvif_side.h"
#include "sim/sim_options.h"
#include "sim/simulator.h"
#include "sim/state_dump.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;
volatile std::sig_atomic_t g_dump = 0;

void on_signal(int) { g_stop = 1; }
void on_dump_signal(int) { g_dump = 1; }

// Runs until SIGINT/SIGTERM; SIGUSR1 writes the state dump.
void wait_for_signal(const std::function<void()>& dump) {
    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    std::signal(SIGUSR1, on_dump_signal);
    while (!g_stop) {
        rt_sleep_ms(100);
        if (g_dump) dump();
        g_dump = 0;
    }
}

std::string load_config(const std::string& path, const CLI::App& app, DeviceSideOptions& device_options,
                        OnvifSideOptions& onvif_options) {
    if (std::string error = load_device_config(path, app, device_options); !error.empty()) return error;
    return load_onvif_config(path, app, onvif_options);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"ipcsim - simulated IP cameras for tervane"};
    SimOptions options;
    add_sim_options(app, options);
    DeviceSideOptions device_options;
    add_device_options(app, device_options);
    OnvifSideOptions onvif_options;
    add_onvif_options(app, onvif_options);
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
        std::string error = load_config(app["--config"]->as<std::string>(), app, device_options, onvif_options);
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
    onvif_options.accounts = device_options.accounts;
    onvif_options.down_ms = device_options.reboot_ms;
    OnvifSide onvif(simulator, onvif_options);
    if (std::string error = onvif.empty() ? "" : onvif.start(); !error.empty()) {
        std::fprintf(stderr, "ipcsim: ONVIF side: %s\n", error.c_str());
        devices.stop();
        responder.stop();
        return 1;
    }
    std::fprintf(stderr, "ipcsim: %zu cameras, discovery on %s:%u\n", simulator.cameras().size() - onvif.cameras().size(),
                 options.discovery_address.c_str(), options.discovery_port);
    if (!onvif.empty()) {
        std::fprintf(stderr, "ipcsim: %zu ONVIF cameras, WS-Discovery on port %u\n", onvif.cameras().size(),
                     onvif.wsd_port());
        for (const std::string& card : onvif.wsd().unjoined())
            std::fprintf(stderr, "ipcsim: no multicast on %s\n", card.c_str());
    }
    // Ready line on stdout for scripts that wait for the simulator.
    std::printf("ready\n");
    std::fflush(stdout);

    const std::string& dump_path = device_options.dump_path;
    auto dump = [&] { return dump_path.empty() || write_json_file(dump_path, sim_state_dump(simulator, devices, onvif)); };
    wait_for_signal([&] { dump(); });
    onvif.stop();
    devices.stop();
    responder.stop();
    if (!dump()) std::fprintf(stderr, "ipcsim: cannot write %s\n", dump_path.c_str());
    return 0;
}
