// The PTZ service of a simulated camera: one node that pans and tilts in
// the generic velocity space and zooms as the camera's settings say
// (absolute positions in the generic and the millimetre space, or relative
// translations in the generic space, or not at all), moving the camera's
// SimPtz.

#include <tinyxml.h>

#include <cmath>

#include "onvif/ptz_moves.h"
#include "onvif/service_requests.h"
#include "onvif/xs_duration.h"
#include "runtime/rt_time.h"
#include "sim/onvif/operation_xml.h"
#include "sim/onvif/service_operations.h"

namespace {

using namespace sim_soap;
using onvif::path_text;

constexpr const char* kZoomVelocity = "http://www.onvif.org/ver10/tptz/ZoomSpaces/VelocityGenericSpace";
constexpr const char* kPanTiltSpeed = "http://www.onvif.org/ver10/tptz/PanTiltSpaces/GenericSpeedSpace";
constexpr const char* kZoomSpeed = "http://www.onvif.org/ver10/tptz/ZoomSpaces/ZoomGenericSpeedSpace";
constexpr std::int64_t kMaxTimeoutMs = 3600 * 1000;

std::string range(const char* axis, double min, double max) {
    return wrap(axis, el("tt:Min", onvif::xs_float(min)) + el("tt:Max", onvif::xs_float(max)));
}

std::string space_1d(const char* name, const char* uri, double min, double max) {
    return wrap(name, el("tt:URI", uri) + range("tt:XRange", min, max));
}

std::string node_xml(const OnvifMediaSettings& m) {
    std::string spaces;
    if (m.zoom == ZoomSpaces::absolute)
        spaces += space_1d("tt:AbsoluteZoomPositionSpace", onvif::kGenericZoomPosition, 0, 1) +
                  space_1d("tt:AbsoluteZoomPositionSpace", onvif::kMillimeterZoomPosition,
                           SimPtz::kMinFocalMm, SimPtz::kMaxFocalMm);
    if (m.zoom == ZoomSpaces::relative)
        spaces += space_1d("tt:RelativeZoomTranslationSpace", onvif::kGenericZoomTranslation, -1, 1);
    spaces +=
        wrap("tt:ContinuousPanTiltVelocitySpace", el("tt:URI", onvif::kGenericPanTiltVelocity) +
                                                      range("tt:XRange", -1, 1) + range("tt:YRange", -1, 1));
    if (m.zoom != ZoomSpaces::none)
        spaces += space_1d("tt:ContinuousZoomVelocitySpace", kZoomVelocity, -1, 1);
    spaces += space_1d("tt:PanTiltSpeedSpace", kPanTiltSpeed, 0, 1);
    if (m.zoom != ZoomSpaces::none) spaces += space_1d("tt:ZoomSpeedSpace", kZoomSpeed, 0, 1);
    std::string inner = el("tt:Name", "PTZ") + wrap("tt:SupportedPTZSpaces", spaces) +
                        num("tt:MaximumNumberOfPresets", 0) + flag("tt:HomeSupported", false);
    return std::string("<tptz:PTZNode token=\"") + kPtzNodeToken +
           "\" FixedHomePosition=\"false\" GeoMove=\"false\">" + inner + "</tptz:PTZNode>";
}

// The profile named must be the camera's, which has the PTZ configuration.
std::optional<OperationResult> check_profile(const TiXmlElement* request) {
    std::string token = path_text(request, {"ProfileToken"});
    if (token != kProfileToken) return invalid_value("NoProfile", "no profile " + token);
    return std::nullopt;
}

// An attribute of a vector element read as a number within [min, max].
bool read_coordinate(const TiXmlElement* vector, const char* name, double min, double max, double* out) {
    return read_number(onvif::attribute(vector, name), out) && *out >= min && *out <= max;
}

// A vector's space, where it names one, must be `expected`.
bool in_space(const TiXmlElement* vector, const char* expected) {
    std::string space = onvif::attribute(vector, "space");
    return space.empty() || space == expected;
}

// ---- the operations ------------------------------------------------------------

OperationResult get_nodes(OnvifCamera& camera, const TiXmlElement*) {
    return answer(wrap("tptz:GetNodesResponse", node_xml(camera.settings().media)));
}

OperationResult get_node(OnvifCamera& camera, const TiXmlElement* request) {
    std::string token = path_text(request, {"NodeToken"});
    if (token != kPtzNodeToken) return invalid_value("NoEntity", "no PTZ node " + token);
    std::string node = node_xml(camera.settings().media);
    return answer(wrap("tptz:GetNodeResponse", node));
}

OperationResult get_configurations(OnvifCamera& camera, const TiXmlElement*) {
    return answer(wrap("tptz:GetConfigurationsResponse", "<tptz:PTZConfiguration token=\"ptz_config_1\">" +
                                                             ptz_configuration_xml(camera.settings()) +
                                                             "</tptz:PTZConfiguration>"));
}

OperationResult continuous_move(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_profile(request)) return *refused;
    const TiXmlElement* pan_tilt = onvif::path(request, {"Velocity", "PanTilt"});
    const TiXmlElement* zoom = onvif::path(request, {"Velocity", "Zoom"});
    double pan = 0, tilt = 0, zoom_speed = 0;
    if (pan_tilt != nullptr &&
        (!read_coordinate(pan_tilt, "x", -1, 1, &pan) || !read_coordinate(pan_tilt, "y", -1, 1, &tilt) ||
         !in_space(pan_tilt, onvif::kGenericPanTiltVelocity)))
        return invalid_value("InvalidVelocity", "pan/tilt velocity outside the generic velocity space");
    if (zoom != nullptr) {
        if (camera.settings().media.zoom == ZoomSpaces::none)
            return invalid_value("SpaceNotSupported", "no zoom");
        if (!read_coordinate(zoom, "x", -1, 1, &zoom_speed) || !in_space(zoom, kZoomVelocity))
            return invalid_value("InvalidVelocity", "zoom velocity outside the generic velocity space");
    }
    std::int64_t timeout_ms = SimPtz::kDefaultTimeoutMs;
    if (const TiXmlElement* timeout = onvif::child(request, "Timeout")) {
        std::optional<std::int64_t> ms = onvif::parse_xs_duration(onvif::text(timeout));
        if (!ms || *ms <= 0 || *ms > kMaxTimeoutMs)
            return invalid_value("TimeoutNotSupported", "timeout out of range");
        timeout_ms = *ms;
    }
    camera.with_ptz(
        [&](SimPtz& ptz) { ptz.continuous_move(pan, tilt, zoom_speed, timeout_ms, rt_clock_ms()); });
    return answer("<tptz:ContinuousMoveResponse/>");
}

OperationResult stop(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_profile(request)) return *refused;
    // Either left out stops that axis too.
    bool pan_tilt = true, zoom = true;
    read_bool(onvif::child(request, "PanTilt"), &pan_tilt);
    read_bool(onvif::child(request, "Zoom"), &zoom);
    camera.with_ptz([&](SimPtz& ptz) { ptz.stop(pan_tilt, zoom, rt_clock_ms()); });
    return answer("<tptz:StopResponse/>");
}

OperationResult absolute_move(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_profile(request)) return *refused;
    if (onvif::path(request, {"Position", "PanTilt"}) != nullptr)
        return invalid_value("SpaceNotSupported", "no absolute pan/tilt positions");
    const TiXmlElement* zoom = onvif::path(request, {"Position", "Zoom"});
    if (zoom == nullptr || camera.settings().media.zoom != ZoomSpaces::absolute)
        return invalid_value("SpaceNotSupported", "no absolute zoom position given or offered");
    std::string space = onvif::attribute(zoom, "space");
    bool millimeter = space == onvif::kMillimeterZoomPosition;
    if (!millimeter && !in_space(zoom, onvif::kGenericZoomPosition))
        return invalid_value("SpaceNotSupported", "zoom space " + space + " not offered");
    double x = 0;
    bool within = millimeter ? read_coordinate(zoom, "x", SimPtz::kMinFocalMm, SimPtz::kMaxFocalMm, &x)
                             : read_coordinate(zoom, "x", 0, 1, &x);
    if (!within) return invalid_value("InvalidPosition", "zoom position outside the space");
    double generic = millimeter ? SimPtz::generic_of_mm(x) : x;
    camera.with_ptz([&](SimPtz& ptz) { ptz.zoom_to(generic, "AbsoluteMove", rt_clock_ms()); });
    return answer("<tptz:AbsoluteMoveResponse/>");
}

OperationResult relative_move(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_profile(request)) return *refused;
    if (onvif::path(request, {"Translation", "PanTilt"}) != nullptr)
        return invalid_value("SpaceNotSupported", "no relative pan/tilt translations");
    const TiXmlElement* zoom = onvif::path(request, {"Translation", "Zoom"});
    double x = 0;
    if (zoom == nullptr || camera.settings().media.zoom != ZoomSpaces::relative)
        return invalid_value("SpaceNotSupported", "no relative zoom translation given or offered");
    if (!in_space(zoom, onvif::kGenericZoomTranslation) || !read_coordinate(zoom, "x", -1, 1, &x))
        return invalid_value("InvalidTranslation", "zoom translation outside the generic space");
    camera.with_ptz([&](SimPtz& ptz) { ptz.zoom_by(x, "RelativeMove", rt_clock_ms()); });
    return answer("<tptz:RelativeMoveResponse/>");
}

OperationResult get_status(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_profile(request)) return *refused;
    nlohmann::json state = camera.with_ptz([](SimPtz& ptz) { return ptz.to_json(rt_clock_ms()); });
    const char* moving = state["moving"].get<bool>() ? "MOVING" : "IDLE";
    std::string position;
    if (camera.settings().media.zoom == ZoomSpaces::absolute)
        position =
            wrap("tt:Position", "<tt:Zoom x=\"" + onvif::xs_float(state["position"]["zoom"].get<double>()) +
                                    "\" space=\"" + onvif::kGenericZoomPosition + "\"/>");
    std::string status = position + wrap("tt:MoveStatus", el("tt:PanTilt", moving) + el("tt:Zoom", moving));
    return answer(wrap("tptz:GetStatusResponse", wrap("tptz:PTZStatus", status)));
}

OperationResult ptz_capabilities(OnvifCamera&, const TiXmlElement*) {
    return answer(
        wrap("tptz:GetServiceCapabilitiesResponse",
             "<tptz:Capabilities EFlip=\"false\" Reverse=\"false\" GetCompatibleConfigurations=\"false\" "
             "MoveStatus=\"true\" StatusPosition=\"true\"/>"));
}

constexpr OperationEntry kPtz[] = {
    {"GetNodes", get_nodes, false},
    {"GetNode", get_node, false},
    {"GetConfigurations", get_configurations, false},
    {"ContinuousMove", continuous_move, false},
    {"Stop", stop, false},
    {"AbsoluteMove", absolute_move, false},
    {"RelativeMove", relative_move, false},
    {"GetStatus", get_status, false},
    {"GetServiceCapabilities", ptz_capabilities, true},
};

}  // namespace

const OperationEntry* find_ptz_operation(std::string_view name) { return sim_soap::find_in(kPtz, name); }
