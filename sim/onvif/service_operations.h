#pragma once

// The operations of a simulated ONVIF camera's services beyond the device
// service (media 1.0 and 2.0, PTZ, imaging), each a table like the device
// service's, and the one lookup the HTTP side dispatches through.

#include <string>
#include <string_view>

#include "sim/onvif/device_operations.h"

enum class OnvifService { device, media, media2, ptz, imaging };

// The camera's one profile, video source and PTZ node.
inline constexpr const char* kProfileToken = "profile_1";
inline constexpr const char* kVideoSourceToken = "video_source_1";
inline constexpr const char* kPtzNodeToken = "ptz_node_1";

const OperationEntry* find_media_operation(std::string_view name);
const OperationEntry* find_media2_operation(std::string_view name);
const OperationEntry* find_ptz_operation(std::string_view name);
const OperationEntry* find_imaging_operation(std::string_view name);

// The operation of that local name in that service, or null.
const OperationEntry* find_operation(OnvifService service, std::string_view name);
// Whether the camera offers the service (the device service always).
bool offers_service(const OnvifCameraSettings& settings, OnvifService service);

// The XML of the camera's PTZ configuration, inside whatever element the
// media service names it by.
std::string ptz_configuration_xml(const OnvifCameraSettings& settings);
