#pragma once

// The simulator's state dump: every camera of the run in the order it was
// made, with its protocol ("native", "onvif" or "both"), the native device
// side's state where it speaks the native protocol and an "onvif" object
// where it speaks ONVIF.

#include <nlohmann/json.hpp>
#include <string>

#include "sim/device_side.h"
#include "sim/onvif/onvif_side.h"
#include "sim/simulator.h"

// {"cameras": [...]}
nlohmann::json sim_state_dump(const Simulator& simulator, DeviceSide& native, const OnvifSide& onvif);

// Writes beside and renames, so a reader never sees half a file.
bool write_json_file(const std::string& path, const nlohmann::json& json);
