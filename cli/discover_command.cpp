// tervane-cli discover: one run of the discovery engine, then the list.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/command.h"
#include "cli/discover_output.h"
#include "discovery/discovery.h"
#include "discovery/xml_path.h"
#include "runtime/rt_time.h"
#include "runtime/trace.h"

namespace {

struct DiscoverArgs {
    std::string card;
    std::int64_t listen_ms = 3000;
    bool json = false;
    bool verbose = false;
    bool logs = false;
    std::vector<std::string> interfaces;
    DiscoveryEndpoints endpoints;
};

int run_discover(const DiscoverArgs& args) {
    // Standard output carries the result only; diagnostics go to stderr.
    xml_set_output(args.verbose ? stderr : nullptr);
    if (!args.verbose) set_trace_sink(trace_null_sink, nullptr);

    DiscoveryOptions options;
    options.endpoints = args.endpoints;
    if (!args.logs) options.send_log = options.recv_log = "";
    PosixUdpTransport transport(args.interfaces);
    CDiscovery discovery(&transport, options);
    discovery.StartDiscovery(0, 2147483647);
    if (!args.card.empty()) discovery.RefreshDiscovery(args.card.c_str());
    rt_sleep_ms(args.listen_ms);
    std::vector<DEV_INFO> devices;
    int count = 0;
    discovery.GetDeviceList(&devices, &count);
    discovery.StopDiscovery();

    std::string out = args.json ? devices_json(devices) : devices_table(devices);
    std::fwrite(out.data(), 1, out.size(), stdout);
    if (!PosixUdpTransport::broadcast_allowed() && args.endpoints.broadcast_address == "255.255.255.255")
        std::fprintf(stderr,
                     "tervane-cli: broadcasts are refused outside a private network namespace; "
                     "set TERVANE_ALLOW_BROADCAST=1 to search a real LAN\n");
    return 0;
}

}  // namespace

void add_discover_command(CLI::App& app, int* exit_code) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* cmd = app.add_subcommand("discover", "broadcast a search and list the devices that answer");
    cmd->add_option("-c,--card", args->card, "IPv4 address of the network card to search from");
    cmd->add_option("-t,--listen", args->listen_ms, "how long to listen for replies, in ms (default 3000)")
        ->check(CLI::Range(0, 3600000));
    cmd->add_flag("--json", args->json, "print a JSON array with every field of each device");
    cmd->add_flag("--logs", args->logs, "write ./send.txt and ./recv.txt");
    cmd->add_flag("-v,--verbose", args->verbose, "print the trace and the XML messages on stderr");
    cmd->add_option("--interfaces", args->interfaces,
                    "addresses to name as reply addresses instead of the host's own (comma-separated)")
        ->delimiter(',');
    cmd->add_option("--dest", args->endpoints.broadcast_address, "destination of the requests")
        ->capture_default_str();
    cmd->add_option("--local-port", args->endpoints.local_port, "port replies come to")->capture_default_str();
    cmd->add_option("--device-port", args->endpoints.device_port, "port the devices listen on")->capture_default_str();
    cmd->callback([args, exit_code] { *exit_code = run_discover(*args); });
}
