// The imaging service of a simulated camera: the settings of its one video
// source, of which the IR-cut filter is the one that changes (what it was
// set to goes into the state dump); the others are reported as fixed.

#include <tinyxml.h>

#include "sim/onvif/operation_xml.h"
#include "sim/onvif/service_operations.h"

namespace {

using namespace sim_soap;
using onvif::path_text;

bool is_ir_cut_mode(const std::string& mode) { return mode == "ON" || mode == "OFF" || mode == "AUTO"; }

std::optional<OperationResult> check_source(const TiXmlElement* request) {
    std::string token = path_text(request, {"VideoSourceToken"});
    if (token != kVideoSourceToken) return invalid_value("NoSource", "no video source " + token);
    return std::nullopt;
}

OperationResult get_imaging_settings(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_source(request)) return *refused;
    std::string settings = el("tt:Brightness", "50") + el("tt:ColorSaturation", "50") +
                           el("tt:Contrast", "50") + el("tt:IrCutFilter", camera.ir_cut()) +
                           el("tt:Sharpness", "50");
    return answer(wrap("timg:GetImagingSettingsResponse", wrap("timg:ImagingSettings", settings)));
}

OperationResult set_imaging_settings(OnvifCamera& camera, const TiXmlElement* request) {
    if (auto refused = check_source(request)) return *refused;
    const TiXmlElement* settings = onvif::child(request, "ImagingSettings");
    if (settings == nullptr) return sender_fault("ter:InvalidArgs", "no ImagingSettings");
    const TiXmlElement* ir_cut = onvif::child(settings, "IrCutFilter");
    // The settings left out stay as they are; the fixed ones only take their own value.
    if (ir_cut != nullptr && !is_ir_cut_mode(onvif::text(ir_cut)))
        return invalid_value("SettingsInvalid", "IrCutFilter must be ON, OFF or AUTO");
    if (ir_cut != nullptr) camera.set_ir_cut(onvif::text(ir_cut));
    return answer("<timg:SetImagingSettingsResponse/>");
}

OperationResult get_options(OnvifCamera&, const TiXmlElement* request) {
    if (auto refused = check_source(request)) return *refused;
    auto fixed = [](const char* name) { return wrap(name, el("tt:Min", "50") + el("tt:Max", "50")); };
    std::string options = fixed("tt:Brightness") + fixed("tt:ColorSaturation") + fixed("tt:Contrast") +
                          el("tt:IrCutFilterModes", "ON") + el("tt:IrCutFilterModes", "OFF") +
                          el("tt:IrCutFilterModes", "AUTO") + fixed("tt:Sharpness");
    return answer(wrap("timg:GetOptionsResponse", wrap("timg:ImagingOptions", options)));
}

OperationResult imaging_capabilities(OnvifCamera&, const TiXmlElement*) {
    return answer(wrap("timg:GetServiceCapabilitiesResponse",
                       "<timg:Capabilities ImageStabilization=\"false\" Presets=\"false\"/>"));
}

constexpr OperationEntry kImaging[] = {
    {"GetImagingSettings", get_imaging_settings, false},
    {"SetImagingSettings", set_imaging_settings, false},
    {"GetOptions", get_options, false},
    {"GetServiceCapabilities", imaging_capabilities, true},
};

}  // namespace

const OperationEntry* find_imaging_operation(std::string_view name) {
    return sim_soap::find_in(kImaging, name);
}
