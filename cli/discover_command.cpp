// tervane-cli discover: one search, then the list as a table or JSON.
#include <cstdio>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/discover_output.h"
#include "cli/search_options.h"

namespace {

struct DiscoverArgs {
    SearchArgs search;
    bool json = false;
};

int run_discover(const DiscoverArgs& args) {
    Search search(args.search);
    std::vector<DEV_INFO> devices = search.collect();
    std::string out = args.json ? devices_json(devices) : devices_table(devices);
    std::fwrite(out.data(), 1, out.size(), stdout);
    const bool not_sent =
        devices.empty() && hint_when_nothing_answered(search.discovery(), args.search.endpoints.local_port);
    return not_sent ? 1 : 0;
}

}  // namespace

void add_discover_command(CLI::App& app, int* exit_code) {
    auto args = std::make_shared<DiscoverArgs>();
    CLI::App* cmd = app.add_subcommand("discover", "search the network and list the devices that answer");
    add_search_options(*cmd, args->search);
    cmd->add_flag("--json", args->json, "print a JSON array with every field of each device");
    cmd->callback([args, exit_code] { *exit_code = run_discover(*args); });
}
