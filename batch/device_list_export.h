#pragma once

#include <string>
#include <vector>

#include "batch/device_table.h"

// The device list as a CSV table: the columns of a plan file (mac, ip, mask,
// gateway, dhcp, uid), then version, board and protocol, one line per row in
// the list's order. A planned row gives its planned values; any other gives
// the address it is listed with (and its mask and gateway when they make a
// sound pair), so an exported list reads back as a plan, as it is or edited.
std::string device_list_csv(const std::vector<DeviceRow>& rows);
