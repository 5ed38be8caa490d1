#pragma once

#include <string>
#include <vector>

#include "search/found_camera.h"

// The cameras as the batch list shows them (Index, MAC, IP, Port, Version,
// Protocol, BID), one line per camera under a header line. An ONVIF camera
// shows its model where a native one shows its board type; one whose
// identity is not known shows its endpoint for its MAC and why in place of
// its version.
std::string devices_table(const std::vector<FoundCamera>& cameras);

// The cameras as a JSON array: a native one with every field of its record
// by its name (reserved fields left out), an ONVIF one with what its
// identity gave; both with "protocol".
std::string devices_json(const std::vector<FoundCamera>& cameras);
