// tervane-cli discover: one search of both kinds of camera, then the list as
// a table or JSON.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/discover_output.h"
#include "cli/search_options.h"
#include "runtime/rt_time.h"

namespace {

struct DiscoverArgs {
    SearchArgs search;
    CameraSearchArgs cameras;
    bool json = false;
};

// The identities still being read once the listening ends settle within
// their budget each, the pool's workers taking them in turn.
std::int64_t settle_budget(CCameraSearch& search, const CameraSearchOptions& options) {
    const std::int64_t waiting = static_cast<std::int64_t>(search.onvif().endpoints().size());
    const std::int64_t workers = options.identity_workers > 0 ? options.identity_workers : 1;
    return options.identity_budget_ms * (1 + waiting / workers) + 1000;
}

int run_discover(const DiscoverArgs& args) {
    CameraSearchOptions options;
    std::vector<std::string> addresses;
    std::string error;
    if (!camera_search_options(args.search, args.cameras, &options, &addresses, &error)) {
        std::fprintf(stderr, "tervane-cli: --address: %s\n", error.c_str());
        return 2;
    }
    route_diagnostics(args.search);
    PosixUdpTransport transport(args.search.interfaces);
    CCameraSearch search(&transport, options);
    search.Start();
    if (!addresses.empty()) search.ProbeAddresses(addresses);
    rt_sleep_ms(args.search.listen_ms);
    search.StopListening();
    search.WaitSettled(settle_budget(search, options));
    std::vector<FoundCamera> cameras = search.cameras();
    std::string out = args.json ? devices_json(cameras) : devices_table(cameras);
    std::fwrite(out.data(), 1, out.size(), stdout);
    const bool not_sent =
        cameras.empty() && hint_when_no_camera_answered(search, args.search.endpoints.local_port);
    search.Stop();
    return not_sent ? 1 : 0;
}

}  // namespace

void add_discover_command(CLI::App& app, int* exit_code) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* cmd = app.add_subcommand("discover", "search the network and list the cameras that answer");
    add_search_options(*cmd, args->search);
    add_camera_search_options(*cmd, args->cameras, true);
    cmd->add_flag("--json", args->json, "print a JSON array with every field of each camera");
    cmd->callback([args, exit_code] { *exit_code = run_discover(*args); });
}
