// tervane-cli change-ip: search, then ask one listed device (by MAC) to take
// a new address.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/command.h"
#include "cli/search_options.h"

namespace {

struct ChangeIpArgs {
    SearchArgs search;
    std::string mac;
    std::string ip;
    std::string mask;
    std::string gateway;
};

const DEV_INFO* find_mac(const std::vector<DEV_INFO>& devices, const std::string& mac) {
    for (const DEV_INFO& d : devices)
        if (mac == std::string(d.mac_address, strnlen(d.mac_address, DEV_TEXT_SIZE))) return &d;
    return nullptr;
}

int run_change_ip(const ChangeIpArgs& args) {
    Search search(args.search);
    std::vector<DEV_INFO> devices = search.collect();
    const DEV_INFO* device = find_mac(devices, args.mac);
    if (device == nullptr) {
        std::fprintf(stderr, "tervane-cli: no device with MAC %s answered\n", args.mac.c_str());
        if (devices.empty()) hint_when_nothing_answered(search.discovery(), args.search.endpoints.local_port);
        return 1;
    }
    NETWORK_INFO request{};
    dev_copy_text(request.dev_mac, DEV_TEXT_SIZE, args.mac.c_str());
    dev_copy_text(request.new_dev_ip, DEV_TEXT_SIZE, args.ip.c_str());
    int rc = 0;
    if (args.mask.empty() && args.gateway.empty()) {
        rc = search.discovery().ChangeIpPort(&request);
    } else {
        // A mask or gateway left out keeps the device's current one.
        dev_copy_text(request.new_dev_submask, DEV_TEXT_SIZE,
                      args.mask.empty() ? device->subnet_mask : args.mask.c_str());
        dev_copy_text(request.new_dev_gateway, DEV_TEXT_SIZE,
                      args.gateway.empty() ? device->gateway : args.gateway.c_str());
        rc = search.discovery().ChangeIp(&request);
    }
    if (rc != 0) {
        int error = search.discovery().engine().last_change_ip_error();
        std::fprintf(stderr, "tervane-cli: the change-IP request could not be sent: %s\n",
                     error != 0 ? std::strerror(error) : "the device is no longer listed");
        return 1;
    }
    std::printf("%s: change to %s sent\n", args.mac.c_str(), args.ip.c_str());
    return 0;
}

}  // namespace

void add_change_ip_command(CLI::App& app, int* exit_code) {
    auto args = std::make_shared<ChangeIpArgs>();
    CLI::App* cmd = app.add_subcommand("change-ip", "give one device (by MAC) a new IPv4 address");
    add_search_options(*cmd, args->search);
    cmd->add_option("--mac", args->mac, "MAC of the device, exactly as listed")->required();
    cmd->add_option("--ip", args->ip, "new address")->required()->check(CLI::ValidIPV4);
    cmd->add_option("--mask", args->mask, "new subnet mask (default: the device's)")->check(CLI::ValidIPV4);
    cmd->add_option("--gateway", args->gateway, "new gateway (default: the device's)")->check(CLI::ValidIPV4);
    cmd->callback([args, exit_code] { *exit_code = run_change_ip(*args); });
}
