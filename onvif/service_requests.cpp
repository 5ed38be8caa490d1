#include "onvif/service_requests.h"

#include <charconv>
#include <cmath>

#include "onvif/soap_xml.h"

namespace onvif {

namespace {

// A tt:Vector1D / tt:Vector2D element: its values are attributes.
std::string vector_element(std::string_view qualified, const std::string& values, const std::string& space) {
    std::string out = "<" + std::string(qualified) + values;
    if (!space.empty()) out += " space=\"" + escape(space) + "\"";
    return out + "/>";
}

std::string x_attribute(double x) { return " x=\"" + xs_float(x) + "\""; }

std::string profile_token(const std::string& profile) { return xml_element("tptz:ProfileToken", profile); }

}  // namespace

const char* ir_cut_text(IrCutMode mode) {
    switch (mode) {
        case IrCutMode::on:
            return "ON";
        case IrCutMode::off:
            return "OFF";
        case IrCutMode::automatic:
            return "AUTO";
    }
    return "AUTO";
}

const char* codec_text(VideoCodec codec) {
    switch (codec) {
        case VideoCodec::h264:
            return "H.264";
        case VideoCodec::h265:
            return "H.265";
        case VideoCodec::jpeg:
            return "JPEG";
        case VideoCodec::mpeg4:
            return "MPEG4";
        case VideoCodec::other:
            return "other";
    }
    return "other";
}

const char* service_namespace(Service service) {
    switch (service) {
        case Service::device:
            return kNsDevice;
        case Service::media:
            return kNsMedia;
        case Service::media2:
            return kNsMedia2;
        case Service::ptz:
            return kNsPtz;
        case Service::imaging:
            return kNsImaging;
    }
    return kNsDevice;
}

std::string service_action(Service service, std::string_view operation) {
    return std::string(service_namespace(service)) + "/" + std::string(operation);
}

std::string xs_float(double value) {
    if (!std::isfinite(value)) value = 0;
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, static_cast<float>(value));
    return error == std::errc() ? std::string(text, end) : "0";
}

std::string get_capabilities_request() {
    return xml_wrap("tds:GetCapabilities", xml_element("tds:Category", "All"));
}

std::string get_profiles_request(Service media) {
    if (media != Service::media2) return "<trt:GetProfiles/>";
    // Without Type a media 2.0 device names its profiles only.
    return xml_wrap("tr2:GetProfiles", xml_element("tr2:Type", "VideoSource") +
                                           xml_element("tr2:Type", "VideoEncoder") +
                                           xml_element("tr2:Type", "PTZ"));
}

std::string get_stream_uri_request(Service media, const std::string& profile) {
    if (media == Service::media2)
        return xml_wrap("tr2:GetStreamUri",
                        xml_element("tr2:Protocol", "RTSP") + xml_element("tr2:ProfileToken", profile));
    std::string setup = xml_element("tt:Stream", "RTP-Unicast") +
                        xml_wrap("tt:Transport", xml_element("tt:Protocol", "RTSP"));
    return xml_wrap("trt:GetStreamUri",
                    xml_wrap("trt:StreamSetup", setup) + xml_element("trt:ProfileToken", profile));
}

std::string get_node_request(const std::string& node) {
    return xml_wrap("tptz:GetNode", xml_element("tptz:NodeToken", node));
}

std::string continuous_move_request(const std::string& profile, const PtzVelocity& velocity) {
    std::string speed;
    if (velocity.pan || velocity.tilt)
        speed += vector_element(
            "tt:PanTilt",
            x_attribute(velocity.pan.value_or(0)) + " y=\"" + xs_float(velocity.tilt.value_or(0)) + "\"",
            velocity.pan_tilt_space);
    if (velocity.zoom) speed += vector_element("tt:Zoom", x_attribute(*velocity.zoom), velocity.zoom_space);
    // No Timeout: the node's DefaultPTZTimeout ends the move should the Stop
    // never come (the bench gone mid-press).
    return xml_wrap("tptz:ContinuousMove", profile_token(profile) + xml_wrap("tptz:Velocity", speed));
}

std::string stop_request(const std::string& profile) {
    return xml_wrap("tptz:Stop", profile_token(profile) + xml_element("tptz:PanTilt", "true") +
                                     xml_element("tptz:Zoom", "true"));
}

std::string zoom_move_request(const std::string& profile, const ZoomMove& move) {
    std::string zoom = vector_element("tt:Zoom", x_attribute(move.x), move.space);
    if (move.kind == ZoomMove::Kind::relative)
        return xml_wrap("tptz:RelativeMove", profile_token(profile) + xml_wrap("tptz:Translation", zoom));
    return xml_wrap("tptz:AbsoluteMove", profile_token(profile) + xml_wrap("tptz:Position", zoom));
}

std::string imaging_options_request(const std::string& video_source) {
    return xml_wrap("timg:GetOptions", xml_element("timg:VideoSourceToken", video_source));
}

std::string set_ir_cut_request(const std::string& video_source, IrCutMode mode) {
    // Every element of ImagingSettings is optional: the camera keeps the
    // settings this request leaves out.
    return xml_wrap("timg:SetImagingSettings",
                    xml_element("timg:VideoSourceToken", video_source) +
                        xml_wrap("timg:ImagingSettings", xml_element("tt:IrCutFilter", ir_cut_text(mode))));
}

}  // namespace onvif
