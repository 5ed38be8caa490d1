#pragma once

#include <string>
#include <utility>
#include <vector>

#include "batch/device_table.h"
#include "batch/plan_file.h"

// The cameras of a plan among those discovery lists: the command works on
// these, and on no other listed camera.
struct PlanSelection {
    std::vector<ListedDevice> listed;   // in the plan's order
    std::vector<PlanEntry> not_found;   // planned, but not listed
};

PlanSelection select_planned(const DevicePlan& plan, const std::vector<ListedDevice>& listed);

// (MAC, address) of each listed device, as plan_address_conflicts takes them.
std::vector<std::pair<std::string, std::string>> listed_addresses(const std::vector<ListedDevice>& listed);
