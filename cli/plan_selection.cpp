#include "cli/plan_selection.h"
#include "search/mac_text.h"

#include <map>

PlanSelection select_planned(const DevicePlan& plan, const std::vector<ListedDevice>& listed) {
    std::map<std::string, const ListedDevice*> by_mac;
    for (const ListedDevice& device : listed)
        if (std::optional<std::string> mac = normalise_mac(device.mac)) by_mac.emplace(*mac, &device);
    PlanSelection selection;
    for (const PlanEntry& entry : plan.entries) {
        auto found = by_mac.find(entry.mac);
        if (found == by_mac.end())
            selection.not_found.push_back(entry);
        else
            selection.listed.push_back(*found->second);
    }
    return selection;
}

std::vector<std::pair<std::string, std::string>> listed_addresses(const std::vector<ListedDevice>& listed) {
    std::vector<std::pair<std::string, std::string>> addresses;
    for (const ListedDevice& device : listed) addresses.emplace_back(device.mac, device.ip);
    return addresses;
}
