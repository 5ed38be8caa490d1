#pragma once

#include <string>
#include <vector>

#include "discovery/dev_info.h"

// The discovered devices as the batch list shows them (Index, MAC, IP, Port,
// Version, BID), one line per device under a header line.
std::string devices_table(const std::vector<DEV_INFO>& devices);

// The devices as a JSON array, one object per device with every field of the
// record by its name (reserved fields left out).
std::string devices_json(const std::vector<DEV_INFO>& devices);
